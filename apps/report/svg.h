// The one SVG writer of the report: charts with linear axes, named axes with
// units, curves, table points, marked operating points and bars, stacked into
// a figure. Every chart says when the values it shows are not a solution.
//
// The SVG carries what a checker needs to read a chart back: each panel is a
// <g class="panel"> whose data-x0/-x1/-y0/-y1 give the axis ranges, its plot
// area is <rect class="plot-area">, and each operating point is a
// <circle class="op"> with the plotted values in data-x/data-y and the
// variables they come from in data-var.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace r3::report {

using Points = std::vector<std::pair<double, double>>;

// Text made safe for XML content and attributes.
std::string xml_escape(const std::string& s);
// A number for a person: up to `digits` significant figures, no trailing zeros.
std::string number(double v, int digits = 4);
// A tick label: the value with as many decimals as the tick step needs.
std::string tick_text(double v, double step);
// The smallest round number (1, 2, 2.5 or 5 times a power of ten, in steps
// of a sixth of v) at or above v > 0: an axis end that ticks divide evenly.
double nice_ceiling(double v);

class Chart {
 public:
  Chart(std::string title, std::string x_label, std::string y_label)
      : title_(std::move(title)), x_label_(std::move(x_label)), y_label_(std::move(y_label)) {}

  // Fixed axis ranges; otherwise each axis spans everything drawn on it.
  void x_range(double lo, double hi) { xr_ = {lo, hi}, x_fixed_ = true; }
  void y_range(double lo, double hi) { yr_ = {lo, hi}, y_fixed_ = true; }
  // The automatic range of the axis includes zero.
  void y_from_zero() { y_zero_ = true; }
  void x_from_zero() { x_zero_ = true; }

  // Series, drawn in the order added. `style` is a CSS class of the page
  // (c1..c4 colours, dash, faint), with "on" for the curves the panel's
  // operating points lie on; `label` goes to the legend when not empty.
  void line(Points pts, std::string style, std::string label = {});
  void points(Points pts, std::string style, std::string label = {});
  // An operating point: the solved values and the variables they come from.
  void operating_point(double x, double y, std::string vars, std::string label = {});
  // Bars at x = 0, 1, ... with category names under them; each bar's top is an
  // operating point (its variable named in `vars`).
  void bars(std::vector<std::string> names, std::vector<double> values, std::vector<std::string> vars);
  // A vertical double arrow between (x, y0) and (x, y1) with a text beside it.
  void span_marker(double x, double y0, double y1, std::string text);
  // Free text at a data position.
  void note(double x, double y, std::string text);

  bool empty() const { return series_.empty() && ops_.empty() && bar_values_.empty(); }
  // The panel as an SVG group at (left, top) of the given size; `id` makes its
  // clip path unique within a page.
  std::string svg_group(double left, double top, double width, double height, const std::string& id,
                        const std::string& arrow_id, bool unsolved) const;

 private:
  struct Series {
    Points pts;
    std::string style, label;
    bool markers = false;
  };
  struct Op {
    double x, y;
    std::string vars, label;
  };
  struct Span {
    double x, y0, y1;
    std::string text;
  };
  struct Note {
    double x, y;
    std::string text;
  };
  void ranges(std::pair<double, double>& xr, std::pair<double, double>& yr) const;

  std::string title_, x_label_, y_label_;
  std::pair<double, double> xr_{0, 1}, yr_{0, 1};
  bool x_fixed_ = false, y_fixed_ = false, y_zero_ = false, x_zero_ = false;
  std::vector<Series> series_;
  std::vector<Op> ops_;
  std::vector<std::string> bar_names_;
  std::vector<double> bar_values_;
  std::vector<std::string> bar_vars_;
  std::vector<Span> spans_;
  std::vector<Note> notes_;
};

// Charts stacked one above the other under a title: one block's picture.
struct Figure {
  std::string title;
  std::vector<Chart> panels;
  // A standalone SVG document (with its own style) or, for a page that holds
  // the style already, an inline <svg> element. `id` prefixes the clip paths.
  std::string svg(const std::string& id, bool unsolved, bool standalone) const;
};

// The styles the charts refer to, for a page or a standalone SVG.
const char* chart_css();

}  // namespace r3::report
