#include "host/case/feed_basis.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <span>

namespace r3::host {

bool feed_molar_volume(thermo::Method method, const std::vector<std::string>& components,
                       std::optional<double> T, std::optional<double> vapour_fraction,
                       std::optional<double> mass_enthalpy, double P, const std::vector<double>& z,
                       double& volume, std::string& error) {
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> rows;
  for (const std::string& id : components) rows.push_back(&db[db.find(id)]);
  const std::unique_ptr<thermo::Model> m = thermo::make_model(method, rows, &error);
  if (!m) return false;
  const std::span<const double> zs(z);
  thermo::FlashResult r;
  thermo::Status st = thermo::Status::Failed;
  if (T) {
    st = thermo::flash_tp(*m, *T, P, zs, r);
  } else if (vapour_fraction) {
    st = thermo::flash_pv(*m, P, *vapour_fraction, zs, 300.0, r);
  } else if (mass_enthalpy) {
    double mw = 0.0;
    m->molecular_weight(zs, mw);
    st = thermo::flash_ph(*m, P, *mass_enthalpy * mw, zs, 300.0, r);
  }
  if (st == thermo::Status::Failed) {
    error = "the flash at the stream's conditions failed, so its volume is not known";
    return false;
  }
  // The phases' volumes in proportion to their amounts, as in the stream's density.
  double v = 0.0, part = 0.0;
  if (r.beta > 0.0 &&
      m->molar_volume(thermo::Phase::Vapour, r.T, r.P, r.y, part) != thermo::Status::Failed) {
    v += r.beta * part;
  }
  if (r.beta < 1.0 &&
      m->molar_volume(thermo::Phase::Liquid, r.T, r.P, r.x, part) != thermo::Status::Failed) {
    v += (1.0 - r.beta) * part;
  }
  if (!(v > 0.0) || !std::isfinite(v)) {
    error = "the property method gives no volume at the stream's conditions";
    return false;
  }
  volume = v;
  return true;
}

}  // namespace r3::host
