#include "apps/report/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace r3::report {

namespace {

constexpr double kMarginLeft = 78, kMarginRight = 24, kMarginTop = 34, kMarginBottom = 50;

// A step of 1, 2 or 5 times a power of ten giving about `count` intervals.
double nice_step(double span, int count) {
  const double raw = span / count;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * p >= raw) return m * p;
  }
  return 10 * p;
}

// Widens a data range to whole tick steps with a little room either side.
std::pair<double, double> pad_range(double lo, double hi, bool fixed) {
  if (!(lo <= hi)) lo = 0, hi = 1;
  if (fixed) return {lo, hi};
  if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) {
    const double d = std::fabs(hi) > 0 ? 0.1 * std::fabs(hi) : 1.0;
    lo -= d, hi += d;
  }
  const double step = nice_step(hi - lo, 6);
  // Room either side, except beyond a zero the data ends at (flows, duties
  // and heads start at zero, and an axis below it would show nothing).
  const double pad = 0.04 * (hi - lo);
  return {lo == 0 ? 0.0 : std::floor((lo - pad) / step) * step, hi == 0 ? 0.0 : std::ceil((hi + pad) / step) * step};
}

std::string fmt(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

}  // namespace

std::string xml_escape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string number(double v, int digits) {
  if (!std::isfinite(v)) return "-";
  char b[64];
  const double a = std::fabs(v);
  if (a == 0 || a < 1e-3 || a >= 1e9 || digits > 12) {
    std::snprintf(b, sizeof b, "%.*g", digits, v);
    return b;
  }
  // Plain decimals in the everyday range: 1000000, not 1e+06.
  const int decimals = std::max(0, digits - 1 - static_cast<int>(std::floor(std::log10(a))));
  std::snprintf(b, sizeof b, "%.*f", decimals, v);
  std::string t = b;
  if (t.find('.') != std::string::npos) {
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
  }
  return t == "-0" ? "0" : t;
}

std::string tick_text(double v, double step) {
  if (v == 0) return "0";
  const double a = std::fabs(v);
  if (a < 1e-3 || a >= 1e9) return number(v, 6);
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9))), v);
  return b;
}

void Chart::line(Points pts, std::string style, std::string label) {
  series_.push_back({std::move(pts), std::move(style), std::move(label), false});
}

void Chart::points(Points pts, std::string style, std::string label) {
  series_.push_back({std::move(pts), std::move(style), std::move(label), true});
}

void Chart::operating_point(double x, double y, std::string vars, std::string label) {
  ops_.push_back({x, y, std::move(vars), std::move(label)});
}

void Chart::bars(std::vector<std::string> names, std::vector<double> values, std::vector<std::string> vars) {
  bar_names_ = std::move(names), bar_values_ = std::move(values), bar_vars_ = std::move(vars);
}

void Chart::span_marker(double x, double y0, double y1, std::string text) {
  spans_.push_back({x, y0, y1, std::move(text)});
}

void Chart::note(double x, double y, std::string text) { notes_.push_back({x, y, std::move(text)}); }

void Chart::ranges(std::pair<double, double>& xr, std::pair<double, double>& yr) const {
  const double inf = std::numeric_limits<double>::infinity();
  double x0 = inf, x1 = -inf, y0 = inf, y1 = -inf;
  auto take = [&](double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  };
  for (const Series& s : series_) {
    for (const auto& [x, y] : s.pts) take(x, y);
  }
  for (const Op& o : ops_) take(o.x, o.y);
  for (const Span& s : spans_) take(s.x, s.y0), take(s.x, s.y1);
  for (size_t i = 0; i < bar_values_.size(); ++i) take(static_cast<double>(i), bar_values_[i]), take(static_cast<double>(i), 0);
  if (!bar_values_.empty()) x0 = -0.6, x1 = static_cast<double>(bar_values_.size()) - 0.4;
  if (x_zero_) x0 = std::min(x0, 0.0), x1 = std::max(x1, 0.0);
  if (y_zero_) y0 = std::min(y0, 0.0), y1 = std::max(y1, 0.0);
  xr = x_fixed_ ? xr_ : (bar_values_.empty() ? pad_range(x0, x1, false) : std::make_pair(x0, x1));
  yr = y_fixed_ ? yr_ : pad_range(y0, y1, false);
}

std::string Chart::svg_group(double left, double top, double width, double height, const std::string& id,
                             const std::string& arrow_id, bool unsolved) const {
  std::pair<double, double> xr, yr;
  ranges(xr, yr);
  const double px0 = left + kMarginLeft, px1 = left + width - kMarginRight;
  const double py0 = top + kMarginTop, py1 = top + height - kMarginBottom;
  auto X = [&](double x) { return px0 + (x - xr.first) / (xr.second - xr.first) * (px1 - px0); };
  auto Y = [&](double y) { return py1 - (y - yr.first) / (yr.second - yr.first) * (py1 - py0); };
  std::string o;
  o += "<g class=\"panel" + std::string(unsolved ? " unsolved" : "") + "\" data-x0=\"" + number(xr.first, 12) +
       "\" data-x1=\"" + number(xr.second, 12) + "\" data-y0=\"" + number(yr.first, 12) + "\" data-y1=\"" +
       number(yr.second, 12) + "\">\n";
  o += "<clipPath id=\"" + id + "\"><rect x=\"" + fmt(px0) + "\" y=\"" + fmt(py0) + "\" width=\"" + fmt(px1 - px0) +
       "\" height=\"" + fmt(py1 - py0) + "\"/></clipPath>\n";
  o += "<text class=\"title\" x=\"" + fmt(left + width / 2) + "\" y=\"" + fmt(top + 20) + "\">" +
       xml_escape(title_) + "</text>\n";
  o += "<rect class=\"plot-area\" x=\"" + fmt(px0) + "\" y=\"" + fmt(py0) + "\" width=\"" + fmt(px1 - px0) +
       "\" height=\"" + fmt(py1 - py0) + "\"/>\n";
  // Grid and tick labels.
  if (bar_values_.empty()) {
    const double sx = nice_step(xr.second - xr.first, 6);
    for (double t = std::ceil(xr.first / sx - 1e-9) * sx; t <= xr.second + 1e-9 * sx; t += sx) {
      const double v = std::fabs(t) < 1e-9 * sx ? 0.0 : t;
      o += "<line class=\"grid\" x1=\"" + fmt(X(v)) + "\" y1=\"" + fmt(py0) + "\" x2=\"" + fmt(X(v)) + "\" y2=\"" +
           fmt(py1) + "\"/><text class=\"tick\" x=\"" + fmt(X(v)) + "\" y=\"" + fmt(py1 + 16) +
           "\" text-anchor=\"middle\">" + tick_text(v, sx) + "</text>\n";
    }
  } else {
    for (size_t i = 0; i < bar_names_.size(); ++i) {
      o += "<text class=\"tick\" x=\"" + fmt(X(static_cast<double>(i))) + "\" y=\"" + fmt(py1 + 16) +
           "\" text-anchor=\"middle\">" + xml_escape(bar_names_[i]) + "</text>\n";
    }
  }
  const double sy = nice_step(yr.second - yr.first, 5);
  for (double t = std::ceil(yr.first / sy - 1e-9) * sy; t <= yr.second + 1e-9 * sy; t += sy) {
    const double v = std::fabs(t) < 1e-9 * sy ? 0.0 : t;
    o += "<line class=\"grid\" x1=\"" + fmt(px0) + "\" y1=\"" + fmt(Y(v)) + "\" x2=\"" + fmt(px1) + "\" y2=\"" +
         fmt(Y(v)) + "\"/><text class=\"tick\" x=\"" + fmt(px0 - 6) + "\" y=\"" + fmt(Y(v) + 4) +
         "\" text-anchor=\"end\">" + tick_text(v, sy) + "</text>\n";
  }
  o += "<text class=\"axis\" x=\"" + fmt((px0 + px1) / 2) + "\" y=\"" + fmt(py1 + 38) + "\">" + xml_escape(x_label_) +
       "</text>\n";
  o += "<text class=\"axis\" transform=\"translate(" + fmt(left + 16) + "," + fmt((py0 + py1) / 2) +
       ") rotate(-90)\">" + xml_escape(y_label_) + "</text>\n";
  // Data, clipped to the plot area.
  o += "<g clip-path=\"url(#" + id + ")\">\n";
  for (size_t i = 0; i < bar_values_.size(); ++i) {
    const double x = static_cast<double>(i), v = bar_values_[i];
    const double ya = Y(std::max(v, 0.0)), yb = Y(std::min(v, 0.0));
    o += "<rect class=\"bar\" x=\"" + fmt(X(x - 0.3)) + "\" y=\"" + fmt(ya) + "\" width=\"" + fmt(X(x + 0.3) - X(x - 0.3)) +
         "\" height=\"" + fmt(yb - ya) + "\"/>\n";
  }
  for (const Series& s : series_) {
    if (s.markers) {
      for (const auto& [x, y] : s.pts) {
        if (std::isfinite(x) && std::isfinite(y))
          o += "<rect class=\"pt " + s.style + "\" x=\"" + fmt(X(x) - 3.5) + "\" y=\"" + fmt(Y(y) - 3.5) +
               "\" width=\"7\" height=\"7\"/>\n";
      }
      continue;
    }
    std::string d;
    bool pen_up = true;
    for (const auto& [x, y] : s.pts) {
      if (!std::isfinite(x) || !std::isfinite(y)) {
        pen_up = true;
        continue;
      }
      // Appended piece by piece: GCC 12 reports a false overlap (-Wrestrict)
      // in a string + that starts with a literal when optimising.
      d.append(pen_up ? "M" : "L").append(fmt(X(x))).append(",").append(fmt(Y(y))).append(" ");
      pen_up = false;
    }
    if (!d.empty()) o += "<path class=\"curve " + s.style + "\" d=\"" + d + "\"/>\n";
  }
  for (const Span& s : spans_) {
    o += "<line class=\"span\" x1=\"" + fmt(X(s.x)) + "\" y1=\"" + fmt(Y(s.y0)) + "\" x2=\"" + fmt(X(s.x)) + "\" y2=\"" +
         fmt(Y(s.y1)) + "\" marker-start=\"url(#" + arrow_id + ")\" marker-end=\"url(#" + arrow_id + ")\"/>\n";
  }
  o += "</g>\n";
  for (const Span& s : spans_) {
    const bool right_edge = X(s.x) > px0 + 0.7 * (px1 - px0);
    o += "<text class=\"note\" x=\"" + fmt(X(s.x) + (right_edge ? -6 : 6)) + "\" y=\"" + fmt((Y(s.y0) + Y(s.y1)) / 2 + 4) +
         "\"" + (right_edge ? " text-anchor=\"end\"" : "") + ">" + xml_escape(s.text) + "</text>\n";
  }
  for (const Note& n : notes_) {
    o += "<text class=\"note\" x=\"" + fmt(X(n.x)) + "\" y=\"" + fmt(Y(n.y)) + "\">" + xml_escape(n.text) + "</text>\n";
  }
  for (size_t i = 0; i < bar_values_.size(); ++i) {
    const double x = static_cast<double>(i), v = bar_values_[i];
    o += "<circle class=\"op\" cx=\"" + fmt(X(x)) + "\" cy=\"" + fmt(Y(v)) + "\" r=\"3\" data-x=\"" + number(x, 17) +
         "\" data-y=\"" + number(v, 17) + "\" data-var=\"" + xml_escape(bar_vars_[i]) + "\"/>\n";
    o += "<text class=\"note\" x=\"" + fmt(X(x)) + "\" y=\"" + fmt(Y(v) - 8) + "\" text-anchor=\"middle\">" +
         number(v) + "</text>\n";
  }
  for (const Op& p : ops_) {
    o += "<circle class=\"op\" cx=\"" + fmt(X(p.x)) + "\" cy=\"" + fmt(Y(p.y)) + "\" r=\"6\" data-x=\"" +
         number(p.x, 17) + "\" data-y=\"" + number(p.y, 17) + "\" data-var=\"" + xml_escape(p.vars) + "\"><title>" +
         xml_escape(p.label.empty() ? p.vars : p.label) + ": " + number(p.x) + ", " + number(p.y) + "</title></circle>\n";
    if (!p.label.empty()) {
      const std::string label = unsolved ? p.label + " (not solved)" : p.label;
      const bool right_edge = X(p.x) > px0 + 0.75 * (px1 - px0);
      o += "<text class=\"oplabel\" x=\"" + fmt(X(p.x) + (right_edge ? -10 : 10)) + "\" y=\"" + fmt(Y(p.y) - 8) + "\"" +
           (right_edge ? " text-anchor=\"end\"" : "") + ">" + xml_escape(label) + "</text>\n";
    }
  }
  // Legend inside the plot area, in the corner that hides the fewest points.
  int entries = 0;
  for (const Series& s : series_) entries += s.label.empty() ? 0 : 1;
  const double lw = 200, lh = 16.0 * entries + 6;
  double best_x = px1 - lw, best_y = py0, fewest = 1e300;
  for (const auto& corner : {std::pair{px1 - lw, py0}, std::pair{px0 + 4, py0}, std::pair{px1 - lw, py1 - lh},
                             std::pair{px0 + 4, py1 - lh}}) {
    const double cx = corner.first, cy = corner.second;  // named: Clang 14 cannot capture a binding
    double hidden = 0;
    auto count = [&](double x, double y, double weight) {
      const double X0 = X(x), Y0 = Y(y);
      if (X0 >= cx - 8 && X0 <= cx + lw && Y0 >= cy - 4 && Y0 <= cy + lh + 8) hidden += weight;
    };
    for (const Series& s : series_) {
      for (const auto& [x, y] : s.pts) count(x, y, 1);
    }
    for (const Op& p : ops_) count(p.x, p.y, 1000);
    if (hidden < fewest) fewest = hidden, best_x = cx, best_y = cy;
  }
  if (entries > 0) {
    o += "<rect class=\"legend-box\" x=\"" + fmt(best_x - 6) + "\" y=\"" + fmt(best_y + 2) + "\" width=\"" + fmt(lw) +
         "\" height=\"" + fmt(lh) + "\"/>\n";
  }
  double ly = best_y + 18;
  for (const Series& s : series_) {
    if (s.label.empty()) continue;
    const double lx = best_x;
    if (s.markers) {
      o += "<rect class=\"pt " + s.style + "\" x=\"" + fmt(lx + 8) + "\" y=\"" + fmt(ly - 7) + "\" width=\"7\" height=\"7\"/>";
    } else {
      o += "<line class=\"curve " + s.style + "\" x1=\"" + fmt(lx) + "\" y1=\"" + fmt(ly - 4) + "\" x2=\"" + fmt(lx + 22) +
           "\" y2=\"" + fmt(ly - 4) + "\"/>";
    }
    o += "<text class=\"legend\" x=\"" + fmt(lx + 28) + "\" y=\"" + fmt(ly) + "\">" + xml_escape(s.label) + "</text>\n";
    ly += 16;
  }
  if (unsolved) {
    o += "<text class=\"unsolved-mark\" x=\"" + fmt((px0 + px1) / 2) + "\" y=\"" + fmt((py0 + py1) / 2) +
         "\">NOT A SOLUTION</text>\n";
  }
  o += "</g>\n";
  return o;
}

const char* chart_css() {
  return R"(svg.chart { font-family: sans-serif; background: #fff; }
.chart .title { font-size: 14px; font-weight: bold; text-anchor: middle; }
.chart .axis { font-size: 12px; text-anchor: middle; }
.chart .tick { font-size: 10px; fill: #444; }
.chart .legend, .chart .note { font-size: 11px; fill: #222; }
.chart .oplabel { font-size: 11px; font-weight: bold; fill: #b00; }
.chart .oplabel, .chart .note { paint-order: stroke; stroke: #fff; stroke-width: 3px; stroke-linejoin: round; }
.chart .legend-box { fill: #fff; fill-opacity: 0.85; stroke: #ccc; }
.chart .plot-area { fill: #fcfcfc; stroke: #555; stroke-width: 1; }
.chart .grid { stroke: #e4e4e4; stroke-width: 1; }
.chart .curve { fill: none; stroke-width: 2; }
.chart .c1 { stroke: #1f5fa8; fill: #1f5fa8; } .chart .c2 { stroke: #2a8a3a; fill: #2a8a3a; }
.chart .c3 { stroke: #c77800; fill: #c77800; } .chart .c4 { stroke: #7a3fa0; fill: #7a3fa0; }
.chart .curve.c1, .chart .curve.c2, .chart .curve.c3, .chart .curve.c4, .chart .curve.faint { fill: none; }
.chart .faint { stroke: #9ab; stroke-width: 1.2; }
.chart .dash { stroke-dasharray: 6 4; }
.chart .bar { fill: #7fa7d6; stroke: #1f5fa8; }
.chart .span { stroke: #b00; stroke-width: 1.5; }
.chart .op { fill: #d00; stroke: #fff; stroke-width: 1.5; }
.chart .unsolved .op { fill: #fff; stroke: #d00; stroke-width: 2.5; }
.chart .unsolved-mark { font-size: 34px; font-weight: bold; fill: #d00; fill-opacity: 0.35; text-anchor: middle; }
.chart .banner { fill: #d00; } .chart .banner-text { fill: #fff; font-size: 13px; font-weight: bold; }
.chart .figtitle { font-size: 15px; font-weight: bold; }
)";
}

std::string Figure::svg(const std::string& id, bool unsolved, bool standalone) const {
  const double width = 720, panel_h = 330, head = unsolved ? 52 : 30;
  const double height = head + panel_h * static_cast<double>(panels.size());
  std::string o;
  if (standalone) o += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  o += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" id=\"" + xml_escape(id) + "\" width=\"" +
       fmt(width) + "\" height=\"" + fmt(height) + "\" viewBox=\"0 0 " + fmt(width) + " " + fmt(height) + "\">\n";
  if (standalone) o += "<style>\n" + std::string(chart_css()) + "</style>\n";
  o += "<defs><marker id=\"" + xml_escape(id) + "-arrow\" viewBox=\"0 0 10 10\" refX=\"5\" refY=\"5\" markerWidth=\"6\" markerHeight=\"6\" "
       "orient=\"auto-start-reverse\"><path d=\"M0,0 L10,5 L0,10 z\" fill=\"#b00\"/></marker></defs>\n";
  o += "<rect x=\"0\" y=\"0\" width=\"" + fmt(width) + "\" height=\"" + fmt(height) + "\" fill=\"#fff\"/>\n";
  o += "<text class=\"figtitle\" x=\"12\" y=\"20\">" + xml_escape(title) + "</text>\n";
  if (unsolved) {
    o += "<rect class=\"banner\" x=\"0\" y=\"28\" width=\"" + fmt(width) +
         "\" height=\"20\"/><text class=\"banner-text\" x=\"12\" y=\"43\">NOT A SOLUTION: the solver did not "
         "converge; these are the values where it stopped</text>\n";
  }
  for (size_t i = 0; i < panels.size(); ++i) {
    o += panels[i].svg_group(0, head + panel_h * static_cast<double>(i), width, panel_h,
                             id + "-clip" + std::to_string(i), id + "-arrow", unsolved);
  }
  o += "</svg>\n";
  return o;
}

}  // namespace r3::report

namespace r3::report {

double nice_ceiling(double v) {
  if (!(v > 0)) return 1.0;
  const double step = nice_step(v, 6);
  return std::ceil(v / step - 1e-9) * step;
}

}  // namespace r3::report
