// Composition changers: the stoichiometric reactor's extents of reaction and
// the composition skew's knot curve with every component's skew factor.
#include <cmath>

#include "apps/report/plots.h"

namespace r3::report {

std::optional<Figure> plot_reactor(const BlockResults& b) {
  const Unit uf = report_unit(11);
  std::vector<std::string> names, refs;
  std::vector<double> values;
  for (int r = 1;; ++r) {
    const std::string name = "EXTENT_OF_RXN_" + std::to_string(r);
    const double v = b.var(name);
    if (!std::isfinite(v)) break;
    const double conv = b.var("CONVERSION_RXN_" + std::to_string(r));
    names.push_back("reaction " + std::to_string(r) + (std::isfinite(conv) ? " (" + number(conv, 4) + " %)" : ""));
    values.push_back(uf(v));
    refs.push_back(xy_ref("", value_ref(b.id + "." + name, uf)));
  }
  if (values.empty()) return std::nullopt;
  Figure fig;
  fig.title = b.id + " (" + b.model + "): extents of reaction (conversion of the key reactant)";
  Chart ch("Extent of each reaction", "Reaction", uf.axis("Extent (key reactant)"));
  ch.bars(std::move(names), std::move(values), std::move(refs));
  fig.panels.push_back(std::move(ch));
  return fig;
}

std::optional<Figure> plot_skew(const BlockResults& b) {
  const host::Case& c = b.flowsheet->definition();
  const int nknots = b.int_at(1, 0);
  const bool open_knots = b.int_at(3, 0) == 1;
  if (nknots < 2) return std::nullopt;
  const Unit ut = report_unit(22);
  Points knots;
  for (int j = 1; j <= nknots; ++j) {
    const double tk = open_knots ? b.var("TKNOT_" + std::to_string(j)) : b.real_at(static_cast<size_t>(j - 1));
    const double xk = b.var("XKNOT_" + std::to_string(j));
    if (!std::isfinite(tk) || !std::isfinite(xk)) return std::nullopt;
    knots.emplace_back(ut(tk), xk);
  }
  Figure fig;
  fig.title = b.id + " (" + b.model + "): composition skew, knot curve and component factors";
  Chart ch("Skew factor against interpolation temperature", ut.axis("Interpolation temperature"), "Skew factor");
  ch.line(knots, "c1 on", "knot curve");
  ch.points(knots, "c1", "knots");
  // Each component sits on the curve at its interpolation temperature.
  for (size_t i = 0; i < c.components.size(); ++i) {
    const double tint = b.real_at(static_cast<size_t>(nknots) + i);
    const std::string name = c.components[i] + ".SKEW";
    const double s = b.var(name);
    if (!std::isfinite(tint) || !std::isfinite(s)) continue;
    ch.operating_point(ut(tint), s, xy_ref("", value_ref(b.id + "." + name)), c.components[i]);
  }
  fig.panels.push_back(std::move(ch));
  return fig;
}

}  // namespace r3::report
