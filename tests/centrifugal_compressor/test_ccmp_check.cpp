// The centrifugal compressor's input check: every finding with its message
// number, severity and lines (golden text centrifugal_compressor/check).
#include <gtest/gtest.h>

#include "host/data_manager/data_manager.h"
#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

// The cases are the headings of the golden text, changes to the example
// block: "int K V ..." sets INT(K), "real K V ..." REAL(K); "nint", "nreal"
// cut the arrays to that length; "ints", "reals" replace them; "matin",
// "matout", "infin", "infout" connect that many streams.
TEST_F(CcmpTest, CheckMessages) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    host::Block b = make_ccmp();
    const auto ints = c.ints("int");
    const auto reals = c.reals("real");
    for (size_t k = 0; k + 1 < ints.size(); k += 2) b.ints.at(ints[k] - 4) = ints[k + 1];
    for (size_t k = 0; k + 1 < reals.size(); k += 2) b.reals.at(reals[k] - 1) = reals[k + 1];
    if (c.has("nint")) b.ints.resize(c.ints("nint").at(0) - 3);
    if (c.has("nreal")) b.reals.resize(c.ints("nreal").at(0));
    if (c.has("ints")) b.ints = c.ints("ints");
    if (c.has("reals")) b.reals = c.reals("reals");
    const std::pair<const char*, std::vector<std::string>*> lists[] = {
        {"matin", &b.matin}, {"matout", &b.matout}, {"infin", &b.infin}, {"infout", &b.infout}};
    for (const auto& [key, ids] : lists) {
      if (c.has(key)) ids->assign(c.ints(key).at(0), "S"), b.connect_streams();
    }
    const auto infos = host::message_counts().infos;
    const int32_t check = b.call(KODE_CHECK);
    t.add("istat " + std::to_string(check) + ", informations " +
          std::to_string(host::message_counts().infos - infos));
    const auto said = messages();
    t.add(said);
    // The dimension request says the same; refusing, it leaves the counts
    // unwritten, accepting, the auxiliary sizes; the defaults taken, the
    // block initialises.
    b.ny = -5;
    b.naux1 = 11;
    const int32_t st = b.call(KODE_DIMEN);
    EXPECT_EQ(messages(), said) << heading;
    EXPECT_EQ(b.naux1, 11) << heading;
    if (st != 0) {
      EXPECT_EQ(b.ny, -5) << heading;
    } else {
      EXPECT_EQ(b.prepare(), 0) << heading << ::testing::PrintToString(messages());
      messages();
    }
  };
  EXPECT_TRUE(run_golden_cases("centrifugal_compressor/check", one_case));
}

}  // namespace
}  // namespace r3::test::ccmp
