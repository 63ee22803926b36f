// Case files read in process: every part of a good case, feeds on any basis
// giving the same component flows, and stream lookup after the list changes.
// (What the loader refuses is in r3sim's table, tests/apps.)
#include <gtest/gtest.h>

#include <string>

#include "host/case/case.h"
#include "host/case/feed_basis.h"
#include "tests/support/support.h"

namespace r3::host {
namespace {

Case parsed(const std::string& text) {
  Case c;
  std::string error;
  EXPECT_TRUE(parse_case(text, "c.toml", c, error)) << text << "\n" << error;
  return c;
}

Case good() {
  return parsed(test::file_text(std::string(R3_SOURCE_DIR) + "/tests/apps/cases/good.toml"));
}

TEST(CaseFile, ReadsEveryPart) {
  const Case c = good();
  EXPECT_EQ(c.title, "Mix");
  EXPECT_EQ(c.method, thermo::Method::Ideal);
  EXPECT_EQ(c.report_units, ReportUnits::ENG);
  ASSERT_EQ(c.streams.size(), 3u);
  const StreamDef* feed = c.stream("FEED");
  ASSERT_TRUE(feed != nullptr && feed->flows.has_value());
  EXPECT_EQ(*feed->flows,
            (std::vector<double>{1.5, 0.5}));  // fractions normalised, times the total
  EXPECT_TRUE(feed->has_conditions());
  EXPECT_EQ(c.stream("W")->kind, StreamDef::Kind::Work);
  EXPECT_DOUBLE_EQ(*c.stream("W")->value, -500.0);
  ASSERT_EQ(c.blocks.size(), 1u);
  const BlockDef& b = c.blocks[0];
  EXPECT_EQ(b.ints, (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(b.reals, (std::vector<double>{0.5}));
  EXPECT_EQ(*b.diagnostic_level, 2);
  EXPECT_EQ(b.fix[0].first, "DR_EFF");
  EXPECT_EQ(b.guess[0].first, "OUT.PRESSURE");
  EXPECT_EQ(b.bounds[0].second.second, 400.0);
  EXPECT_EQ(c.solver.max_iterations, 20);
  EXPECT_EQ(c.solver.tolerance, 1.0e-8);
}

// A regression: lookups once went through an index that went stale when the
// list changed or the case was copied.
TEST(CaseFile, StreamLookupFollowsChangesToTheList) {
  Case c = good();
  ASSERT_NE(c.stream("W"), nullptr);
  c.streams.emplace_back().id = "NEW";
  const Case copy = c;
  for (const Case* k : {static_cast<const Case*>(&c), &copy}) {
    EXPECT_EQ(k->stream("NEW"), &k->streams.back());
    EXPECT_EQ(k->stream("FEED"), &k->streams.front());
    EXPECT_EQ(k->stream("NONE"), nullptr);
  }
  c.streams.erase(c.streams.begin());
  EXPECT_EQ(c.stream("FEED"), nullptr);
  EXPECT_EQ(c.stream("NEW")->id, "NEW");
}

// A water/methanol feed written as `feed` (TOML lines).
std::vector<double> feed_flows(const std::string& feed) {
  const Case c = parsed(
      "[properties]\nmethod = \"PENG-ROB\"\ncomponents = [\"H2O\", \"MEOH\"]\n[streams.FEED]\n" +
      feed +
      "\n[streams.OUT]\n[[blocks]]\nid = \"P1\"\nmodel = \"R3PUMP\"\ninlets = [\"FEED\"]\n"
      "outlets = [\"OUT\"]\nfix = { DR_EFF = 0.9 }\n");
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
  for (const std::string& f :
       {tp + buf,
        tp + "total_flow = \"1440 kmol/h\"\nmole_fractions = { H2O = \"75 %\", MEOH = \"25 %\" }",
        tp + "total_mass_flow = \"" + std::to_string(mass) +
            " kg/s\"\nmole_fractions = { H2O = 3, MEOH = 1 }",
        tp + "total_mass_flow = \"" + std::to_string(mass) +
            " kg/s\"\nmass_fractions = { H2O = " + std::to_string(0.3 * mw_w / mass) +
            ", MEOH = " + std::to_string(0.1 * mw_m / mass) + " }",
        tp + "standard_volume_flow = \"" + std::to_string(0.4 * kStandardMolarVolume * 3600) +
            " m3/h\"\nmole_fractions = { H2O = 0.75, MEOH = 0.25 }"}) {
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

}  // namespace
}  // namespace r3::host
