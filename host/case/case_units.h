// Block values written with units, checked against the physical types the
// models give their variables.
#pragma once

#include <string>

#include "host/case/case.h"

namespace r3::host {

class Flowsheet;

// Checks every value a case wrote with a unit against the type of the
// variable it sets, once the blocks are initialised. False with a message
// "FILE:LINE: ..." when a unit does not fit the variable. `corrected` is set
// when a value's SI number depends on the type (a temperature difference in
// degC, a head in J/kg for a length): `c` then holds the right numbers and
// the flowsheet is to be set up again from it.
bool check_measured_values(const Flowsheet& fsh, Case& c, bool& corrected, std::string& error);

}  // namespace r3::host
