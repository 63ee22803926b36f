// Expansion lines of the steam turbine and the turbo-expander on an h-s
// chart: the streams' states as solved, the isentropic end point, the
// isobars of the inlet and outlet pressures and the saturation dome, from
// the steam tables or the case's property method.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "apps/report/plots.h"
#include "host/services/context.h"
#include "host/steam/if97.h"
#include "host/thermo/thermo.h"

namespace r3::report {

namespace {

struct StateHS {
  std::string id;
  double p = 0, h = 0, s = 0, mw = 0;
  std::vector<double> z;
};

// Mass enthalpy and entropy at (p, s) and along a saturation line, from
// whichever property source the case uses; NaN where it has no answer.
class Properties {
 public:
  explicit Properties(const std::vector<double>& z) : z_(z) {
    steam_ = host::run().method == thermo::Method::SteamTable;
    if (!steam_) {
      std::vector<int32_t> idx(z.size());
      std::iota(idx.begin(), idx.end(), 1);
      model_ = host::model_for(static_cast<int32_t>(host::run().method), idx);
      if (model_) model_->molecular_weight(z_, mw_);
    }
  }
  bool usable() const { return steam_ || (model_ && mw_ > 0); }

  double h_ps(double p, double s, double t_guess) const {
    if (steam_) {
      steam::State st;
      return steam::state_ps(p, s, st) == steam::Status::Ok ? st.h : std::nan("");
    }
    thermo::FlashResult r;
    return thermo::flash_ps(*model_, p, s * mw_, z_, t_guess, r) == thermo::Status::Ok ? r.H / mw_ : std::nan("");
  }

  // The saturation dome as one line: the liquid side up to the critical
  // region, then the vapour side back down.
  Points dome(double p_low) const {
    Points liquid, vapour;
    if (steam_) {
      for (int i = 0; i <= 120; ++i) {
        const double T = steam::kTmin + 0.01 + (steam::kTc - 0.05 - steam::kTmin) * i / 120.0;
        double p = 0;
        if (steam::psat(T, p) != steam::Status::Ok) continue;
        steam::State l, v;
        const bool low = T <= steam::kT13;
        const steam::Status sl = low ? steam::region1_pT(p, T, l) : steam::region3_pT(p, T, steam::Branch::Liquid, l);
        const steam::Status sv = low ? steam::region2_pT(p, T, v) : steam::region3_pT(p, T, steam::Branch::Vapour, v);
        if (sl == steam::Status::Ok) liquid.emplace_back(l.s, l.h);
        if (sv == steam::Status::Ok) vapour.emplace_back(v.s, v.h);
      }
    } else {
      for (int i = 0; i <= 60; ++i) {
        const double p = p_low * std::pow(1000.0, i / 60.0);
        thermo::FlashResult bub, dew;
        if (thermo::flash_pv(*model_, p, 0.0, z_, 250.0, bub) == thermo::Status::Ok)
          liquid.emplace_back(bub.S / mw_, bub.H / mw_);
        if (thermo::flash_pv(*model_, p, 1.0, z_, 250.0, dew) == thermo::Status::Ok)
          vapour.emplace_back(dew.S / mw_, dew.H / mw_);
      }
    }
    Points out = liquid;
    out.insert(out.end(), vapour.rbegin(), vapour.rend());
    return out;
  }

 private:
  std::vector<double> z_;
  bool steam_ = false;
  const thermo::Model* model_ = nullptr;
  double mw_ = 0;
};

}  // namespace

std::optional<Figure> plot_expansion(const BlockResults& b) {
  if (b.flowsheet == nullptr) return std::nullopt;
  const size_t ncf = b.flowsheet->definition().components.size();
  // Material streams of the block with a known state, in falling pressure.
  std::vector<StateHS> states;
  for (const auto* list : {&b.inlets, &b.outlets}) {
    for (const std::string& id : *list) {
      const std::vector<double>* v = b.stream(id);
      if (v == nullptr || v->size() < ncf + 9) continue;
      StateHS st{id, (*v)[ncf + 2], (*v)[ncf + 3], (*v)[ncf + 6], (*v)[ncf + 8], {v->begin(), v->begin() + static_cast<long>(ncf)}};
      if (std::isfinite(st.h) && std::isfinite(st.s) && std::isfinite(st.p) && st.p > 0 && std::fabs(st.h) < 1e30 &&
          std::fabs(st.s) < 1e30)
        states.push_back(std::move(st));
    }
  }
  if (states.size() < 2) return std::nullopt;
  std::stable_sort(states.begin(), states.end(), [](const StateHS& a, const StateHS& c) { return a.p > c.p; });
  const StateHS& in = states.front();
  const StateHS& out = states.back();
  Properties props(in.z);
  const double h_is = props.usable() ? props.h_ps(out.p, in.s, 300.0) : std::nan("");

  // The window: the expansion with room around it.
  double s0 = in.s, s1 = in.s, h0 = std::min(in.h, h_is), h1 = in.h;
  for (const StateHS& st : states) s0 = std::min(s0, st.s), s1 = std::max(s1, st.s), h0 = std::min(h0, st.h), h1 = std::max(h1, st.h);
  if (!std::isfinite(h0)) h0 = out.h;
  const double ds = std::max(s1 - s0, 0.1 * std::max(std::fabs(s1), 1000.0)), dh = std::max(h1 - h0, 0.05 * std::max(std::fabs(h1), 1.0e5));
  const double ws0 = s0 - 0.6 * ds, ws1 = s1 + 0.6 * ds, wh0 = h0 - 0.35 * dh, wh1 = h1 + 0.25 * dh;

  const Unit uh = report_unit(33);
  // Mass entropy has no report quantity of its own; it follows the
  // enthalpy's energy unit.
  const std::string s_label = uh.label.empty() ? "" : uh.label + "-K";
  Figure fig;
  fig.title = b.id + " (" + b.model + "): expansion from " + in.id + " to " + out.id + " on the h-s chart";
  Chart ch("Enthalpy against entropy", "Specific entropy" + (s_label.empty() ? "" : ", " + s_label),
           uh.axis("Specific enthalpy"));
  ch.x_range(uh.factor * ws0, uh.factor * ws1);
  ch.y_range(uh(wh0), uh(wh1));
  if (props.usable()) {
    Points dome = props.dome(std::max(1.0e3, 0.1 * out.p));
    for (auto& [s, h] : dome) s *= uh.factor, h = uh(h);
    if (!dome.empty()) ch.line(dome, "faint", "saturation line");
    std::vector<double> pressures;
    for (const StateHS& st : states) {
      if (std::none_of(pressures.begin(), pressures.end(), [&](double p) { return std::fabs(p - st.p) < 1e-6 * p; }))
        pressures.push_back(st.p);
    }
    const char* styles[] = {"c2 on", "c4 on", "c2 dash on", "c4 dash on"};
    const Unit up = report_unit(20);
    for (size_t k = 0; k < pressures.size(); ++k) {
      Points iso;
      double t_guess = 300.0;
      for (int i = 0; i <= 90; ++i) {
        const double s = ws0 + (ws1 - ws0) * i / 90.0, h = props.h_ps(pressures[k], s, t_guess);
        iso.emplace_back(uh.factor * s, std::isfinite(h) ? uh(h) : std::nan(""));
      }
      ch.line(iso, styles[k % 4], "isobar " + number(up(pressures[k])) + " " + up.label);
    }
  }
  Points path;
  for (const StateHS& st : states) path.emplace_back(uh.factor * st.s, uh(st.h));
  ch.line(path, "c1", "expansion line");
  if (std::isfinite(h_is)) {
    ch.line({{uh.factor * in.s, uh(in.h)}, {uh.factor * in.s, uh(h_is)}}, "c3 dash", "isentropic expansion");
    ch.points({{uh.factor * in.s, uh(h_is)}}, "c3");
  }
  for (const StateHS& st : states) {
    ch.operating_point(uh.factor * st.s, uh(st.h), xy_ref("", value_ref(st.id + ".mass_enthalpy", uh)), st.id);
  }
  fig.panels.push_back(std::move(ch));
  return fig;
}

}  // namespace r3::report
