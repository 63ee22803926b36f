#include "framework/model_checks.h"

#include "framework/host_services.h"
#include "framework/records.h"

namespace r3 {

const char* discharge_inputs_fault(int mode, double temperature, double enthalpy, double pressure,
                                   double flow) {
  if (mode != 1 && hs::is_missing(temperature)) return "Discharge temperature is missing.";
  if (mode != 2 && hs::is_missing(enthalpy)) return "Discharge enthalpy is missing.";
  if (!hs::usable_positive(pressure)) return "Invalid stream pressure.";
  if (!hs::usable_positive(flow)) return "Invalid total molar flow.";
  return nullptr;
}

void write_check_lines(std::string_view prefix, std::initializer_list<std::string_view> lines) {
  bool first = true;
  for (std::string_view l : lines) {
    rec::ListDirected r;
    if (first) r.add(prefix);
    r.add(l);
    hs::write(hs::kStandardOutput, r.view());
    first = false;
  }
}

}  // namespace r3
