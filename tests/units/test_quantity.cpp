// Values with units: each quantity's conversions to SI, the report units
// back from SI, and the errors that name the units that would fit.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/units/quantity.h"

namespace r3::host::uom {
namespace {

// Each row of quantity_cases.tsv: text, quantity, SI value or "error", and a
// fragment of the error message.
TEST(Units, ConvertToSiOrNameTheUnitsThatFit) {
  std::ifstream in(std::string(R3_SOURCE_DIR) + "/tests/units/quantity_cases.tsv");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    f.resize(4);
    const Quantity q = quantity_named(f[1]);
    ASSERT_NE(q, Quantity::Count_) << line;
    double number = 0, si = 0;
    std::string unit, error;
    ASSERT_TRUE(split(f[0], number, unit, error)) << f[0] << ": " << error;
    ++rows;
    if (!to_si(number, unit, q, si, error)) {
      EXPECT_EQ(f[2], "error") << f[0] << ": " << error;
      EXPECT_NE(error.find(f[3]), std::string::npos) << f[0] << ": " << error;
      EXPECT_NE(error.find(f[0]), std::string::npos) << "the message quotes the value: " << error;
    } else {
      const double want = f[2] == "error" ? std::nan("") : std::stod(f[2]);
      EXPECT_NEAR(si, want, 1e-12 * std::fabs(si)) << f[0];
    }
  }
  EXPECT_GT(rows, 40);
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
