// Feeds on any basis: the component molar flows of a feed given by mass, by
// standard volume or by its actual volume at its own conditions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/case/suggest.h"
#include "host/thermo/thermo.h"

namespace r3::host {

// Ideal-gas molar volume at the standard conditions of standard volume
// flows, 0 degC and 101325 Pa: R T / P, m3/kmol.
inline constexpr double kStandardMolarVolume = 8314.462618 * 273.15 / 101325.0;

// Molar volume (m3/kmol) of the composition z (any scale) at P and one of
// T, the vapour fraction or the mass enthalpy, from the case's property
// method; false with a message when the flash fails.
bool feed_molar_volume(thermo::Method method, const std::vector<std::string>& components,
                       std::optional<double> T, std::optional<double> vapour_fraction,
                       std::optional<double> mass_enthalpy, double P, const std::vector<double>& z,
                       double& volume, std::string& error);

}  // namespace r3::host
