// Report-unit conversion and the string utilities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/names.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

class Utilities : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}); }
};

struct Converted {
  double value;
  std::string label;
};

Converted convert(int32_t code, double v, const char* label_in = "") {
  int32_t label[2];
  host::text_to_words(label_in, label, 2);
  const int32_t c7 = 7, c6 = 6;
  double out = -1.0;
  ZREP_RCONV1(&code, &v, &out, label, &c7, &c6);
  return {out, host::trim(host::words_to_text(label, 2))};
}

TEST_F(Utilities, ReportUnitConversionPerUnitSet) {
  // SI: values unchanged, SI labels.
  EXPECT_EQ(convert(20, 2.0e5).value, 2.0e5);
  EXPECT_EQ(convert(20, 2.0e5).label, "Pa");
  EXPECT_EQ(convert(22, 300.0).label, "K");
  host::run().report_units = host::ReportUnits::MET;
  EXPECT_DOUBLE_EQ(convert(20, 2.0e5).value, 2.0);
  EXPECT_EQ(convert(20, 2.0e5).label, "bar");
  EXPECT_DOUBLE_EQ(convert(22, 373.15).value, 100.0);
  EXPECT_EQ(convert(22, 373.15).label, "degC");
  EXPECT_DOUBLE_EQ(convert(11, 1.0).value, 3600.0);
  EXPECT_EQ(convert(11, 1.0).label, "kmol/h");
  host::run().report_units = host::ReportUnits::ENG;
  EXPECT_NEAR(convert(22, 373.15).value, 212.0, 1e-9);
  EXPECT_EQ(convert(22, 373.15).label, "degF");
  EXPECT_NEAR(convert(20, 101325.0).value, 14.695949, 1e-6);
  EXPECT_EQ(convert(20, 101325.0).label, "psi");
  EXPECT_NEAR(convert(19, 745.69987).value, 1.0, 1e-8);
  EXPECT_EQ(convert(19, 745.69987).label, "hp");
  // A caller with room for 16 characters gets a long label whole.
  int32_t code = 16, c7 = 7, c16 = 16, label16[4];
  double u = 5.678263341113488, out16 = 0.0;
  ZREP_RCONV1(&code, &u, &out16, label16, &c7, &c16);
  EXPECT_NEAR(out16, 1.0, 1e-12);
  EXPECT_EQ(host::trim(host::words_to_text(label16, 4)), "Btu/h/ft2/R");
  // A negative code converts with its magnitude and keeps the caller's label.
  const Converted keep = convert(-19, 745.69987, "MYLABEL");
  EXPECT_NEAR(keep.value, 1.0, 1e-8);
  EXPECT_EQ(keep.label, "MYLABEL");
  // The missing marker passes through; an unknown code leaves the value and
  // blanks the label.
  EXPECT_EQ(convert(20, host::kRmiss).value, host::kRmiss);
  const Converted unknown = convert(999, 5.0, "OLD");
  EXPECT_EQ(unknown.value, 5.0);
  EXPECT_EQ(unknown.label, "");
}

TEST_F(Utilities, AppendAfterLastNonBlankWithinTheLength) {
  char text[12];
  std::memcpy(text, "PUMP_1      ", 12);
  const int32_t len = 12, plen = 4;
  IU_STRCAT(text, &len, "_IN ", &plen);
  EXPECT_EQ(std::string(text, 12), "PUMP_1_IN   ");
  const int32_t plen6 = 6;
  IU_STRCAT(text, &len, "_DISCH", &plen6);  // cut at the end of the text
  EXPECT_EQ(std::string(text, 12), "PUMP_1_IN_DI");
  char full[4];
  std::memcpy(full, "ABCD", 4);
  const int32_t four = 4;
  const int32_t two = 2;
  IU_STRCAT(full, &four, "XY", &two);  // no room: unchanged
  EXPECT_EQ(std::string(full, 4), "ABCD");
}

TEST_F(Utilities, CloseUpBlanksInPlace) {
  char text[10];
  std::memcpy(text, " KW /  HR ", 10);
  const int32_t len = 10;
  U3PKCR(&len, text);
  EXPECT_EQ(std::string(text, 10), "KW/HR     ");
  const int32_t zero = 0;
  U3PKCR(&zero, text);
  EXPECT_EQ(std::string(text, 10), "KW/HR     ");
}

TEST_F(Utilities, WordsAndTextRoundTripBlankPadded) {
  int32_t words[3];
  const int32_t n3 = 3, len = 9;
  IU_STR2I4("ENTH_OUT ", &len, words, &n3);
  char text[14];
  std::memset(text, '#', sizeof text);
  const int32_t tlen = 14;
  IU_I42STR(words, &n3, text, &tlen);
  EXPECT_EQ(std::string(text, 14), "ENTH_OUT      ");
  // Shorter text than words: padded; shorter length than words: cut.
  const int32_t len3 = 3;
  IU_STR2I4("ABCDEF", &len3, words, &n3);
  const int32_t t5 = 5;
  std::memset(text, '#', sizeof text);
  IU_I42STR(words, &n3, text, &t5);
  EXPECT_EQ(std::string(text, 6), "ABC  #");
}

}  // namespace
}  // namespace r3::test
