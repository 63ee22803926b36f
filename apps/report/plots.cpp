#include "apps/report/plots.h"

#include "framework/host_services.h"
#include "host/services/context.h"

namespace r3::report {

int32_t BlockResults::int_at(size_t i, int32_t fallback) const {
  return i < ints.size() && ints[i] != host::kImiss ? ints[i] : fallback;
}

double BlockResults::real_at(size_t i) const {
  return i < reals.size() && std::isfinite(reals[i]) && reals[i] < 0.5 * host::kRmiss ? reals[i] : std::nan("");
}

const std::vector<double>* BlockResults::stream(const std::string& id) const {
  return flowsheet ? flowsheet->stream_vector(id) : nullptr;
}

std::vector<BlockResults> collect_blocks(host::Flowsheet& fsh, bool solved) {
  std::vector<BlockResults> out;
  const host::Case& c = fsh.definition();
  for (size_t i = 0; i < c.blocks.size() && i < fsh.blocks().size(); ++i) {
    const host::BlockDef& d = c.blocks[i];
    const host::Block& blk = *fsh.blocks()[i];
    BlockResults b;
    b.id = d.id, b.model = d.model;
    b.ints = blk.ints, b.reals = blk.reals;
    b.inlets = d.inlets, b.outlets = d.outlets;
    b.flowsheet = &fsh;
    b.solved = solved;
    const std::string prefix = d.id + ".";
    for (const host::Variable& v : fsh.variables()) {
      if (v.name.compare(0, prefix.size(), prefix) == 0) b.vars[v.name.substr(prefix.size())] = v.value;
    }
    out.push_back(std::move(b));
  }
  return out;
}

Unit report_unit(int code) {
  int32_t c = code, label[2] = {0, 0}, n = 2, len = 8, c7 = 7, c6 = 6;
  double zero = 0, one = 1, at0 = 0, at1 = 0;
  ZREP_RCONV1(&c, &zero, &at0, label, &c7, &c6);
  ZREP_RCONV1(&c, &one, &at1, label, &c7, &c6);
  char text[9] = {};
  IU_I42STR(label, &n, text, &len);
  std::string s(text, 8);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return {at1 - at0, at0, s};
}

std::optional<Figure> plot_block(const BlockResults& b) {
  if (b.model == "R3CCMP") return plot_centrifugal_compressor(b);
  if (b.model == "R3VALV") return plot_control_valve(b);
  if (b.model == "R3HTUA") return plot_heat_exchanger(b);
  if (b.model == "R3STRB" || b.model == "R3TREX") return plot_expansion(b);
  if (b.model == "R3PUMP") return plot_pump(b);
  if (b.model == "R3STOIC") return plot_reactor(b);
  if (b.model == "R3SKEW") return plot_skew(b);
  return std::nullopt;
}

}  // namespace r3::report

namespace r3::report {

std::string value_ref(const std::string& name, double factor, double offset) {
  return name + "*" + number(factor, 17) + "+" + number(offset, 17);
}

std::string value_ref(const std::string& name, const Unit& u) { return value_ref(name, u.factor, u.offset); }

}  // namespace r3::report
