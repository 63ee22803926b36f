// Host services: balance scales, stream mapping, names from stream
// identifiers, the block tables, report-unit conversion and the string
// utilities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/host_tables.h"
#include "host/services/names.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Descriptors of a block with the given stream counts (identifiers M1.., Q1..,
// P1.., R1..), built by the host.
struct Streams {
  int32_t nmi, nii, nmo, nio;
  int32_t dmi[16], dii[16], dmo[16], dio[16];
  int32_t ny = 0;
  int32_t nc = 0;
  Streams(int32_t a, int32_t b, int32_t c, int32_t d) : nmi(a), nii(b), nmo(c), nio(d) {
    nc = host::run().ncomp();
    std::vector<int32_t> idx(static_cast<size_t>(nc));
    for (int i = 0; i < nc; ++i) idx[static_cast<size_t>(i)] = i + 1;
    auto ids = [](const char* p, int n) {
      std::vector<int32_t> w(2 * static_cast<size_t>(std::max(n, 1)));
      for (int i = 0; i < n; ++i) {
        std::string name = p;  // appended: GCC 12 -Wrestrict false positive on p + string
        host::text_to_words(name += std::to_string(i + 1), w.data() + 2 * i, 2);
      }
      return w;
    };
    auto wmi = ids("M", a), wii = ids("Q", b), wmo = ids("P", c), wio = ids("R", d);
    int32_t nsstrm = 1, isstyp = 1, istat = 0;
    U3SDESC1(&nmi, &nii, &nmo, &nio, &nsstrm, &isstyp, &nc, idx.data(), wmi.data(), wii.data(),
             wmo.data(), wio.data(), &istat, dmi, dii, dmo, dio);
    EXPECT_EQ(istat, 0);
    U3SNY(&nmi, &nii, &nmo, &nio, dmi, dii, dmo, dio, &ny);
  }
};

int32_t block_id[2];

// The rows of a tab-separated file of tests/host, without its '#' lines.
std::vector<std::vector<std::string>> rows(const std::string& name) {
  std::ifstream in(std::string(R3_SOURCE_DIR) + "/tests/host/" + name);
  std::vector<std::vector<std::string>> out;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    auto& row = out.emplace_back();
    for (std::string f; std::getline(fields, f, '\t');) row.push_back(f == "-" ? "" : f);
  }
  EXPECT_FALSE(out.empty()) << name;
  return out;
}

class Services : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_host({"N2", "H2O"});
    host::text_to_words("B1", block_id, 2);
  }
};

// Scales and selectors (counts, names, patterns, residuals and Jacobians: the
// host blocks of test_blocks.cpp, by hand and through the conformance harness).
TEST_F(Services, OnlyMissingScalesAreWrittenAndSelectorsChooseTheRows) {
  const Streams s(2, 1, 1, 1);
  std::vector<double> fscl = {7.0, kRmiss};
  int32_t m = 0;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  EXPECT_EQ(fscl[0], 7.0);
  fscl = {kRmiss, 3.0};
  m = 0;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  m = 1;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  EXPECT_THAT(fscl, ElementsAre(1.0e8, 3.0));
  // Heat streams alone give no stream equations (nothing to balance).
  const Streams heat(0, 1, 0, 1);
  int32_t nf = 0, nz = 0;
  U3SNF(&heat.nmi, &heat.nii, &heat.nmo, &heat.nio, heat.dmi, heat.dii, heat.dmo, heat.dio, &nf);
  U3SNNZ(&heat.nmi, &heat.nii, &heat.nmo, &heat.nio, heat.dmi, heat.dii, heat.dmo, heat.dio, &nz);
  EXPECT_EQ(nf + nz, 0);
  // Material balances with selector 0: the component balances only.
  const int32_t two = 2, three = 3, nc = 2, sel = 0;
  nf = nz = 0;
  U3_MBAL_NF(&nc, &sel, &nf);
  U3_MBAL_NZ(&two, &three, &nc, &sel, &nz);
  EXPECT_EQ(nf, 2);
  EXPECT_EQ(nz, 10);
}

TEST_F(Services, StreamMappingFillsValuesDefaultsTypesAndFixesInletsInSequentialMode) {
  const Streams s(1, 0, 1, 0);
  // N2, H2O, total flow, T, P, mass enthalpy, ..., MW; the outlet without a pressure.
  const std::vector<double> in = {0.3,    0.7,    1.0,    400.0,  2.0e5, -1.0e7,
                                  kRmiss, kRmiss, kRmiss, kRmiss, 20.0};
  std::vector<double> out = in, y(10, kRmiss), lb = y, ub = y, scl = y, sb = y;
  out[4] = kRmiss;
  y[9] = 1.5e5;  // outlet pressure already in Y
  lb[0] = -1.0;  // a user bound
  std::vector<int32_t> attr(10, 0);
  auto map = [&](int32_t imode, int32_t lstrm, std::vector<double>& yy, bool all) {
    const int32_t nsstrm = 1, isstyp = 1;
    U3SPTX(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nsstrm, nullptr, &isstyp,
           &lstrm, in.data(), nullptr, out.data(), nullptr, &imode, yy.data(),
           all ? lb.data() : nullptr, all ? ub.data() : nullptr, all ? scl.data() : nullptr,
           all ? sb.data() : nullptr, all ? attr.data() : nullptr);
  };
  map(0, 11, y, true);
  EXPECT_THAT(y, ElementsAre(1.0, 0.3, 0.7, -2.0e8, 2.0e5, 1.0, 0.3, 0.7, -2.0e8, 1.5e5));
  EXPECT_THAT((std::vector<double>{lb[0], lb[5], lb[4], ub[3], scl[4], sb[1]}),
              ElementsAre(-1.0, 0.0, 1.0 /* 1e-6 * pressure scale */, 1.0e11, 1.0e6, 10.0));
  for (int j = 0; j < 10; ++j) {
    EXPECT_EQ(U3VGPT(&attr[static_cast<size_t>(j)]), j % 5 <= 2 ? 11 : (j % 5 == 3 ? 14 : 20)) << j;
    EXPECT_EQ(U3VFXD(&attr[static_cast<size_t>(j)]), j < 5 ? 1 : 0) << j;
  }
  // Simultaneous mode fixes nothing.
  attr.assign(10, 0);
  map(1, 11, y, true);
  for (int32_t a : attr) EXPECT_EQ(U3VFXD(&a), 0);
  // A stream vector too short for the run is refused, with nothing written.
  std::vector<double> y2(10, kRmiss);
  map(1, 5, y2, false);
  EXPECT_THAT(y2, ::testing::Each(kRmiss));
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("U3SPTX: the stream vector length 5")));
}

TEST_F(Services, NamesFromStreamIdentifierAndCode) {
  int32_t sid[2], lname = 8;
  host::text_to_words("S7", sid, 2);
  for (const auto& r : rows("stream_names.tsv")) {
    std::vector<char> slot(32, '#');
    const int32_t code = std::stoi(r.at(1));
    (r[0] == "U3SVID" ? U3SVID : U3SEID)(block_id, sid, &code, &lname, slot.data());
    EXPECT_EQ(host::trim({slot.data(), slot.size()}), r.at(2)) << r[0] << " " << code;
  }
  EXPECT_THAT(
      messages(),
      ElementsAre(" U3SVID: code 3 for stream S7 is neither a component index nor -1 to -5.",
                  " U3SEID: code -6 for stream S7 is neither a component index nor -1 to -5."));
  // A slot is never written beyond 4*LNAME bytes.
  std::vector<char> slot(12, '#');
  int32_t small = 2, code = -1;
  U3SVID(block_id, sid, &code, &small, slot.data());
  EXPECT_EQ(std::string(slot.data(), 12), "S7.TOTAL####");
}

TEST_F(Services, BlockIndexNonZeroLimitsAndOutletPhases) {
  int32_t b2[2];
  host::text_to_words("B2", b2, 2);
  EXPECT_EQ(IU_FIABLK(block_id), 1);  // the first block the host meets
  EXPECT_EQ(host::register_block("B2"), 2);
  EXPECT_EQ(IU_FIABLK(b2), 2);
  EXPECT_EQ(IU_FIABLK(block_id), 1);
  auto maxnz = [](int32_t blk) {
    int32_t v = -1;
    U3BLK_INQ_MAXNZ(&blk, &v);
    return v;
  };
  int32_t i1 = 1, limit = 1200, bad = -4;
  EXPECT_EQ(maxnz(1), 0);  // no limit yet
  U3BLK_SET_MAXNZ(&i1, &limit);
  U3BLK_SET_MAXNZ(&i1, &bad);  // refused
  EXPECT_EQ(maxnz(1), 1200);
  EXPECT_EQ(maxnz(2), 0);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("U3BLK_SET_MAXNZ")));
  const Streams s(1, 0, 2, 0);
  int32_t k2 = 2, liquid = 2, k3 = 3;
  U3_MSTRM_SET_KPH(s.dmo, &k2, &liquid);
  EXPECT_EQ(host::recorded_phase(2), 2);
  EXPECT_EQ(host::recorded_phase(1), 0);
  U3_MSTRM_SET_KPH(s.dmo, &k3, &liquid);  // no third outlet
  U3_MSTRM_SET_KPH(s.dmi, &k2, &liquid);  // not an outlet descriptor
  EXPECT_EQ(messages().size(), 2u);
  reset_host({"H2O"});
  EXPECT_EQ(host::recorded_phase(2), 0);
  EXPECT_EQ(IU_FIABLK(b2), 1);
}

// Values and labels in the report units of each set (the factors themselves:
// tests/units; every model's report in MET and ENG: the golden reports).
TEST_F(Services, ReportUnitConversionPerUnitSet) {
  const std::map<std::string, host::ReportUnits> sets = {{"SI", host::ReportUnits::SI},
                                                         {"MET", host::ReportUnits::MET},
                                                         {"ENG", host::ReportUnits::ENG}};
  for (const auto& r : rows("report_units.tsv")) {
    host::run().report_units = sets.at(r.at(0));
    auto real = [](const std::string& v) { return v == "RMISS" ? kRmiss : std::stod(v); };
    int32_t label[4], code = std::stoi(r.at(1)), c7 = 7, length = std::stoi(r.at(6));
    host::text_to_words(r.at(4), label, 4);
    const double value = real(r.at(2)), expected = real(r.at(3));
    double out = -1.0;
    ZREP_RCONV1(&code, &value, &out, label, &c7, &length);
    EXPECT_NEAR(out, expected, 1e-12 * std::fabs(expected)) << r[1] << " " << r[5];
    EXPECT_EQ(host::trim(host::words_to_text(label, length == 16 ? 4 : 2)), r.at(5)) << r[1];
  }
}

TEST_F(Services, StringUtilitiesStayWithinTheirLengths) {
  // Appending after the last non-blank, cut at the end of the text; no room: unchanged.
  char text[13] = "PUMP_1      ", full[5] = "ABCD";
  const int32_t len = 12, four = 4, two = 2, plen4 = 4, plen6 = 6;
  IU_STRCAT(text, &len, "_IN ", &plen4);
  EXPECT_EQ(std::string(text, 12), "PUMP_1_IN   ");
  IU_STRCAT(text, &len, "_DISCH", &plen6);
  EXPECT_EQ(std::string(text, 12), "PUMP_1_IN_DI");
  IU_STRCAT(full, &four, "XY", &two);
  EXPECT_EQ(std::string(full, 4), "ABCD");
  // Blanks closed up in place; a zero length changes nothing.
  char units[11] = " KW /  HR ";
  const int32_t ten = 10, zero = 0;
  U3PKCR(&ten, units);
  U3PKCR(&zero, units);
  EXPECT_EQ(std::string(units, 10), "KW/HR     ");
  // Words and text round trip blank padded; shorter text than words: padded;
  // a shorter length than the words: cut.
  int32_t words[3];
  char out[14];
  const int32_t n3 = 3, len9 = 9, len3 = 3, t14 = 14, t5 = 5;
  IU_STR2I4("ENTH_OUT ", &len9, words, &n3);
  IU_I42STR(words, &n3, out, &t14);
  EXPECT_EQ(std::string(out, 14), "ENTH_OUT      ");
  IU_STR2I4("ABCDEF", &len3, words, &n3);
  std::memset(out, '#', sizeof out);
  IU_I42STR(words, &n3, out, &t5);
  EXPECT_EQ(std::string(out, 6), "ABC  #");
}

}  // namespace
}  // namespace r3::test
