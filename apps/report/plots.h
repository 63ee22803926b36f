// One picture per block, drawn from the case's inputs (the block's INT and
// REAL arrays as the run left them) and the solved variables and streams.
// Nothing here calls a model: the curves a model was given are redrawn from
// its parameters, and the points on them are the solved values.
#pragma once

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "apps/report/svg.h"
#include "host/solver/flowsheet.h"

namespace r3::report {

// What the plots of one block read.
struct BlockResults {
  std::string id, model;
  std::vector<int32_t> ints;  // the model's integers (after the host header)
  std::vector<double> reals;
  std::vector<std::string> inlets, outlets;
  std::map<std::string, double> vars;  // the block's variables, without "ID."
  const host::Flowsheet* flowsheet = nullptr;
  bool solved = false;

  // A block variable, or NaN when the block has none of that name.
  double var(const std::string& name) const {
    auto it = vars.find(name);
    return it == vars.end() ? std::nan("") : it->second;
  }
  // An integer parameter by its position among the model's integers
  // (0 = the first after the header), or `fallback` when absent or missing.
  int32_t int_at(size_t i, int32_t fallback) const;
  // A real parameter by position, or NaN when absent or missing.
  double real_at(size_t i) const;
  // A stream's vector (null when the stream has none).
  const std::vector<double>* stream(const std::string& id) const;
};

// The blocks of a run, in the case's order.
std::vector<BlockResults> collect_blocks(host::Flowsheet& fsh, bool solved);

// The block's picture, or nothing when its model has nothing to plot.
std::optional<Figure> plot_block(const BlockResults& b);

// A value converted to the report units of a physical-type code, and the
// unit's label (empty for dimensionless quantities).
struct Unit {
  double factor = 1, offset = 0;
  std::string label;
  double operator()(double si) const { return si * factor + offset; }
  // "name, LABEL" or just the name.
  std::string axis(const std::string& name) const { return label.empty() ? name : name + ", " + label; }
};
Unit report_unit(int code);

// Plot functions, one per kind of model.
std::optional<Figure> plot_centrifugal_compressor(const BlockResults& b);
std::optional<Figure> plot_control_valve(const BlockResults& b);
std::optional<Figure> plot_heat_exchanger(const BlockResults& b);
std::optional<Figure> plot_expansion(const BlockResults& b);  // steam turbine and turbo-expander
std::optional<Figure> plot_pump(const BlockResults& b);
std::optional<Figure> plot_reactor(const BlockResults& b);
std::optional<Figure> plot_skew(const BlockResults& b);

}  // namespace r3::report

namespace r3::report {
// The reference of a plotted value for a checker: the solved quantity (a
// variable "ID.NAME" or a stream field "STREAM.field") and the factor and
// offset of its conversion, as "NAME*factor+offset".
std::string value_ref(const std::string& name, double factor = 1, double offset = 0);
std::string value_ref(const std::string& name, const Unit& u);
// "x-reference;y-reference"
inline std::string xy_ref(const std::string& x, const std::string& y) { return x + ";" + y; }
}  // namespace r3::report
