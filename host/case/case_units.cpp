#include "host/case/case_units.h"

#include <cmath>

#include "host/solver/flowsheet.h"

namespace r3::host {

bool check_measured_values(const Flowsheet& fsh, Case& c, bool& corrected, std::string& error) {
  corrected = false;
  const auto& blocks = const_cast<Flowsheet&>(fsh).blocks();
  for (size_t bi = 0; bi < c.blocks.size() && bi < blocks.size(); ++bi) {
    BlockDef& d = c.blocks[bi];
    const Block& b = *blocks[bi];
    for (const MeasuredValue& m : d.measured) {
      const int pos = b.find_var(m.name);
      if (pos <= 0) continue;  // unknown names are reported by the set-up
      const int32_t type = (b.iyattr[static_cast<size_t>(pos - 1)] >> 8) & 0xFF;
      const uom::Quantity q = uom::quantity_of_type(type);
      if (q == uom::Quantity::Count_)
        continue;  // a type without units: the unit's own reading stands
      double si = 0.0;
      std::string why;
      if (!uom::to_si(m.number, m.unit, q, si, why)) {
        const char* what[] = {"fix value", "guess value", "lower bound", "upper bound"};
        error = c.path + ":" + std::to_string(m.line) + ": " + what[static_cast<int>(m.use)] +
                " of " + m.name + " in block " + d.id + ": " + why;
        return false;
      }
      auto update = [&](double& held) {
        if (std::fabs(held - si) > 1e-14 * std::fabs(si)) {
          held = si;
          corrected = true;
        }
      };
      using Use = MeasuredValue::Use;
      if (m.use == Use::Fix || m.use == Use::Guess) {
        for (auto& [name, value] : m.use == Use::Fix ? d.fix : d.guess) {
          if (name == m.name) update(value);
        }
      } else {
        for (auto& [name, lim] : d.bounds) {
          if (name == m.name) update(m.use == Use::Lower ? lim.first : lim.second);
        }
      }
    }
  }
  return true;
}

}  // namespace r3::host
