// Machines on their curves: the centrifugal compressor's head and efficiency
// against actual volumetric flow, and the pump's operating point.
#include <algorithm>
#include <cmath>

#include "apps/report/plots.h"

namespace r3::report {

namespace {

double or_one(double v) { return std::isfinite(v) ? v : 1.0; }

// Samples f over [lo, hi]; points where f is not finite or not positive are
// left out, breaking the line.
Points sample(double lo, double hi, int n, const std::function<double(double)>& f, double xf, double yf,
              double xo = 0, double yo = 0) {
  Points p;
  for (int i = 0; i <= n; ++i) {
    const double x = lo + (hi - lo) * i / n, y = f(x);
    p.emplace_back(x * xf + xo, (std::isfinite(y) && y > 0) ? y * yf + yo : std::nan(""));
  }
  return p;
}

}  // namespace

std::optional<Figure> plot_centrifugal_compressor(const BlockResults& b) {
  const double Q = b.var("QACT"), H = b.var("HEAD"), eff = b.var("POLY_EFF"), N = b.var("SPEED");
  if (!std::isfinite(Q) || !std::isfinite(H)) return std::nullopt;
  // Curve switches and coefficients as the block reads them.
  const bool head_on = b.int_at(4, 1) == 1, eff_on = b.int_at(5, 1) == 1, surge_on = b.int_at(6, 1) == 1;
  const double c = b.int_at(7, 0) == 1 ? 60.0 : 1.0;
  double a[3], e[3], s[2];
  for (int i = 0; i < 3; ++i) a[i] = b.real_at(static_cast<size_t>(i)), e[i] = b.real_at(static_cast<size_t>(3 + i));
  for (int i = 0; i < 2; ++i) s[i] = b.real_at(static_cast<size_t>(6 + i));
  if (b.int_at(3, 0) != 0) {
    // Coefficients given with head in ft*lbf/lbm and flow in ft3/min.
    const double f = 2.9890999794006348, g = 0.5885800123214722, k = 1.6990000009536743;
    a[0] *= f, a[1] *= f * g, a[2] *= f * g * g, e[1] *= g, e[2] *= g * g, s[0] *= k, s[1] *= k;
  }
  auto known = [](const double* v, int n) { return std::all_of(v, v + n, [](double x) { return std::isfinite(x); }); };
  const bool has_speed = std::isfinite(N) && N > 0;
  const bool head_curve = head_on && known(a, 3) && has_speed;
  const bool eff_curve = eff_on && known(e, 3) && has_speed;
  const bool surge_curve = surge_on && known(s, 2) && has_speed;
  const double hf = or_one(b.var("HEAD_FACT")), ef = or_one(b.var("EFF_FACT")), sf = or_one(b.var("SURGE_FACT"));
  // The curves in SI: head (J/kg) and efficiency (fraction) at flow q (m3/s)
  // and speed n, and the surge flow at speed n; corrected by the factors.
  auto head = [&](double q, double n) {
    const double x = 3600.0 * q / (c * n);
    return hf * (a[0] + a[1] * x + a[2] * x * x) * (c * n) * (c * n) / 1000.0;
  };
  auto efficiency = [&](double q, double n) {
    const double x = 3600.0 * q / (c * n);
    return ef * (e[0] + e[1] * x + e[2] * x * x) / 100.0;
  };
  auto surge = [&](double n) { return sf * (s[0] + s[1] * c * n) / 3600.0; };

  const Unit uq = report_unit(12), uh = report_unit(33), un = report_unit(c == 60.0 ? 28 : 0);
  const std::string speed_text = has_speed ? "N = " + number(un(N), 5) + (un.label.empty() ? "" : " " + un.label) : "";
  const double qs = surge_curve ? surge(N) : std::nan("");
  const double lo = 0.4 * std::min(Q, std::isfinite(qs) ? qs : Q), hi = 1.6 * std::max(Q, std::isfinite(qs) ? qs : Q);
  // Speed lines: a few speeds around the operating one within the case's
  // range (given in the curves' speed unit, c times the block's).
  std::vector<double> speeds;
  const double n_lo = b.real_at(8), n_hi = b.real_at(9);
  if (has_speed && std::isfinite(n_lo) && std::isfinite(n_hi) && n_hi > n_lo) {
    for (double f : {0.8, 0.9, 1.1}) {
      if (c * N * f >= n_lo && c * N * f <= n_hi) speeds.push_back(N * f);
    }
  }

  // Both panels share the flow axis, from zero to the end of the fastest line.
  double q_end = hi;
  for (double n : speeds) q_end = std::max(q_end, hi * n / N);
  const double x_end = nice_ceiling(uq(q_end));
  Figure fig;
  fig.title = b.id + " (" + b.model + "): centrifugal compressor performance" +
              (speed_text.empty() ? "" : " at " + speed_text);
  Chart hc("Polytropic head against actual suction flow", uq.axis("Actual volumetric flow at suction"),
           uh.axis("Polytropic head"));
  hc.y_from_zero();
  hc.x_range(uq(0), x_end);
  if (head_curve) {
    for (double n : speeds) {
      hc.line(sample(lo * n / N, hi * n / N, 80, [&](double q) { return head(q, n); }, uq.factor, uh.factor, uq.offset,
                     uh.offset),
              "faint");
      const double q0 = lo * n / N, h0 = head(q0, n);
      if (h0 > 0) hc.note(uq(q0), uh(h0) + 0.02 * uh(H), "N = " + number(un(n), 5));
    }
    hc.line(sample(lo, hi, 120, [&](double q) { return head(q, N); }, uq.factor, uh.factor, uq.offset, uh.offset), "c1 on",
            "head curve at " + speed_text);
  }
  if (surge_curve) {
    if (head_curve) {
      // The surge line joins the surge points of the speeds around the operating one.
      Points sl;
      const double n0 = speeds.empty() ? 0.75 * N : std::min(0.75 * N, speeds.front());
      const double n1 = speeds.empty() ? 1.2 * N : std::max(1.2 * N, speeds.back());
      for (int i = 0; i <= 40; ++i) {
        const double n = n0 + (n1 - n0) * i / 40.0, q = surge(n), h = head(q, n);
        sl.emplace_back(uq(q), q > 0 && h > 0 ? uh(h) : std::nan(""));
      }
      hc.line(sl, "c3 dash", "surge line");
      if (qs > 0 && head(qs, N) > 0) hc.points({{uq(qs), uh(head(qs, N))}}, "c3", "surge point at " + speed_text);
    } else if (qs > 0) {
      hc.line({{uq(qs), 0.0}, {uq(qs), uh(1.2 * H)}}, "c3 dash", "surge flow at " + speed_text);
    }
  }
  hc.operating_point(uq(Q), uh(H), xy_ref(value_ref(b.id + ".QACT", uq), value_ref(b.id + ".HEAD", uh)),
                     "operating point");
  fig.panels.push_back(std::move(hc));

  if (std::isfinite(eff)) {
    Chart ec("Polytropic efficiency against actual suction flow", uq.axis("Actual volumetric flow at suction"),
             "Polytropic efficiency, %");
    ec.y_from_zero();
    ec.x_range(uq(0), x_end);
    if (eff_curve) {
      ec.line(sample(lo, hi, 120, [&](double q) { return efficiency(q, N); }, uq.factor, 100.0, uq.offset), "c2 on",
              "efficiency curve at " + speed_text);
    }
    if (qs > 0) ec.line({{uq(qs), 0.0}, {uq(qs), 100.0 * std::max(eff, 0.0) * 1.15}}, "c3 dash", "surge flow");
    ec.operating_point(uq(Q), 100.0 * eff, xy_ref(value_ref(b.id + ".QACT", uq), value_ref(b.id + ".POLY_EFF", 100.0)),
                       "operating point");
    fig.panels.push_back(std::move(ec));
  }
  return fig;
}

std::optional<Figure> plot_pump(const BlockResults& b) {
  const double m = b.var("MASS_FLOW"), rho = b.var("RHO"), head = b.var("P_HEAD"), eff = b.var("PUMP_EFF");
  if (!std::isfinite(m) || !std::isfinite(rho) || rho <= 0 || !std::isfinite(head)) return std::nullopt;
  const double q = m / rho;
  const Unit uq = report_unit(12), uh = report_unit(17);
  const std::string qref = value_ref(b.id + ".MASS_FLOW/" + b.id + ".RHO", uq);
  Figure fig;
  fig.title = b.id + " (" + b.model + "): pump operating point";
  // Room around the point: flow to three times, head to one and a half times.
  const double x_end = nice_ceiling(uq(3.0 * q));
  Chart hc("Head against volumetric flow", uq.axis("Volumetric flow at suction"), uh.axis("Head"));
  hc.x_range(uq(0), x_end);
  hc.y_range(uh(0), nice_ceiling(uh(1.5 * head)));
  // The system's demand at this point, as guides to read the point off the axes.
  hc.line({{uq(0), uh(head)}, {uq(q), uh(head)}, {uq(q), uh(0)}}, "faint dash");
  hc.operating_point(uq(q), uh(head), xy_ref(qref, value_ref(b.id + ".P_HEAD", uh)), "operating point");
  fig.panels.push_back(std::move(hc));
  if (std::isfinite(eff)) {
    Chart ec("Pump efficiency against volumetric flow", uq.axis("Volumetric flow at suction"), "Pump efficiency, %");
    ec.x_range(uq(0), x_end);
    ec.y_range(0.0, std::max(100.0, nice_ceiling(110.0 * eff)));
    // The efficiency correlation the pump falls back on, over its flow range
    // (0.00126 to 0.315 m3/s).
    auto corr = [](double x) {
      x = std::clamp(x, 0.001261803933, 0.3154509834);
      const double l = std::log(x) + 9.670945162;
      return l * (0.24012299 - 0.011988872 * l) - 0.31609348;
    };
    const double top = std::min(3.0 * q, 0.3154509834);
    if (top > 0.001261803933)
      ec.line(sample(0.001261803933, top, 150, corr, uq.factor, 100.0, uq.offset), "c2", "efficiency correlation");
    ec.operating_point(uq(q), 100.0 * eff, xy_ref(qref, value_ref(b.id + ".PUMP_EFF", 100.0)), "operating point");
    fig.panels.push_back(std::move(ec));
  }
  return fig;
}

}  // namespace r3::report
