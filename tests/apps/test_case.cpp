// Case files: what is read, and the messages for what is wrong.
#include <gtest/gtest.h>

#include "host/case/case.h"

namespace r3::host {
namespace {

const char* kGood = R"(title = "Mix"
[properties]
method = "IDEAL"
components = ["H2O", "MEOH"]
report_units = "ENG"

[streams.FEED]
pressure = 2.0e5
vapour_fraction = 0.0
total_flow = 2.0
mole_fractions = { H2O = 3.0, MEOH = 1.0 }

[streams.OUT]
[streams.W]
kind = "work"
value = -500.0

[[blocks]]
id = "P1"
model = "R3PUMP"
inlets = ["FEED"]
outlets = ["OUT"]
info_inlets = ["W"]
int = [1, 0]
real = [0.5]
diagnostic_level = 2
fix = { DR_EFF = 0.9 }
guess = { "OUT.PRESSURE" = 3.0e5 }
bounds = { DISCH_TEMP = [280.0, 400.0] }
scale = { BHP = 100.0 }

[solver]
max_iterations = 20
tolerance = 1.0e-8
)";

TEST(CaseFile, ReadsEveryPart) {
  Case c;
  std::string error;
  ASSERT_TRUE(parse_case(kGood, "good.toml", c, error)) << error;
  EXPECT_EQ(c.title, "Mix");
  EXPECT_EQ(c.method, thermo::Method::Ideal);
  EXPECT_EQ(c.report_units, ReportUnits::ENG);
  ASSERT_EQ(c.streams.size(), 3u);
  const StreamDef* feed = c.stream("FEED");
  ASSERT_NE(feed, nullptr);
  ASSERT_TRUE(feed->flows.has_value());
  EXPECT_DOUBLE_EQ((*feed->flows)[0], 1.5);  // fractions normalised, times the total
  EXPECT_DOUBLE_EQ((*feed->flows)[1], 0.5);
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

TEST(CaseFile, ErrorsNameFileLineAndExpectation) {
  struct Bad {
    std::string find, replace, message;
  };
  std::string many;
  for (int i = 0; i < 10000; ++i) many += ", 0";
  const std::vector<Bad> bad = {
      {"method = \"IDEAL\"", "method = \"VIRIAL\"", "bad.toml:3: method 'VIRIAL' is not one of"},
      {"vapour_fraction = 0.0", "vapour_fraction = 1.5", "bad.toml:7: vapour_fraction of stream FEED must lie in [0, 1]"},
      {"id = \"P1\"", "id = \"PUMPNUMBER1\"", "bad.toml:19: block id 'PUMPNUMBER1' must have 1 to 8 characters"},
      {"info_inlets = [\"W\"]", "info_inlets = [\"FEED\"]", "is a material stream"},
      {"int = [1, 0]", "int = [1, 0.5]", "bad.toml:24: int entry must be an integer"},
      {"max_iterations = 20", "max_iterations = -1", "bad.toml:33: max_iterations must not be negative"},
      {"kind = \"work\"", "kind = \"steam\"", "bad.toml:15: kind 'steam' is not one of material, work, heat"},
      {"scale = { BHP = 100.0 }", "scale = { BHP = 100.0 }\ncolour = \"red\"", "bad.toml:31: unknown key 'colour' in [[blocks]]"},
      {"mole_fractions = { H2O = 3.0, MEOH = 1.0 }", "mole_fractions = { H2O = 0.0, MEOH = 0.0 }", "mole_fractions of stream FEED sum to zero"},
      {"id = \"P1\"", "id = \"P\\u0001\"", "bad.toml:19: block id must consist of printable characters (it contains character 0x01)"},
      {"id = \"P1\"", "id = \"P\\u0000X\"", "block id must consist of printable characters (it contains character 0x00)"},
      {"[streams.OUT]", "[streams.\"O\\tT\"]", "stream identifier must consist of printable characters (it contains character 0x09)"},
      {"model = \"R3PUMP\"", "model = \"R3PUMP\\u0000X\"", "model must consist of printable characters"},
      {"diagnostic_level = 2", "diagnostic_level = 2147483647", "bad.toml:26: diagnostic_level must lie in 0..10"},
      {"int = [1, 0]", "int = [0" + many + "]", "bad.toml:24: int has 10001 entries (at most 10000)"},
  };
  for (const Bad& b : bad) {
    std::string text = kGood;
    const size_t at = text.find(b.find);
    ASSERT_NE(at, std::string::npos) << b.find;
    text.replace(at, b.find.size(), b.replace);
    Case c;
    std::string error;
    EXPECT_FALSE(parse_case(text, "bad.toml", c, error)) << b.replace;
    EXPECT_NE(error.find(b.message), std::string::npos) << "got: " << error;
  }
}

TEST(CaseFile, StreamLookupFollowsChangesToTheList) {
  Case c;
  std::string error;
  ASSERT_TRUE(parse_case(kGood, "good.toml", c, error)) << error;
  ASSERT_NE(c.stream("W"), nullptr);
  c.streams.emplace_back().id = "NEW";
  const Case copy = c;
  for (const Case* k : {static_cast<const Case*>(&c), &copy}) {
    ASSERT_NE(k->stream("NEW"), nullptr);
    EXPECT_EQ(k->stream("NEW"), &k->streams.back());
    EXPECT_EQ(k->stream("FEED"), &k->streams.front());
    EXPECT_EQ(k->stream("NONE"), nullptr);
  }
  c.streams.erase(c.streams.begin());
  EXPECT_EQ(c.stream("FEED"), nullptr);
  EXPECT_EQ(c.stream("NEW")->id, "NEW");
}

}  // namespace
}  // namespace r3::host
