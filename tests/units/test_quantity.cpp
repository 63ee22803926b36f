// Values with units: each quantity's conversions to SI, the report units
// back from SI, and the errors that name the units that would fit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/units/quantity.h"

namespace r3::host::uom {
namespace {

struct Case {
  const char* text;
  Quantity q;
  double si;       // expected SI value; NaN: an error is expected
  const char* in;  // a fragment of the error message
};

constexpr double kErr = std::numeric_limits<double>::quiet_NaN();

const Case kCases[] = {
    {"10 bar", Quantity::Pressure, 1.0e6, ""},
    {"25 bar(a)", Quantity::Pressure, 2.5e6, ""},
    {"9 bar(g)", Quantity::Pressure, 1.001325e6, ""},
    {"9 barg", Quantity::Pressure, 1.001325e6, ""},
    {"100 kPa", Quantity::Pressure, 1.0e5, ""},
    {"1.5 MPa", Quantity::Pressure, 1.5e6, ""},
    {"1 atm", Quantity::Pressure, 101325.0, ""},
    {"1 psi", Quantity::Pressure, 6894.757293168361, ""},
    {"0 psig", Quantity::Pressure, 101325.0, ""},
    {"-2 bar(g)", Quantity::Pressure, kErr, "an absolute pressure must be positive"},
    {"5 kg", Quantity::Pressure, kErr,
     "does not measure a pressure; a pressure is written in Pa, kPa"},
    {"5 zorks", Quantity::Pressure, kErr, "has a unit this program does not know"},
    {"15 bar", Quantity::PressureDifference, 1.5e6, ""},
    {"15 bar(g)", Quantity::PressureDifference, kErr, "a difference has no gauge"},
    {"25 degC", Quantity::Temperature, 298.15, ""},
    {"77 degF", Quantity::Temperature, 298.15, ""},
    {"536.67 R", Quantity::Temperature, 298.15, ""},
    {"-300 degC", Quantity::Temperature, kErr, "must be positive"},
    {"10 degC", Quantity::TemperatureDifference, 10.0, ""},
    {"18 degF", Quantity::TemperatureDifference, 10.0, ""},
    {"3600 kmol/h", Quantity::MolarFlow, 1.0, ""},
    {"1 lbmol/h", Quantity::MolarFlow, 0.45359237 / 3600.0, ""},
    {"3.6 t/h", Quantity::MassFlow, 1.0, ""},
    {"3600 lb/h", Quantity::MassFlow, 0.45359237, ""},
    {"1 kg/s", Quantity::MolarFlow, kErr, "a molar flow is written in kmol/s"},
    {"3600 m3/h", Quantity::VolumeFlow, 1.0, ""},
    {"1 gpm", Quantity::VolumeFlow, 3.785411784e-3 / 60.0, ""},
    {"1 hp", Quantity::Power, 745.69987158227022, ""},
    {"1 MW", Quantity::Duty, 1.0e6, ""},
    {"1 Btu/h", Quantity::Duty, 0.29307107017222, ""},
    {"1 kJ/kmol", Quantity::MolarEnthalpy, 1000.0, ""},
    {"1 J/mol", Quantity::MolarEnthalpy, 1000.0, ""},
    {"1 Btu/lb", Quantity::MassEnthalpy, 2326.0, ""},
    {"1 l/mol", Quantity::MolarVolume, 1.0, ""},
    {"1 ft", Quantity::Length, 0.3048, ""},
    {"9.80665 J/kg", Quantity::Length, 1.0, ""},
    {"1 m", Quantity::Head, 9.80665, ""},
    {"1 ft2", Quantity::Area, 0.09290304, ""},
    {"1 lb/ft3", Quantity::Density, 16.018463373960138, ""},
    {"1 Btu/lb/R", Quantity::MassEntropy, 4186.8, ""},
    {"1 kJ/kmol/K", Quantity::MolarEntropy, 1000.0, ""},
    {"1 Btu/h/ft2/R", Quantity::HeatTransferCoefficient, 5.678263341113488, ""},
    {"1 g/mol", Quantity::MolecularWeight, 1.0, ""},
    {"1 kg/m3", Quantity::MolarVolume, kErr, "a molar volume is written in m3/kmol"},
    {"60 rpm", Quantity::Speed, 1.0, ""},
    {"75 %", Quantity::Fraction, 0.75, ""},
    {"120 %", Quantity::Fraction, kErr, "not a percentage from 0 to 100"},
    {"1 bar", Quantity::Fraction, kErr,
     "is not a plain number; write a plain number or a percentage"},
};

TEST(Units, ConvertToSiOrNameTheUnitsThatFit) {
  for (const Case& c : kCases) {
    double number = 0, si = 0;
    std::string unit, error;
    ASSERT_TRUE(split(c.text, number, unit, error)) << c.text << ": " << error;
    const bool ok = to_si(number, unit, c.q, si, error);
    if (std::isnan(c.si)) {
      EXPECT_FALSE(ok) << c.text;
      EXPECT_NE(error.find(c.in), std::string::npos) << c.text << ": " << error;
      EXPECT_NE(error.find(c.text), std::string::npos) << "the message quotes the value: " << error;
    } else {
      EXPECT_TRUE(ok) << c.text << ": " << error;
      EXPECT_NEAR(si, c.si, 1e-12 * std::fabs(c.si)) << c.text;
    }
  }
}

TEST(Units, TextThatIsNotANumberAndAUnit) {
  double n;
  std::string u, e;
  for (const char* bad : {"bar", "", "12", "1e999 bar"}) EXPECT_FALSE(split(bad, n, u, e)) << bad;
}

// Every report label is read back as the unit it names, so one spelling
// serves input and output.
TEST(Units, ReportLabelsRoundTrip) {
  for (UnitSet set : {UnitSet::SI, UnitSet::MET, UnitSet::ENG}) {
    const ReportUnits ru(set);
    for (int i = 0; i < kQuantities; ++i) {
      const Quantity q = static_cast<Quantity>(i);
      const std::string& label = ru.label(q);
      if (label.empty()) continue;
      const double shown = ru.from_si(q, 350.0);
      double back = 0;
      std::string error;
      ASSERT_TRUE(to_si(shown, label, q, back, error)) << name(q) << " " << label << ": " << error;
      EXPECT_NEAR(back, 350.0, 1e-9) << name(q) << " " << label;
    }
  }
  EXPECT_NEAR(ReportUnits(UnitSet::MET).from_si(Quantity::Temperature, 298.15), 25.0, 1e-12);
  EXPECT_NEAR(ReportUnits(UnitSet::ENG).from_si(Quantity::Pressure, 6894.757293168361), 1.0, 1e-12);
}

TEST(Units, ChosenReportUnitMustMeasureTheQuantity) {
  ReportUnits ru(UnitSet::SI);
  std::string error;
  EXPECT_TRUE(ru.choose(Quantity::Pressure, "kPa", error)) << error;
  EXPECT_EQ(ru.label(Quantity::Pressure), "kPa");
  EXPECT_DOUBLE_EQ(ru.from_si(Quantity::Pressure, 2.0e5), 200.0);
  EXPECT_FALSE(ru.choose(Quantity::Pressure, "kg", error));
  EXPECT_FALSE(ru.choose(Quantity::Pressure, "bar(g)", error));
  EXPECT_EQ(natural_quantity("bar(g)"), Quantity::Pressure);
  EXPECT_EQ(natural_quantity("degF"), Quantity::Temperature);
  EXPECT_EQ(natural_quantity("%"), Quantity::Fraction);
}

}  // namespace
}  // namespace r3::host::uom
