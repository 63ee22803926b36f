// Case values with units and feeds on any basis: each basis gives the same
// component flows as the SI case; bad values name the line, the value and
// the units that would fit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/case/case.h"
#include "host/case/feed_basis.h"

namespace r3::host {
namespace {

// A water/methanol case whose FEED is written as `feed` (TOML lines).
std::string case_text(const std::string& feed, const std::string& fix = "DR_EFF = 0.9") {
  return "[properties]\nmethod = \"PENG-ROB\"\ncomponents = [\"H2O\", \"MEOH\"]\n"
         "[streams.FEED]\n" +
         feed +
         "\n[streams.OUT]\n"
         "[[blocks]]\nid = \"P1\"\nmodel = \"R3PUMP\"\ninlets = [\"FEED\"]\noutlets = [\"OUT\"]\n"
         "fix = { " +
         fix + " }\n";
}

std::vector<double> feed_flows(const std::string& feed) {
  Case c;
  std::string error;
  EXPECT_TRUE(parse_case(case_text(feed), "c.toml", c, error)) << feed << "\n" << error;
  return c.streams.empty() || !c.streams[0].flows ? std::vector<double>{} : *c.streams[0].flows;
}

TEST(CaseUnits, EveryFeedBasisGivesTheSameComponentFlows) {
  const double mw_w = 18.015268, mw_m = 32.042;  // databank molecular weights
  const std::vector<double> si =
      feed_flows("temperature = 300.0\npressure = 2.0e5\nflows = { H2O = 0.3, MEOH = 0.1 }");
  ASSERT_EQ(si.size(), 2u);
  const double mass = 0.3 * mw_w + 0.1 * mw_m;
  char buf[400];
  std::snprintf(buf, sizeof buf, "mass_flows = { H2O = \"%.17g kg/h\", MEOH = \"%.17g kg/s\" }",
                0.3 * mw_w * 3600, 0.1 * mw_m);
  const std::string tp = "temperature = \"26.85 degC\"\npressure = \"2 bar\"\n";
  std::vector<std::string> feeds = {
      tp + buf,
      tp + "total_flow = \"1440 kmol/h\"\nmole_fractions = { H2O = \"75 %\", MEOH = \"25 %\" }",
      tp + "total_mass_flow = \"" + std::to_string(mass) +
          " kg/s\"\nmole_fractions = { H2O = 3, MEOH = 1 }",
      tp + "total_mass_flow = \"" + std::to_string(mass) +
          " kg/s\"\nmass_fractions = { H2O = " + std::to_string(0.3 * mw_w / mass) +
          ", MEOH = " + std::to_string(0.1 * mw_m / mass) + " }",
      tp + "standard_volume_flow = \"" + std::to_string(0.4 * kStandardMolarVolume * 3600) +
          " m3/h\"\nmole_fractions = { H2O = 0.75, MEOH = 0.25 }",
  };
  for (const std::string& f : feeds) {
    const std::vector<double> got = feed_flows(f);
    ASSERT_EQ(got.size(), 2u) << f;
    // Fractions and totals above are written with six decimals.
    for (size_t i = 0; i < 2; ++i) EXPECT_NEAR(got[i], si[i], 1e-5 * si[i]) << f;
  }
  // An actual volume flow: the liquid's molar volume, near water's and methanol's mix.
  const std::vector<double> vol =
      feed_flows(tp + "volume_flow = \"1 m3/h\"\nmole_fractions = { H2O = 3, MEOH = 1 }");
  ASSERT_EQ(vol.size(), 2u);
  const double v = 1.0 / 3600.0 / (vol[0] + vol[1]);  // m3/kmol
  EXPECT_GT(v, 0.018);
  EXPECT_LT(v, 0.030);
  EXPECT_NEAR(vol[0] / vol[1], 3.0, 1e-12);
}

TEST(CaseUnits, BadValuesNameTheLineTheValueAndTheUnitsThatFit) {
  const std::string tp = "temperature = 300.0\nflows = { H2O = 1.0 }\n";
  const struct {
    std::string feed, fix, message;
  } cases[] = {
      {tp + "pressure = \"2 kg\"", "DR_EFF = 0.9",
       "c.toml:7: pressure of stream FEED: '2 kg' does not measure a pressure; a pressure is "
       "written in Pa, kPa"},
      {tp + "pressure = \"-2 bar(g)\"", "DR_EFF = 0.9",
       "c.toml:7: pressure of stream FEED: '-2 bar(g)' is -98675 Pa absolute; an absolute pressure "
       "must be positive"},
      {tp + "pressure = \"2 blorps\"", "DR_EFF = 0.9",
       "c.toml:7: pressure of stream FEED: '2 blorps' has a unit this program does not know"},
      {tp + "pressure = 2e5", "DR_EFF = \"120 %\"",
       "c.toml:14: fix value of DR_EFF in block P1: '120 %' is not a percentage from 0 to 100"},
      {tp + "pressure = 2e5\nvapour_fraction = \"1 kW\"", "DR_EFF = 0.9",
       "c.toml:8: vapour_fraction of stream FEED: '1 kW' is not a plain number"},
      {"temperature = 300.0\npressure = 2e5\nflows = { WATER = 1.0 }", "DR_EFF = 0.9",
       "c.toml:7: flows of stream FEED: 'WATER' is not one of the case's components"},
      {tp + "pressure = 2e5\nvolume_flow = \"1 m3/h\"\nmole_fractions = { H2O = 1 }",
       "DR_EFF = 0.9", "give flows, or mass_flows, or a total flow"},
  };
  for (const auto& c : cases) {
    Case out;
    std::string error;
    EXPECT_FALSE(parse_case(case_text(c.feed, c.fix), "c.toml", out, error)) << c.feed;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(CaseUnits, UnknownComponentsAndQuantitiesSuggestTheNearest) {
  Case out;
  std::string error;
  std::string text = case_text("temperature = 300.0\npressure = 2e5\nflows = { H2O = 1.0 }");
  std::string water = text;
  water.replace(water.find("\"MEOH\""), 6, "\"WATER\"");
  EXPECT_FALSE(parse_case(water, "c.toml", out, error));
  EXPECT_NE(error.find("unknown component 'WATER' (not in the databank; did you mean H2O?)"),
            std::string::npos)
      << error;
  EXPECT_FALSE(parse_case(text + "[report]\npresure = \"bar\"\n", "c.toml", out, error));
  EXPECT_NE(error.find("'presure' is not a quantity (did you mean pressure?"), std::string::npos)
      << error;
  EXPECT_FALSE(parse_case(text + "[report]\npressure = \"kg\"\n", "c.toml", out, error));
  EXPECT_TRUE(parse_case(text + "[report]\npressure = \"psi\"\n", "c.toml", out, error)) << error;
  EXPECT_EQ(out.report.label(uom::Quantity::Pressure), "psi");
}

}  // namespace
}  // namespace r3::host
