// Feeds on any basis: the component molar flows of a feed given by mass, by
// standard volume or by its actual volume at its own conditions; and the
// nearest names to a misspelt one.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// Up to three of `names` nearest to `name` (ignoring case), nearest first;
// empty when none is close.
std::vector<std::string> nearest_names(const std::string& name,
                                       const std::vector<std::string>& names);

// " (did you mean A or B?)", or nothing when no name is close.
std::string did_you_mean(const std::string& name, const std::vector<std::string>& names);

}  // namespace r3::host
