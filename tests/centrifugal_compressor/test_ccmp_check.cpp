// The centrifugal compressor's input check: every finding with its message
// number, severity and lines, and bad parameter arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/data_manager/data_manager.h"
#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;
using host::kRmiss;

class CcmpCheck : public ::testing::Test {
 protected:
  void SetUp() override { reset_gas(); }
};

// The records one signalled finding writes on the message unit.
std::vector<std::string> finding(const std::string& severity, int no,
                                 const std::vector<std::string>& lines) {
  std::vector<std::string> r = {"", " *** " + severity + " from I3KCHK (message " +
                                        std::to_string(no) + ")"};
  for (const std::string& l : lines) r.push_back("     " + l);
  return r;
}

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

const std::vector<std::string> kNintLines = {
    "THE VALUE ENTERED IN \"PARAM NINT\" IS NOT AT LEAST 11.",
    "YOU MAY HAVE INPUT FOR A PREVIOUS VERSION OF R3CCMP.",
    "PLEASE CONSULT THE USER MANUAL AND UPDATE YOUR INPUT.",
    "DEFAULT VALUES WILL BE USED FOR MISSING PARAMETERS."};

std::string invalid(int index) {
  return std::string("INVALID VALUE SPECIFIED FOR PARAMETER INT(") + (index < 10 ? " " : "") +
         std::to_string(index) + ").";
}

TEST_F(CcmpCheck, ValidInputIsSilent) {
  Block b = make_ccmp();
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(b.dimension(), 0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(CcmpCheck, EachIntegerParameterOutOfRange) {
  // INT(4)..INT(11) -> messages 2..9; NPASS accepts 0..50.
  for (int index = 4; index <= 11; ++index) {
    Block b = make_ccmp();
    b.ints[static_cast<size_t>(index - 4)] = index == 5 ? 51 : 2;
    EXPECT_EQ(b.call(KODE_CHECK), 1) << index;
    EXPECT_EQ(messages(), finding("ERROR", index - 2, {invalid(index)}));
  }
  Block ok = make_ccmp();
  ok.ints[1] = 50;
  EXPECT_EQ(ok.call(KODE_CHECK), 0);
  ok.ints[1] = -1;
  EXPECT_EQ(ok.call(KODE_CHECK), 1);
  EXPECT_EQ(messages(), finding("ERROR", 3, {invalid(5)}));
  EXPECT_EQ(invalid(4), "INVALID VALUE SPECIFIED FOR PARAMETER INT( 4).");
}

TEST_F(CcmpCheck, ShortIntegerArray) {
  // NINT = 10: information, INT(11) takes its default.
  Block b = make_ccmp();
  b.ints.resize(7);
  const auto counts0 = host::message_counts();
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(messages(), finding("INFORMATION", 1, kNintLines));
  EXPECT_EQ(host::message_counts().infos, counts0.infos + 1);
  EXPECT_EQ(b.prepare(), 0);
  EXPECT_EQ(messages(), finding("INFORMATION", 1, kNintLines));
  // NINT = 6: INT(7) has no default, so its range check fails; the curve
  // switches default to on.
  Block c = make_ccmp();
  c.ints.resize(3);
  EXPECT_EQ(c.call(KODE_CHECK), 1);
  EXPECT_EQ(messages(), join({finding("INFORMATION", 1, kNintLines), finding("ERROR", 5, {invalid(7)})}));
  // Integers equal to the missing marker take their defaults too.
  Block d = make_ccmp();
  d.ints = {hs::imiss(), hs::imiss(), hs::imiss(), 0, hs::imiss(), hs::imiss(), hs::imiss(),
            hs::imiss()};
  EXPECT_EQ(d.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
  // No integers at all.
  Block e = make_ccmp();
  e.ints.clear();
  EXPECT_EQ(e.dimension(), 1);
  messages();
}

TEST_F(CcmpCheck, RealArrayLengthAndSpeedRange) {
  const std::vector<std::string> short_error = {
      "THE VALUE ENTERED IN \"PARAM NREAL\" MUST BE AT LEAST 10.",
      "PLEASE CONSULT THE USER MANUAL AND CORRECT YOUR INPUT."};
  const std::vector<std::string> short_warning = {
      "THE VALUE ENTERED IN \"PARAM NREAL\" MUST BE AT LEAST 10.",
      "YOU MAY HAVE INPUT FOR A PREVIOUS VERSION OF R3CCMP.",
      "PLEASE CONSULT THE USER MANUAL AND CORRECT YOUR INPUT.",
      "DEFAULT VALUES WILL BE USED FOR MISSING PARAMETERS."};
  {
    // NREAL = 7: error, and the speed-range checks are not made.
    Block b = make_ccmp();
    b.reals = {0.75, 0.2, -2.5, 38.8, 280.0, -500.0, 200.0};
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    EXPECT_EQ(messages(), finding("ERROR", 21, short_error));
  }
  {
    // NREAL = 9: warning; REAL(10) takes 20000 and the block initialises.
    Block b = make_ccmp();
    b.reals.resize(9);
    b.reals[8] = 30000.0;  // above the default upper speed: not checked
    EXPECT_EQ(b.call(KODE_CHECK), 0);
    EXPECT_EQ(messages(), finding("WARNING", 22, short_warning));
    EXPECT_EQ(b.prepare(), 0);
    messages();
  }
  struct Case {
    double low, high;
    std::vector<std::string> msgs;
  };
  const std::vector<Case> cases = {
      {-1.0, 20000.0, finding("ERROR", 24, {"PARAMETER REAL( 9) MUST BE POSITIVE."})},
      {5000.0, 4000.0,
       finding("ERROR", 25, {"PARAMETER REAL(10) MUST BE LARGER THAN REAL( 9)."})},
      {-10.0, -20.0,
       join({finding("ERROR", 24, {"PARAMETER REAL( 9) MUST BE POSITIVE."}),
             finding("ERROR", 25, {"PARAMETER REAL(10) MUST BE LARGER THAN REAL( 9)."})})},
      {0.0, 20000.0, {}},     // zero passes
      {5000.0, 5000.0, {}},   // equal passes
      {kRmiss, kRmiss, {}},   // missing: 1250 and 20000
      {kRmiss, 1000.0,
       finding("ERROR", 25, {"PARAMETER REAL(10) MUST BE LARGER THAN REAL( 9)."})},
  };
  for (const Case& c : cases) {
    Block b = make_ccmp();
    b.reals[8] = c.low;
    b.reals[9] = c.high;
    EXPECT_EQ(b.call(KODE_CHECK), c.msgs.empty() ? 0 : 1) << c.low << " " << c.high;
    EXPECT_EQ(messages(), c.msgs);
  }
}

TEST_F(CcmpCheck, CurveInUseWithoutCoefficients) {
  Block b = make_ccmp();
  b.reals[1] = kRmiss;
  b.reals[5] = kRmiss;
  b.reals[6] = kRmiss;
  EXPECT_EQ(b.call(KODE_CHECK), 1);
  EXPECT_EQ(messages(),
            join({finding("ERROR", 26, {"HEAD CURVE IS ON (INT( 8) = 1) BUT COEFFICIENT REAL( 2) IS MISSING."}),
                  finding("ERROR", 27,
                          {"EFFICIENCY CURVE IS ON (INT( 9) = 1) BUT COEFFICIENT REAL( 6) IS MISSING."}),
                  finding("ERROR", 28,
                          {"SURGE CURVE IS ON (INT(10) = 1) BUT COEFFICIENT REAL( 7) IS MISSING."})}));
  // The same coefficients missing with their curves off: nothing to say.
  Options o;
  o.head = o.eff = o.surge = 0;
  Block off = make_ccmp(o);
  off.reals = {kRmiss, kRmiss, kRmiss, kRmiss, kRmiss, kRmiss, kRmiss, kRmiss, 1250.0, 20000.0};
  EXPECT_EQ(off.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
  // Converted units keep a missing coefficient missing.
  Block conv = make_ccmp();
  conv.ints[3] = 1;
  conv.reals[0] = kRmiss;
  EXPECT_EQ(conv.call(KODE_CHECK), 1);
  EXPECT_EQ(messages(), finding("ERROR", 26, {"HEAD CURVE IS ON (INT( 8) = 1) BUT COEFFICIENT REAL( 1) IS MISSING."}));
}

TEST_F(CcmpCheck, FailedDimensionLeavesCountsUnwritten) {
  Block b = make_ccmp();
  b.ints[0] = 7;
  b.ny = -5;
  b.nf = -6;
  b.nz = -7;
  b.naux1 = 11;
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, -5);
  EXPECT_EQ(b.nf, -6);
  EXPECT_EQ(b.nz, -7);
  messages();
  // A successful dimension request leaves NAUX1..NAUX3 alone.
  Block ok = make_ccmp();
  ok.naux1 = 11;
  ok.naux2 = 12;
  ok.naux3 = 13;
  EXPECT_EQ(ok.call(KODE_DIMEN), 0);
  EXPECT_EQ(ok.naux1, 11);
  EXPECT_EQ(ok.naux2, 12);
  EXPECT_EQ(ok.naux3, 13);
}

TEST_F(CcmpCheck, StreamConnectivity) {
  {
    Block b = make_ccmp();
    b.infin = {"W1", "W2"};
    b.connect_streams();
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    EXPECT_EQ(messages(), finding("ERROR", 32, {"ONLY ONE INLET INFORMATION (WORK) STREAM IS PERMITTED."}));
  }
  {
    Block b = make_ccmp();
    b.matout.clear();
    b.connect_streams();
    EXPECT_EQ(b.dimension(), 1);
    EXPECT_EQ(messages(), finding("ERROR", 34, {"EXACTLY ONE OUTLET MATERIAL STREAM IS REQUIRED."}));
  }
  {
    Block b = make_ccmp();
    b.matin = {"F1", "F2"};
    b.connect_streams();
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    EXPECT_EQ(messages(), finding("ERROR", 33, {"EXACTLY ONE INLET MATERIAL STREAM IS REQUIRED."}));
  }
  {
    Block b = make_ccmp();
    b.infout = {"WOUT"};
    b.connect_streams();
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    EXPECT_EQ(messages(), finding("ERROR", 35, {"NO OUTLET INFORMATION STREAM IS PERMITTED."}));
  }
}

}  // namespace
}  // namespace r3::test::ccmp
