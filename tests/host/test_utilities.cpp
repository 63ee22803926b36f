// Report-unit conversion and the string utilities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
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

// Values and labels in the report units of each set (the factors themselves:
// tests/units; every model's report in MET and ENG: the golden reports).
TEST_F(Utilities, ReportUnitConversionPerUnitSet) {
  const struct {
    host::ReportUnits set;
    int32_t code;  // negative: convert with the magnitude, keep the caller's label
    double value, expected;
    const char *label_in, *label;
    int32_t label_length = 6;
  } cases[] = {
      {host::ReportUnits::SI, 20, 2.0e5, 2.0e5, "", "Pa"},
      {host::ReportUnits::SI, 22, 300.0, 300.0, "", "K"},
      {host::ReportUnits::MET, 20, 2.0e5, 2.0, "", "bar"},
      {host::ReportUnits::MET, 22, 373.15, 100.0, "", "degC"},
      {host::ReportUnits::MET, 11, 1.0, 3600.0, "", "kmol/h"},
      {host::ReportUnits::ENG, 22, 373.15, 212.0, "", "degF"},
      {host::ReportUnits::ENG, 20, 101325.0, 14.695948775513449, "", "psi"},
      {host::ReportUnits::ENG, 19, 745.69987158227022, 1.0, "", "hp"},
      {host::ReportUnits::ENG, 16, 5.678263341113488, 1.0, "", "Btu/h/ft2/R", 16},  // room for 16
      {host::ReportUnits::ENG, -19, 745.69987158227022, 1.0, "MYLABEL", "MYLABEL"},
      {host::ReportUnits::ENG, 20, host::kRmiss, host::kRmiss, "", "psi"},  // the missing marker passes
      {host::ReportUnits::ENG, 999, 5.0, 5.0, "OLD", ""},  // unknown: value kept, label blanked
  };
  for (const auto& c : cases) {
    host::run().report_units = c.set;
    int32_t label[4];
    host::text_to_words(c.label_in, label, 4);
    int32_t code = c.code, c7 = 7;
    double out = -1.0;
    ZREP_RCONV1(&code, &c.value, &out, label, &c7, &c.label_length);
    EXPECT_NEAR(out, c.expected, 1e-12 * std::fabs(c.expected)) << c.code << " " << c.label;
    EXPECT_EQ(host::trim(host::words_to_text(label, c.label_length == 16 ? 4 : 2)), c.label) << c.code;
  }
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
