// Input checks and initialisation guards that several models share, in the
// messages those models write.
#pragma once

#include <initializer_list>
#include <string_view>

namespace r3 {

// The first fault of the inputs of a discharge-state calculation (mode 1:
// temperature from the enthalpy, 2: enthalpy from the temperature, 3: both
// given): the text that follows "Error in <routine>: ", or null when the
// inputs serve.
const char* discharge_inputs_fault(int mode, double temperature, double enthalpy, double pressure,
                                   double flow);

// A failed input check written to the process's standard output, one
// list-directed record a line, the first behind the check's prefix.
void write_check_lines(std::string_view prefix, std::initializer_list<std::string_view> lines);

}  // namespace r3
