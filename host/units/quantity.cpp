#include "host/units/quantity.h"

#include <udunits2.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace r3::host::uom {
namespace {

constexpr double kStandardAtmosphere = 101325.0;  // Pa, the reference of gauge pressures
constexpr double kGravity = 9.80665;              // m/s2, converts heads between m and J/kg

struct Row {
  Quantity q;
  const char* name;
  const char* si;                     // the SI basis as UDUNITS reads it
  std::array<const char*, 3> report;  // SI, MET, ENG spellings
  const char* fitting;                // units a case may write, for messages
};

// One spelling per unit everywhere in the output: these labels are what
// every report, the stream table and the JSON show, and each is accepted on
// input too.
constexpr Row kRows[] = {
    {Quantity::Pressure,
     "pressure",
     "Pa",
     {"Pa", "bar", "psi"},
     "Pa, kPa, MPa, bar, bar(a), bar(g), atm, psi, psia, psig"},
    {Quantity::PressureDifference,
     "pressure_difference",
     "Pa",
     {"Pa", "bar", "psi"},
     "Pa, kPa, MPa, bar, atm, psi"},
    {Quantity::Temperature, "temperature", "K", {"K", "degC", "degF"}, "K, degC, degF, R"},
    {Quantity::TemperatureDifference,
     "temperature_difference",
     "K",
     {"K", "K", "R"},
     "K, degC, degF, R (as differences)"},
    {Quantity::MolarFlow,
     "molar_flow",
     "kmol/s",
     {"kmol/s", "kmol/h", "lbmol/h"},
     "kmol/s, kmol/h, mol/s, lbmol/h"},
    {Quantity::MassFlow, "mass_flow", "kg/s", {"kg/s", "kg/h", "lb/h"}, "kg/s, kg/h, t/h, lb/h"},
    {Quantity::VolumeFlow,
     "volume_flow",
     "m3/s",
     {"m3/s", "m3/h", "ft3/h"},
     "m3/s, m3/h, l/min, ft3/h, gpm"},
    {Quantity::Power, "power", "W", {"W", "kW", "hp"}, "W, kW, MW, hp, Btu/h"},
    {Quantity::Duty, "duty", "W", {"W", "kW", "Btu/h"}, "W, kW, MW, hp, Btu/h"},
    {Quantity::MolarEnthalpy,
     "molar_enthalpy",
     "J/kmol",
     {"J/kmol", "kJ/kmol", "Btu/lbmol"},
     "J/kmol, kJ/kmol, J/mol, Btu/lbmol"},
    {Quantity::MassEnthalpy,
     "mass_enthalpy",
     "J/kg",
     {"J/kg", "kJ/kg", "Btu/lb"},
     "J/kg, kJ/kg, Btu/lb"},
    {Quantity::MolarEntropy,
     "molar_entropy",
     "J/kmol/K",
     {"J/kmol/K", "kJ/kmol/K", "Btu/lbmol/R"},
     "J/kmol/K, kJ/kmol/K, Btu/lbmol/R"},
    {Quantity::MassEntropy,
     "mass_entropy",
     "J/kg/K",
     {"J/kg/K", "kJ/kg/K", "Btu/lb/R"},
     "J/kg/K, kJ/kg/K, Btu/lb/R"},
    {Quantity::MolarVolume,
     "molar_volume",
     "m3/kmol",
     {"m3/kmol", "m3/kmol", "ft3/lbmol"},
     "m3/kmol, l/mol, ft3/lbmol"},
    {Quantity::Density, "density", "kg/m3", {"kg/m3", "kg/m3", "lb/ft3"}, "kg/m3, g/cm3, lb/ft3"},
    {Quantity::Length, "length", "m", {"m", "m", "ft"}, "m, mm, ft, in, J/kg (as a head)"},
    {Quantity::Head, "head", "J/kg", {"J/kg", "kJ/kg", "ft"}, "J/kg, kJ/kg, m, ft"},
    {Quantity::Area, "area", "m2", {"m2", "m2", "ft2"}, "m2, cm2, ft2, in2"},
    {Quantity::HeatTransferCoefficient,
     "heat_transfer_coefficient",
     "W/m2/K",
     {"W/m2/K", "kW/m2/K", "Btu/h/ft2/R"},
     "W/m2/K, kW/m2/K, Btu/h/ft2/R"},
    {Quantity::Speed, "speed", "rev/s", {"rev/s", "rpm", "rpm"}, "rev/s, rpm"},
    {Quantity::Fraction, "fraction", "1", {"", "", ""}, "a plain number from 0 to 1, or %"},
    {Quantity::Dimensionless, "dimensionless", "1", {"", "", ""}, "a plain number, or %"},
    {Quantity::MolecularWeight,
     "molecular_weight",
     "kg/kmol",
     {"kg/kmol", "kg/kmol", "lb/lbmol"},
     "kg/kmol, g/mol, lb/lbmol"},
};
static_assert(std::size(kRows) == static_cast<size_t>(Quantity::Count_));

const Row& row(Quantity q) {
  return kRows[static_cast<size_t>(q)];
}

// The UDUNITS-2 database with the host's additions, read once.
class Database {
 public:
  static Database& get() {
    static Database db;
    return db;
  }
  bool ok() const { return system_ != nullptr; }
  // The unit read from text, owned by the database (null when unknown).
  const ut_unit* parse(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = cache_.find(text);
    if (it != cache_.end()) return it->second.get();
    ut_unit* u = system_ ? ut_parse(system_, text.c_str(), UT_UTF8) : nullptr;
    cache_.emplace(text, UnitPtr(u, ut_free));
    return u;
  }

 private:
  using UnitPtr = std::unique_ptr<ut_unit, void (*)(ut_unit*)>;
  Database() {
    ut_set_error_message_handler(ut_ignore);
    system_ = ut_read_xml(nullptr);
    if (system_ == nullptr) return;
    // Spellings of process engineering that the database lacks: the pound
    // mole, US gallons per minute, and R for degrees Rankine (the database
    // gives R to the roentgen, which no process case measures).
    // The database rounds the US gallon (3.785412 L) and the horsepower
    // (745.6999 W); these two are exact: 231 in3 and 550 ft lbf/s.
    for (ut_encoding enc : {UT_ASCII, UT_LATIN1, UT_UTF8}) {
      for (const char* s : {"R", "rpm", "hp"}) ut_unmap_symbol_to_unit(system_, s, enc);
    }
    define("lbmol", ut_parse(system_, "453.59237 mol", UT_ASCII));
    define("gpm", ut_parse(system_, "3.785411784e-3 m3/min", UT_ASCII));
    define("hp", ut_parse(system_, "745.69987158227022 W", UT_ASCII));
    define("R", ut_parse(system_, "degR", UT_ASCII));
    // Revolutions are counted, not measured in radians.
    ut_unit* second = ut_get_unit_by_name(system_, "second");
    if (second) {
      ut_unit* hz = ut_invert(second);
      define("rev/s", ut_clone(hz));
      define("rps", ut_clone(hz));
      define("rpm", ut_scale(1.0 / 60.0, hz));
      ut_free(hz);
    }
  }
  void define(const char* symbol, ut_unit* unit) {
    if (unit == nullptr) return;
    cache_.emplace(symbol, UnitPtr(unit, ut_free));
    ut_map_symbol_to_unit(symbol, UT_ASCII, unit);
    ut_map_symbol_to_unit(symbol, UT_UTF8, unit);
  }
  ut_system* system_ = nullptr;
  std::mutex mutex_;
  std::map<std::string, UnitPtr> cache_;
};

// Converts between two units; false when they measure different things.
bool convert(const ut_unit* from, const ut_unit* to, double value, bool difference, double& out) {
  static std::mutex guard;  // UDUNITS-2 is not thread-safe
  std::lock_guard<std::mutex> lock(guard);
  if (from == nullptr || to == nullptr || !ut_are_convertible(from, to)) return false;
  cv_converter* c = ut_get_converter(const_cast<ut_unit*>(from), const_cast<ut_unit*>(to));
  if (c == nullptr) return false;
  out = difference ? value * (cv_convert_double(c, 1.0) - cv_convert_double(c, 0.0))
                   : cv_convert_double(c, value);
  cv_free(c);
  return true;
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Strips a gauge or absolute mark from a pressure unit: "bar(g)", "barg",
// "psig" are gauge; "bar(a)", "bara", "psia" absolute.
std::string pressure_base(const std::string& unit, bool& gauge, bool& marked) {
  gauge = marked = false;
  auto ends = [&](const std::string& tail) {
    return unit.size() > tail.size() &&
           unit.compare(unit.size() - tail.size(), tail.size(), tail) == 0;
  };
  for (const char* tail : {"(g)", "(a)", " g", " a"}) {
    if (ends(tail)) {
      gauge = tail[std::string(tail).size() - (tail[0] == '(' ? 2 : 1)] == 'g';
      marked = true;
      return trim(unit.substr(0, unit.size() - std::string(tail).size()));
    }
  }
  for (const char* base : {"bar", "psi", "kPa", "MPa", "Pa", "atm"}) {
    const std::string b(base);
    if (unit == b + "g" || unit == b + "a") {
      gauge = unit.back() == 'g';
      marked = true;
      return b;
    }
  }
  return unit;
}

std::string fmt(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// The conversion alone, without the checks of a value's range: false when
// the unit is unknown or measures something else.
bool raw_to_si(double number, const std::string& unit, Quantity q, double& v) {
  Database& db = Database::get();
  const ut_unit* from = db.parse(unit);
  const bool difference = q == Quantity::TemperatureDifference || q == Quantity::PressureDifference;
  if (convert(from, db.parse(row(q).si), number, difference, v)) return true;
  // A head may be given as a length or as specific work.
  if (q == Quantity::Length && convert(from, db.parse("J/kg"), number, false, v)) {
    v /= kGravity;
    return true;
  }
  if (q == Quantity::Head && convert(from, db.parse("m"), number, false, v)) {
    v *= kGravity;
    return true;
  }
  return false;
}

}  // namespace

const char* name(Quantity q) {
  return row(q).name;
}

Quantity quantity_named(const std::string& n) {
  for (const Row& r : kRows) {
    if (n == r.name) return r.q;
  }
  return Quantity::Count_;
}

Quantity quantity_of_type(int32_t code) {
  switch (code) {
    case 1:
      return Quantity::Area;
    case 10:
      return Quantity::MassFlow;
    case 11:
      return Quantity::MolarFlow;
    case 12:
      return Quantity::VolumeFlow;
    case 13:
      return Quantity::Duty;
    case 14:
      return Quantity::MolarEnthalpy;
    case 15:
      return Quantity::MolarEntropy;
    case 16:
      return Quantity::HeatTransferCoefficient;
    case 17:
      return Quantity::Length;
    case 19:
      return Quantity::Power;
    case 20:
      return Quantity::Pressure;
    case 22:
      return Quantity::Temperature;
    case 28:
      return Quantity::Speed;
    case 31:
      return Quantity::TemperatureDifference;
    case 33:
      return Quantity::Head;
    case 38:
      return Quantity::Density;
    case 43:
      return Quantity::MolarVolume;
    case 44:
      return Quantity::Dimensionless;
    case 75:
      return Quantity::PressureDifference;
    default:
      return Quantity::Count_;
  }
}

bool split(const std::string& text, double& number, std::string& unit, std::string& error) {
  const std::string t = trim(text);
  const char* begin = t.c_str();
  char* end = nullptr;
  number = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(number)) {
    error = "'" + text + "' is not a number followed by a unit (for example \"10 bar\")";
    return false;
  }
  unit = trim(std::string(end));
  if (unit.empty()) {
    error = "'" + text + "' has no unit; write a plain number for SI or a number and a unit";
    return false;
  }
  return true;
}

bool to_si(double number, const std::string& unit_in, Quantity q, double& si, std::string& error) {
  Database& db = Database::get();
  const Row& r = row(q);
  const std::string value_text = fmt(number) + " " + unit_in;
  std::string what(r.name);
  for (char& c : what) {
    if (c == '_') c = ' ';
  }
  const bool plain = q == Quantity::Fraction || q == Quantity::Dimensionless;
  auto misfit = [&](const std::string& why) {
    error = "'" + value_text + "' " + why + "; a " + what + " is written in " + r.fitting;
    if (plain)
      error = "'" + value_text + "' " +
              (why.rfind("does not measure", 0) == 0 ? "is not a plain number" : why) +
              "; write a plain number or a percentage (" + std::string(r.fitting) + ")";
    return false;
  };
  if (!db.ok()) {
    error = "the units database (UDUNITS-2) could not be read; write plain SI numbers";
    return false;
  }
  std::string unit = trim(unit_in);
  bool gauge = false, marked = false;
  if (q == Quantity::Pressure || q == Quantity::PressureDifference)
    unit = pressure_base(unit, gauge, marked);
  if (db.parse(unit) == nullptr) return misfit("has a unit this program does not know");
  if (unit == "%" && q == Quantity::Fraction && (number < 0.0 || number > 100.0)) {
    return misfit("is not a percentage from 0 to 100");
  }
  double v = 0.0;
  if (!raw_to_si(number, unit, q, v)) return misfit("does not measure a " + what);
  if (gauge) {
    if (q == Quantity::PressureDifference)
      return misfit("is a gauge pressure, but a difference has no gauge");
    v += kStandardAtmosphere;
  }
  if (q == Quantity::Pressure && !(v > 0.0)) {
    error = "'" + value_text + "' is " + fmt(v) +
            " Pa absolute; an absolute pressure must be positive" +
            (gauge ? " (gauge pressures are relative to 101325 Pa)" : "");
    return false;
  }
  if (q == Quantity::Temperature && !(v > 0.0)) {
    error = "'" + value_text + "' is " + fmt(v) + " K; an absolute temperature must be positive";
    return false;
  }
  si = v;
  return true;
}

Quantity natural_quantity(const std::string& unit_in) {
  Database& db = Database::get();
  bool gauge = false, marked = false;
  const std::string unit = pressure_base(trim(unit_in), gauge, marked);
  const ut_unit* u = db.parse(unit);
  if (u == nullptr) return Quantity::Count_;
  // In this order: the first quantity whose SI basis the unit converts to.
  for (Quantity q :
       {Quantity::Pressure, Quantity::Temperature, Quantity::MolarFlow, Quantity::MassFlow,
        Quantity::VolumeFlow, Quantity::Power, Quantity::MolarEnthalpy, Quantity::MassEnthalpy,
        Quantity::MolarEntropy, Quantity::MassEntropy, Quantity::MolarVolume, Quantity::Density,
        Quantity::Length, Quantity::Area, Quantity::HeatTransferCoefficient, Quantity::Speed,
        Quantity::Fraction}) {
    const ut_unit* si = db.parse(row(q).si);
    if (si != nullptr && ut_are_convertible(u, si)) return q;
  }
  return Quantity::Count_;
}

std::string fitting_units(Quantity q) {
  return row(q).fitting;
}

bool ReportUnits::choose(Quantity q, const std::string& unit, std::string& error) {
  double probe = 0.0;
  if (q == Quantity::Fraction || q == Quantity::Dimensionless) {
    error = "a " + std::string(name(q)) + " has no unit to choose";
    return false;
  }
  bool gauge = false, marked = false;
  pressure_base(unit, gauge, marked);
  if (marked) {
    error = "report pressures are absolute; write '" + pressure_base(unit, gauge, marked) + "'";
    return false;
  }
  if (!to_si(1.0, unit, q, probe, error)) return false;
  chosen_[q] = unit;
  return true;
}

const std::string& ReportUnits::label(Quantity q) const {
  static const std::array<std::array<std::string, 3>, kQuantities> labels = [] {
    std::array<std::array<std::string, 3>, kQuantities> out;
    for (const Row& r : kRows) {
      for (size_t s = 0; s < 3; ++s) out[static_cast<size_t>(r.q)][s] = r.report[s];
    }
    return out;
  }();
  auto it = chosen_.find(q);
  if (it != chosen_.end()) return it->second;
  return labels[static_cast<size_t>(q)][static_cast<size_t>(set_)];
}

double ReportUnits::from_si(Quantity q, double si) const {
  const std::string& unit = label(q);
  if (unit.empty() || unit == row(q).si) return si;
  // The inverse of the input conversion, which is linear (affine for
  // temperatures): two points fix it.
  double zero = 0.0, one = 0.0;
  if (!raw_to_si(0.0, unit, q, zero) || !raw_to_si(1.0, unit, q, one) || one == zero) return si;
  return (si - zero) / (one - zero);
}

std::map<std::string, std::string> ReportUnits::labels() const {
  std::map<std::string, std::string> out;
  for (const Row& r : kRows) {
    if (r.q == Quantity::Fraction || r.q == Quantity::Dimensionless) continue;
    out[r.name] = label(r.q);
  }
  return out;
}

ReportUnits& current_report_units() {
  thread_local ReportUnits units;
  return units;
}

}  // namespace r3::host::uom
