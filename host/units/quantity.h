// Units of measure for input and output: values written with a unit
// ("10 bar", "25 degC", "75 %") converted to the host's SI basis, and the
// report units (SI, MET, ENG, per-quantity choices) in which results are
// shown. Conversions come from the UDUNITS-2 units database; the host adds
// the few spellings process engineers use that it lacks (gauge pressure,
// lbmol, gpm, R for Rankine).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace r3::host::uom {

// What a number measures. The SI basis of each is the host's: Pa, K,
// kmol/s, kg/s, m3/s, W, J/kmol, J/kg, J/(kmol K), J/(kg K), m3/kmol, kg/m3,
// m, m2, W/(m2 K), rev/s; fractions are plain numbers between 0 and 1.
enum class Quantity {
  Pressure,  // absolute; gauge units add one standard atmosphere
  PressureDifference,
  Temperature,
  TemperatureDifference,
  MolarFlow,
  MassFlow,
  VolumeFlow,  // actual, at the stream's conditions
  Power,       // shaft and electric power
  Duty,        // heat flow
  MolarEnthalpy,
  MassEnthalpy,
  MolarEntropy,
  MassEntropy,
  MolarVolume,
  Density,
  Length,  // also a head: J/kg are divided by g
  Head,    // specific work, J/kg: lengths are multiplied by g
  Area,
  HeatTransferCoefficient,
  Speed,
  Fraction,  // 0..1; percent allowed, at most 100 %
  Dimensionless,
  MolecularWeight,
  Count_
};

inline constexpr int kQuantities = static_cast<int>(Quantity::Count_);

// The quantity's name as written in a case file's [report] table and the
// JSON ("pressure", "mass_flow", ...); Count_ for an unknown name.
const char* name(Quantity q);
Quantity quantity_named(const std::string& name);

// The quantity of a physical-type code the models put in a variable's
// attributes (20 pressure, 22 temperature, 44 dimensionless, ...); Count_
// when the code is unknown.
Quantity quantity_of_type(int32_t code);

// A value written as text: the number and the unit ("10 bar" -> 10, "bar").
// False with a message when the text is not a number followed by a unit.
bool split(const std::string& text, double& number, std::string& unit, std::string& error);

// Converts `number` in `unit` to the quantity's SI basis. False with a
// message that names the units that would fit when the unit is unknown or
// measures something else, when a gauge pressure gives a negative absolute
// pressure, or when a percentage lies outside 0..100.
bool to_si(double number, const std::string& unit, Quantity q, double& si, std::string& error);

// The quantity a unit measures when nothing else tells (a pressure unit is
// an absolute pressure, degC a temperature); Count_ when unknown.
Quantity natural_quantity(const std::string& unit);

// Units a case may write for a quantity, for messages ("Pa, kPa, bar, ...").
std::string fitting_units(Quantity q);

// Report units.
enum class UnitSet { SI = 0, MET = 1, ENG = 2 };

class ReportUnits {
 public:
  ReportUnits() = default;
  explicit ReportUnits(UnitSet set) : set_(set) {}
  // A unit of the user's choice for one quantity; false with a message when
  // the unit does not measure it.
  bool choose(Quantity q, const std::string& unit, std::string& error);
  UnitSet set() const { return set_; }
  // The unit's one spelling and the value converted from SI.
  const std::string& label(Quantity q) const;
  double from_si(Quantity q, double si) const;
  // Every quantity's unit, for the JSON.
  std::map<std::string, std::string> labels() const;

 private:
  UnitSet set_ = UnitSet::SI;
  std::map<Quantity, std::string> chosen_;
};

// The report units in force for the models' reports (set from the case).
ReportUnits& current_report_units();

}  // namespace r3::host::uom
