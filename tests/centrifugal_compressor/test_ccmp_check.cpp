// The centrifugal compressor's input check: every finding with its message
// number, severity and lines (golden text centrifugal_compressor/check).
#include <gtest/gtest.h>

#include <functional>

#include "host/data_manager/data_manager.h"
#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;
using host::kRmiss;

TEST_F(CcmpTest, CheckMessages) {
  using Change = std::function<void(Block&)>;
  auto ints = [](size_t i, int32_t v) { return [=](Block& b) { b.ints[i] = v; }; };
  auto speeds = [](double low, double high) {
    return [=](Block& b) {
      b.reals[8] = low;
      b.reals[9] = high;
    };
  };
  auto streams = [](Change c) {
    return [=](Block& b) {
      c(b);
      b.connect_streams();
    };
  };
  const int32_t m = hs::imiss();
  std::vector<std::pair<std::string, Change>> cases = {{"valid", [](Block&) {}}};
  // INT(4)..INT(11) -> messages 2..9; NPASS accepts 0..50.
  for (size_t i = 0; i < 8; ++i)
    cases.push_back({"INT(" + std::to_string(i + 4) + ") wrong", ints(i, i == 1 ? 51 : 2)});
  const std::vector<std::pair<std::string, Change>> more = {
      {"NPASS 50", ints(1, 50)},
      {"NPASS -1", ints(1, -1)},
      {"NINT 10: INT(11) takes its default", [](Block& b) { b.ints.resize(7); }},
      {"NINT 6: INT(7) has no default", [](Block& b) { b.ints.resize(3); }},
      {"integers at the missing marker", [=](Block& b) { b.ints = {m, m, m, 0, m, m, m, m}; }},
      {"NREAL 7: the speed range is not checked", [](Block& b) { b.reals.resize(7); }},
      {"NREAL 9: REAL(10) takes 20000, REAL(9) above it unchecked",
       [](Block& b) {
         b.reals.resize(9);
         b.reals[8] = 30000.0;
       }},
      {"lowest speed negative", speeds(-1.0, 20000.0)},
      {"speeds reversed", speeds(5000.0, 4000.0)},
      {"both speeds negative", speeds(-10.0, -20.0)},
      {"lowest speed zero", speeds(0.0, 20000.0)},
      {"speeds equal", speeds(5000.0, 5000.0)},
      {"speeds missing: 1250 and 20000", speeds(kRmiss, kRmiss)},
      {"lowest missing, highest 1000", speeds(kRmiss, 1000.0)},
      {"curves on without coefficients",
       [](Block& b) { b.reals[1] = b.reals[5] = b.reals[6] = kRmiss; }},
      {"curves off without coefficients",
       [](Block& b) {
         b.ints[4] = b.ints[5] = b.ints[6] = 0;
         b.reals = {kRmiss, kRmiss, kRmiss, kRmiss, kRmiss,
                    kRmiss, kRmiss, kRmiss, 1250.0, 20000.0};
       }},
      {"converted units keep a missing coefficient missing",
       [](Block& b) {
         b.ints[3] = 1;
         b.reals[0] = kRmiss;
       }},
      {"two work streams", streams([](Block& b) {
         b.infin = {"W1", "W2"};
       })},
      {"no outlet", streams([](Block& b) { b.matout.clear(); })},
      {"two inlets", streams([](Block& b) {
         b.matin = {"F1", "F2"};
       })},
      {"an outlet information stream", streams([](Block& b) { b.infout = {"WOUT"}; })},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  Transcript t;
  for (const auto& [what, change] : cases) {
    t.heading(what);
    Block b = make_ccmp();
    change(b);
    const auto infos = host::message_counts().infos;
    const int32_t check = b.call(KODE_CHECK);
    t.add("istat " + std::to_string(check) + ", informations " +
          std::to_string(host::message_counts().infos - infos));
    const auto said = messages();
    t.add(said);
    // The dimension request says the same; refusing, it leaves the counts
    // unwritten, accepting, the auxiliary sizes.
    b.ny = -5;
    b.naux1 = 11;
    const int32_t st = b.call(KODE_DIMEN);
    EXPECT_EQ(messages(), said) << what;
    EXPECT_EQ(b.naux1, 11) << what;
    if (st != 0) {
      EXPECT_EQ(b.ny, -5) << what;
    } else {
      // Defaults taken, the block initialises.
      EXPECT_EQ(b.prepare(), 0) << what << ::testing::PrintToString(messages());
      messages();
    }
  }
  EXPECT_TRUE(matches_golden(t.lines, "centrifugal_compressor/check"));
  // No integers at all.
  Block e = make_ccmp();
  e.ints.clear();
  EXPECT_EQ(e.dimension(), 1);
}

}  // namespace
}  // namespace r3::test::ccmp
