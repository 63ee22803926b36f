// Model construction and the method-independent parts of Model.
#include <cmath>
#include <memory>

#include "host/thermo/internal.h"

namespace r3::thermo {

Status Model::molecular_weight(std::span<const double> x, double& mw, Gradient* g) const {
  const int n = size();
  double s;
  if (!detail::valid_state(300.0, 1e5, x, n, s) || !detail::valid_gradient(g, n))
    return Status::Failed;
  mw = 0;
  for (int i = 0; i < n; ++i) mw += x[i] / s * component(i).mw;
  if (g) {
    g->dT = 0;
    g->dP = 0;
    for (int i = 0; i < static_cast<int>(g->dx.size()); ++i) g->dx[i] = (component(i).mw - mw) / s;
  }
  return Status::Ok;
}

std::unique_ptr<Model> make_model(Method method, const std::vector<const Component*>& components,
                                  std::string* error, std::string* warning,
                                  const std::vector<BinaryInteraction>* kij) {
  auto fail = [&](const std::string& msg) -> std::unique_ptr<Model> {
    if (error) *error = msg;
    return nullptr;
  };
  if (method == Method::SteamTable) return make_steam_table_model(components, error);
  if (components.empty()) return fail("no components");
  if (static_cast<int>(components.size()) > kMaxComponents) return fail("too many components");
  for (auto* c : components) {
    if (c == nullptr) return fail("null component");
    if (!(c->tc > 0 && c->pc > 0 && std::isfinite(c->omega) && c->mw > 0 && c->zra > 0 &&
          c->cp_tmax > c->cp_tmin && c->cp_tmin > 0))
      return fail("component " + c->id + " lacks the constants the method needs");
  }
  if (warning) {
    const std::string ids = detail::liquid_density_fallbacks(components);
    *warning = ids.empty() ? std::string()
                           : "no liquid-density coefficients for " + ids +
                                 ": their liquid volumes use the Rackett equation";
  }
  switch (method) {
    case Method::Ideal:
      return detail::make_ideal_model(components);
    case Method::PengRobinson: {
      auto m = detail::make_pr_model(components);
      if (!m) return fail("Peng-Robinson method not available");
      const std::vector<BinaryInteraction>& overrides = kij ? *kij : interaction_overrides();
      const int n = static_cast<int>(components.size());
      for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
          if (const double k = detail::model_kij(*components[i], *components[j], overrides); k != 0.0)
            detail::set_binary_interaction(*m, i, j, k);
      return m;
    }
    default:
      return fail("unknown property method");
  }
}

// Stand-in used only when the steam-table method is not linked into the host;
// the steam tables' own definition replaces it.
__attribute__((weak)) std::unique_ptr<Model> make_steam_table_model(
    const std::vector<const Component*>&, std::string* error) {
  if (error) *error = "steam tables not available";
  return nullptr;
}

}  // namespace r3::thermo
