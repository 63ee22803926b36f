// Data manager: work areas, component tables, message gate, error buffer,
// signalled messages and calls through an entry address.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "host/services/names.h"
#include "host/units/units.h"
#include "tests/support/golden_text.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DataManager : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"N2", "H2O", "CH4"}); }
};

TEST_F(DataManager, RealAndIntegerAreasAreDisjointAndAddressableInOnePool) {
  int32_t n = 10, ni = 5, hr = 0, offr = 0, hi = 0, offi = 0, o = 0;
  DMS_ALLOCR(&n, &hr, &offr);
  DMS_ALLOCI(&ni, &hi, &offi);
  ASSERT_TRUE(hr > 0 && hi > 0 && hr != hi);
  for (int i = 0; i < 10; ++i) DMS_PLEX[offr - 1 + i] = 100.0 + i;
  for (int i = 0; i < 5; ++i) DMS_IPLEX[offi - 1 + i] = -7 - i;
  // Writing the integer area leaves the real area intact, and the integer
  // area is the same storage seen through DMS_PLEX.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(DMS_PLEX[offr - 1 + i], 100.0 + i);
  int32_t word;
  std::memcpy(&word, reinterpret_cast<const char*>(DMS_PLEX) + 4 * (offi - 1), 4);
  EXPECT_EQ(word, -7);
  // Locating gives the same offsets, in either unit, for as long as the area lives.
  DMS_LOCATR(&hr, &o);
  EXPECT_EQ(o, offr);
  DMS_LOCATI(&hi, &o);
  EXPECT_EQ(o, offi);
  DMS_LOCATI(&hr, &o);
  EXPECT_EQ(o, 2 * (offr - 1) + 1);
  EXPECT_TRUE(messages().empty());
}

TEST_F(DataManager, FreedRangeIsReusedFirstFitAndNeighboursMerge) {
  const int32_t free0 = r3::host::pool_free();
  int32_t n = 100, big = 200, h1, o1, h2, o2, h3, o3, h4, o4, o = 0;
  DMS_ALLOCR(&n, &h1, &o1);
  DMS_ALLOCR(&n, &h2, &o2);
  DMS_ALLOCR(&n, &h3, &o3);
  EXPECT_EQ(o2, o1 + 100);
  EXPECT_EQ(o3, o2 + 100);
  DMS_FREEBD(&h1);
  EXPECT_EQ(h1, 0);  // the caller's handle is cleared
  DMS_FREEBD(&h2);
  // The two freed neighbours form one range of 200 at the first area's place;
  // handles are never reused; the surviving area did not move.
  DMS_ALLOCR(&big, &h4, &o4);
  EXPECT_EQ(o4, o1);
  EXPECT_GT(h4, h3);
  DMS_LOCATR(&h3, &o);
  EXPECT_EQ(o, o3);
  DMS_FREEBD(&h3);
  DMS_FREEBD(&h4);
  EXPECT_EQ(r3::host::pool_free(), free0);
  EXPECT_EQ(r3::host::pool_areas(), 0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(DataManager, ResetClearsEverythingAnEarlierRunWrote) {
  // Two areas, both written; after a reset the same range handed out again reads zero.
  int32_t n = 1000, m = 2000, h1 = 0, off1 = 0, h2 = 0, off2 = 0, h = 0, off = 0;
  DMS_ALLOCR(&n, &h1, &off1);
  DMS_ALLOCR(&n, &h2, &off2);
  for (int i = 0; i < 2 * n; ++i) DMS_PLEX[off1 - 1 + i] = 1.5;
  reset_host({"N2", "H2O", "CH4"});
  DMS_ALLOCR(&m, &h, &off);
  ASSERT_EQ(off, off1);
  for (int i = 0; i < m; ++i) ASSERT_EQ(DMS_PLEX[off - 1 + i], 0.0) << i;
}

TEST_F(DataManager, ExhaustionAndBadHandlesAreReportedWithoutHarm) {
  int32_t huge = r3::host::kPlexSize, most = 2147483647, neg = -3, n = 4, unknown = 12345;
  int32_t h = -5, o = -5, ha, oa, loc = -1;
  DMS_ALLOCR(&huge, &h, &o);
  EXPECT_TRUE(h == 0 && o == 0);
  DMS_ALLOCI(&most, &h, &o);  // more words than the pool holds, without overflow
  EXPECT_EQ(h, 0);
  DMS_ALLOCI(&neg, &h, &o);
  EXPECT_EQ(h, 0);
  DMS_ALLOCI(&n, &ha, &oa);
  int32_t stale = ha;
  DMS_FREEBD(&ha);
  DMS_FREEBD(&stale);  // already freed
  DMS_FREEBD(&unknown);
  EXPECT_EQ(unknown, 12345);
  DMS_LOCATI(&stale, &loc);
  EXPECT_EQ(loc, 0);
  DMS_FREEBD(nullptr);
  EXPECT_TRUE(matches_golden_text("host/data_manager_refusals", messages()));
}

TEST_F(DataManager, NumericLayerAreasByKind) {
  int32_t real = 1, integer = 2, bad = 3, n = 7, zero = 0, h1, o1, h2, o2, h3 = 9, o3 = 9, hz, oz;
  DMS_ALLOC6(&real, &n, &h1, &o1);
  DMS_ALLOC6(&integer, &n, &h2, &o2);
  DMS_ALLOC6(&bad, &n, &h3, &o3);
  EXPECT_TRUE(h1 > 0 && h2 > 0);
  // 7 reals, then 7 words rounded up to 4 doubles, on a double boundary.
  EXPECT_EQ(o2, 2 * (o1 - 1 + 7) + 1);
  EXPECT_TRUE(h3 == 0 && o3 == 0);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("DMS_ALLOC6: the kind 3")));
  DMS_FREE6(&h1);
  DMS_FREE6(&h2);
  EXPECT_EQ(r3::host::pool_areas(), 0);
  // An empty area is a valid handle with nothing behind it.
  DMS_ALLOC6(&real, &zero, &hz, &oz);
  EXPECT_GT(hz, 0);
  DMS_FREE6(&hz);
  EXPECT_TRUE(messages().empty());
}

TEST_F(DataManager, ComponentTablesAndWaterIndex) {
  // Molecular weights (word 306) and normal boiling points (word 413): component i
  // at DMS_PLEX(offset + i).
  EXPECT_NEAR(DMS_PLEX[DMS_IPOFF1[305] + 2 - 1], 18.015268, 1e-12);
  EXPECT_NEAR(DMS_PLEX[DMS_IPOFF1[305] + 1 - 1], 28.014, 1e-12);
  EXPECT_NEAR(DMS_PLEX[DMS_IPOFF1[412] + 2 - 1], 373.15, 1e-12);
  EXPECT_EQ(DMS_NCOMP[11], 2);
  // Work areas never overlap the tables.
  int32_t n = 1, h, o;
  DMS_ALLOCR(&n, &h, &o);
  EXPECT_GT(o, DMS_IPOFF1[412] + 3);
}

// --- Message gate, error buffer, signalled messages -------------------------

TEST_F(DataManager, MessageGateAnswersYesUnlessLevelIsZero) {
  int32_t name[2], two = 2, one = 1, zero = 0, l0 = 0, l1 = 1;
  r3::host::text_to_words("r3vchk", name, 2);
  auto gate = [&](int32_t* level) {
    return DMS_IRRCHK(name, &two, &one, level, &DMS_GLOBAL[7], &zero, &zero, &two);
  };
  EXPECT_NE(gate(&DMS_GLOBAL[5]), 0);
  EXPECT_EQ(gate(&l0), 0);
  EXPECT_NE(gate(&l1), 0);
}

TEST_F(DataManager, ErrorBufferPrintsRequestedLinesThenIsCleared) {
  r3::hs::errout_line(1, "      R3VALV requires one material inlet stream.");
  r3::hs::errout_line(2, "      This block has   2 connected.");
  int32_t three = 3, big = 1000, neg = -1, one = 1;
  DMS_ERRPRT(&three);  // a blank third line is not printed
  EXPECT_THAT(messages(), ElementsAre("      R3VALV requires one material inlet stream.",
                                      "      This block has   2 connected."));
  DMS_ERRPRT(&three);  // cleared: nothing left
  EXPECT_TRUE(messages().empty());

  r3::hs::errout_line(1, "first");
  r3::hs::errout_line(2, "");
  r3::hs::errout_line(3, "third");
  r3::hs::errout_line(4, "not asked for");
  DMS_ERRPRT(&three);
  EXPECT_THAT(messages(), ElementsAre("first", "", "third"));
  // The unprinted fourth line went with the rest.
  DMS_ERRPRT(&big);
  DMS_ERRPRT(&neg);
  DMS_ERRPRT(nullptr);
  EXPECT_TRUE(messages().empty());
  // A line longer than 80 characters is cut at the buffer width.
  r3::hs::errout_line(1, std::string(90, 'x'));
  DMS_ERRPRT(&one);
  EXPECT_THAT(messages(), ElementsAre(std::string(80, 'x')));
}

TEST_F(DataManager, SignalledMessagesHaveSeverityHeadingsAndAreCounted) {
  int32_t name[2];
  r3::host::text_to_words("I3KCHK", name, 2);
  char lines[2 * 74];
  std::memset(lines, ' ', sizeof lines);
  std::memcpy(lines, "Head count is 0.", 16);
  std::memcpy(lines + 74, "It must be at least 1.", 22);
  int32_t n2 = 2, n1 = 1, w = 74, no = 21;
  U3ERROR_SIG_ERROR(name, &no, &n2, lines, &w);
  U3ERROR_SIG_WARNING(name, &no, &n1, lines, &w);
  U3ERROR_SIG_APINFO(name, &no, &n1, lines + 74, &w);
  U3ERROR_SIG_WARNING(name, &no, &n1, nullptr, &w);
  EXPECT_TRUE(matches_golden_text("host/data_manager_signalled", messages()));
  const r3::host::MessageCounts c = r3::host::message_counts();
  EXPECT_THAT((std::vector<int>{c.errors, c.warnings, c.infos}), ElementsAre(1, 2, 1));
  reset_host({"H2O"});
  EXPECT_EQ(r3::host::message_counts().errors, 0);
}

// --- Calls through an entry address ------------------------------------------

std::vector<void*> g_seen;

extern "C" void R3_STDCALL user_model_80(R3_DOCALL_PARAMS) {
  g_seen = {R3_DOCALL_ARGS};
  *static_cast<int32_t*>(a98) = 0;
}

// DMS_DOCALL with the 80 addresses of p.
void docall(const intptr_t* entry, const std::vector<void*>& p) {
#define R3_P8I(b) p[b], p[b + 1], p[b + 2], p[b + 3], p[b + 4], p[b + 5], p[b + 6], p[b + 7]
  DMS_DOCALL(entry, R3_P8I(0), R3_P8I(8), R3_P8I(16), R3_P8I(24), R3_P8I(32), R3_P8I(40),
             R3_P8I(48), R3_P8I(56), R3_P8I(64), R3_P8I(72));
#undef R3_P8I
}

TEST_F(DataManager, DocallHandsOnAllEightyArgumentsInOrder) {
  std::vector<int32_t> cells(80, 0);
  std::vector<void*> p(80);
  for (int i = 0; i < 80; ++i) p[static_cast<size_t>(i)] = &cells[static_cast<size_t>(i)];
  cells[79] = 99;
  const intptr_t entry = reinterpret_cast<intptr_t>(&user_model_80), none = 0;
  docall(&entry, p);
  EXPECT_EQ(g_seen, p);
  EXPECT_EQ(cells[79], 0);
  // Without an entry address nothing is called and ISTAT (the last argument) is 1.
  g_seen.clear();
  docall(&none, p);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(cells[79], 1);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("DMS_DOCALL: no entry address")));
}

}  // namespace
}  // namespace r3::test
