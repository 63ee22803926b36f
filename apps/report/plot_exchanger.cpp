// The heat exchanger's T-Q diagram: both sides' temperatures against the heat
// transferred, with the approach temperatures at the two ends.
#include <cmath>

#include "apps/report/plots.h"

namespace r3::report {

std::optional<Figure> plot_heat_exchanger(const BlockResults& b) {
  const double thi = b.var("T_HOT_IN"), tho = b.var("T_HOT_OUT"), tci = b.var("T_COLD_IN"), tco = b.var("T_COLD_OUT");
  // The duty: the hot side's, else the cold side's, else (when heat streams
  // carry it) the duty through the transfer equation.
  std::string duty_name;
  for (const char* name : {"Q_DUTY_HOT", "Q_DUTY_COLD", "Q_UA"}) {
    if (duty_name.empty() && std::isfinite(b.var(name))) duty_name = name;
  }
  const double duty = std::fabs(b.var(duty_name));
  if (!std::isfinite(thi) || !std::isfinite(tho) || !std::isfinite(tci) || !std::isfinite(tco) || !std::isfinite(duty))
    return std::nullopt;
  const bool co_current = b.int_at(3, 0) == 1;
  const Unit ut = report_unit(22), udt = report_unit(31), uq = report_unit(13);
  const double q = uq(duty);
  // Heat transferred counted from the end where the cold side enters
  // (counter-current) or where both enter (co-current); each side is drawn
  // straight, as for constant heat capacities.
  const Points hot = co_current ? Points{{uq(0), ut(thi)}, {q, ut(tho)}} : Points{{uq(0), ut(tho)}, {q, ut(thi)}};
  const Points cold = {{uq(0), ut(tci)}, {q, ut(tco)}};
  Figure fig;
  fig.title = b.id + " (" + b.model + "): " + (co_current ? "co-current" : "counter-current") + " exchanger, duty " +
              number(q) + " " + uq.label;
  Chart ch("Temperature against heat transferred", uq.axis("Heat transferred"), ut.axis("Temperature"));
  ch.x_from_zero();
  ch.line(hot, "c3 on", "hot side");
  ch.line(cold, "c1 on", "cold side");
  // Approaches at the two ends.
  const double h0 = hot.front().second, h1 = hot.back().second, c0 = cold.front().second, c1 = cold.back().second;
  const std::string end0 = co_current ? "inlet end" : "hot outlet end", end1 = co_current ? "outlet end" : "hot inlet end";
  ch.span_marker(uq(0), c0, h0, "approach " + number(udt.factor * (h0 - c0)) + " " + udt.label + " (" + end0 + ")");
  ch.span_marker(q, c1, h1, "approach " + number(udt.factor * (h1 - c1)) + " " + udt.label + " (" + end1 + ")");
  // The four terminal temperatures as solved.
  const std::string qref = value_ref(b.id + "." + duty_name, std::signbit(b.var(duty_name)) ? -uq.factor : uq.factor);
  auto term = [&](double x, const std::string& xr, double t, const std::string& name) {
    ch.operating_point(x, ut(t), xy_ref(xr, value_ref(b.id + "." + name, ut)), name);
  };
  if (co_current) {
    term(uq(0), "", thi, "T_HOT_IN"), term(q, qref, tho, "T_HOT_OUT");
  } else {
    term(uq(0), "", tho, "T_HOT_OUT"), term(q, qref, thi, "T_HOT_IN");
  }
  term(uq(0), "", tci, "T_COLD_IN"), term(q, qref, tco, "T_COLD_OUT");
  fig.panels.push_back(std::move(ch));
  return fig;
}

}  // namespace r3::report
