// Binary interaction parameters: the published table, overrides, the case
// key and its errors; and the 1978 kappa.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/case/case.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

double bubble_temperature(const std::vector<std::string>& ids, const std::vector<double>& z, double P) {
  FlashResult r;
  EXPECT_EQ(flash_pv(*testing::model_of(Method::PengRobinson, ids), P, 0.0, z, 280, r), Status::Ok);
  return r.T;
}

// The table (DECHEMA VI p589: CO2/propane 0.1315, either order) sets a
// model's kij as an override of the same value does; an override of 0
// restores kij = 0, with which the 0.3/0.7 liquid at 2 MPa boils over 10 K
// higher (CO2/propane deviates positively from Raoult's law).
TEST(Interaction, TableAndOverrides) {
  bool found = false;
  EXPECT_DOUBLE_EQ(databank_kij("c3h8", "CO2", &found), 0.1315);
  EXPECT_TRUE(found);
  EXPECT_EQ(databank_kij("C3H8", "NC4", &found), 0.0);
  EXPECT_FALSE(found);
  const std::vector<std::string> ids{"CO2", "C3H8"};
  const std::vector<double> z{0.3, 0.7};
  set_interaction_overrides({});
  const double t_table = bubble_temperature(ids, z, 2e6);
  set_interaction_overrides({{"CO2", "C3H8", 0.1315}});
  EXPECT_DOUBLE_EQ(bubble_temperature(ids, z, 2e6), t_table);
  set_interaction_overrides({{"C3H8", "CO2", 0.0}});
  EXPECT_GT(bubble_temperature(ids, z, 2e6) - t_table, 10.0);
  set_interaction_overrides({});
}

// The case key: pairs of the case's components, -1 < kij < 1; errors carry
// the line of the offending entry.
TEST(Interaction, CaseKeyAndItsErrors) {
  const std::string head = "[properties]\ncomponents = [\"CO2\", \"CH4\", \"N2\"]\nkij = { ";
  const std::string tail =
      " }\n[streams.F]\ntemperature = 300.0\npressure = 1e5\nflows = { CH4 = 1.0 }\n[streams.P]\n"
      "[[blocks]]\nid = \"B\"\nmodel = \"R3VALVE\"\ninlets = [\"F\"]\noutlets = [\"P\"]\n";
  const std::pair<const char*, const char*> cases[] = {
      {"\"CO2/CH4\" = 0.09, \"N2/CH4\" = 0.03", ""},
      {"\"CO2/C3H8\" = 0.1", ":3: kij pair 'CO2/C3H8': 'C3H8' is not one"},
      {"\"CO2-CH4\" = 0.1", ":3: kij pair 'CO2-CH4' is not of the form"},
      {"\"CO2/CO2\" = 0.1", ":3: kij pair 'CO2/CO2' names one component"},
      {"\"CO2/CH4\" = 1.0", ":3: kij of 'CO2/CH4' must lie strictly"},
      {"\"CO2/CH4\" = \"x\"", ":3: kij of CO2/CH4 must be a number"}};
  for (const auto& [kij, expected] : cases) {
    host::Case out;
    std::string error;
    EXPECT_EQ(host::parse_case(head + kij + tail, "k.toml", out, error), *expected == '\0') << error;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  EXPECT_EQ(interaction_overrides().size(), 2u);  // the good case's pairs
  host::Case out;
  std::string error;
  ASSERT_TRUE(host::parse_case(head + tail, "k.toml", out, error)) << error;
  EXPECT_TRUE(interaction_overrides().empty());
}

// Peng-Robinson with the 1978 kappa (omega > 0.491): ethanol boils at
// 351.44 K at 1 atm (CRC Handbook); the 1976 kappa puts it 0.6 K low.
TEST(Interaction, HeavyAcentricFactorUsesThe1978Kappa) {
  EXPECT_NEAR(bubble_temperature({"ETOH"}, {1.0}, 101325), 351.44, 0.4);
}

}  // namespace
}  // namespace r3::thermo
