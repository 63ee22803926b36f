// String utilities, report units and the naming helpers of the host.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/names.h"

namespace r3::host {

std::string words_to_text(const int32_t* words, int nwords) {
  std::string s(4 * static_cast<size_t>(std::max(nwords, 0)), ' ');
  if (words != nullptr && nwords > 0) std::memcpy(s.data(), words, s.size());
  for (char& c : s) {
    if (c == '\0') c = ' ';
  }
  return s;
}

void text_to_words(std::string_view text, int32_t* words, int nwords) {
  std::string s(4 * static_cast<size_t>(std::max(nwords, 0)), ' ');
  std::memcpy(s.data(), text.data(), std::min(text.size(), s.size()));
  std::memcpy(words, s.data(), s.size());
}

std::string trim(std::string_view text) {
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  const size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

void put_text(std::string_view text, char* slot, size_t size) {
  if (slot == nullptr) return;
  const size_t n = std::min(text.size(), size);
  std::memcpy(slot, text.data(), n);
  std::memset(slot + n, ' ', size - n);
}

void write_name(const int32_t* idblk, std::string_view text, int32_t lname, char* slot) {
  std::string id = words_to_text(idblk, 2);
  id.erase(std::remove(id.begin(), id.end(), ' '), id.end());
  std::string t(text);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  put_text(id + "." + t, slot, 4 * static_cast<size_t>(std::max(lname, 0)));
}

std::string component_id(int32_t index) {
  if (index < 1 || index > run().ncomp()) return "?";
  return run().components[static_cast<size_t>(index - 1)]->id;
}

}  // namespace r3::host

using namespace r3::host;

namespace {

struct UnitRow {
  int32_t code;
  const char* label[3];  // SI, MET, ENG
  double factor[3];      // report value = SI value * factor + offset
  double offset[3];
};

// Report units per physical-type code.
constexpr UnitRow kUnits[] = {
    {1, {"SQM", "SQM", "SQFT"}, {1.0, 1.0, 10.763910417}, {0, 0, 0}},
    {10, {"KG/SEC", "KG/HR", "LB/HR"}, {1.0, 3600.0, 7936.6414387}, {0, 0, 0}},
    {11, {"KMOL/SEC", "KMOL/HR", "LBMOL/HR"}, {1.0, 3600.0, 7936.6414387}, {0, 0, 0}},
    {12, {"CUM/SEC", "CUM/HR", "CUFT/HR"}, {1.0, 3600.0, 127132.80019}, {0, 0, 0}},
    {13, {"WATT", "KW", "BTU/HR"}, {1.0, 1.0e-3, 3.4121416331}, {0, 0, 0}},
    {14, {"J/KMOL", "KJ/KMOL", "BTU/LBML"}, {1.0, 1.0e-3, 4.2992261e-4}, {0, 0, 0}},
    {15, {"J/KMOL-K", "KJ/KMOLK", "BTU/LBMR"}, {1.0, 1.0e-3, 2.3884590e-4}, {0, 0, 0}},
    {16, {"W/SQM-K", "KW/SQM-K", "BTU/HFR"}, {1.0, 1.0e-3, 0.17611018}, {0, 0, 0}},
    {17, {"METER", "METER", "FT"}, {1.0, 1.0, 3.2808398950}, {0, 0, 0}},
    {19, {"WATT", "KW", "HP"}, {1.0, 1.0e-3, 1.3410220896e-3}, {0, 0, 0}},
    {20, {"N/SQM", "BAR", "PSI"}, {1.0, 1.0e-5, 1.4503773773e-4}, {0, 0, 0}},
    {22, {"K", "C", "F"}, {1.0, 1.0, 1.8}, {0, -273.15, -459.67}},
    {31, {"K", "K", "R"}, {1.0, 1.0, 1.8}, {0, 0, 0}},
    {28, {"REV/SEC", "RPM", "RPM"}, {1.0, 60.0, 60.0}, {0, 0, 0}},
    {33, {"J/KG", "KJ/KG", "FTLBF/LB"}, {1.0, 1.0e-3, 0.33455256555}, {0, 0, 0}},
    {38, {"KG/CUM", "KG/CUM", "LB/CUFT"}, {1.0, 1.0, 0.062427960576}, {0, 0, 0}},
    {43, {"CUM/KMOL", "CUM/KMOL", "CUFT/LBM"}, {1.0, 1.0, 16.018463374}, {0, 0, 0}},
    {44, {"", "", ""}, {1.0, 1.0, 1.0}, {0, 0, 0}},
    {75, {"N/SQM", "BAR", "PSI"}, {1.0, 1.0e-5, 1.4503773773e-4}, {0, 0, 0}},
};

}  // namespace

extern "C" {

int32_t IU_REQ(const double* a, const double* b) {
  // Equal to within the last few bits: the missing marker compares equal to
  // itself after a round trip through single precision-free arithmetic.
  if (*a == *b) return 1;
  const double scale = std::max(std::fabs(*a), std::fabs(*b));
  return std::fabs(*a - *b) <= 4.0 * 2.220446049250313e-16 * scale ? 1 : 0;
}

void IU_I42STR(const int32_t* words, const int32_t* nwords, char* text, const int32_t* length) {
  put_text(words_to_text(words, *nwords), text, static_cast<size_t>(std::max(*length, 0)));
}

void IU_STR2I4(const char* text, const int32_t* length, int32_t* words, const int32_t* nwords) {
  text_to_words(std::string_view(text, static_cast<size_t>(std::max(*length, 0))), words,
                *nwords);
}

void IU_STRCAT(char* text, const int32_t* length, const char* piece, const int32_t* plen) {
  const size_t n = static_cast<size_t>(std::max(*length, 0));
  size_t end = n;
  while (end > 0 && text[end - 1] == ' ') --end;
  const size_t take = std::min(static_cast<size_t>(std::max(*plen, 0)), n - end);
  std::memcpy(text + end, piece, take);
}

void U3PKCR(const int32_t* length, char* text) {
  const size_t n = static_cast<size_t>(std::max(*length, 0));
  size_t w = 0;
  for (size_t r = 0; r < n; ++r) {
    if (text[r] != ' ') text[w++] = text[r];
  }
  std::memset(text + w, ' ', n - w);
}

void ZREP_RCONV1(int32_t* code, const double* value, double* converted, int32_t* label,
                 const int32_t*, const int32_t*) {
  const int set = static_cast<int>(run().report_units);
  const int32_t c = *code < 0 ? -*code : *code;
  const bool keep_label = *code < 0;
  for (const UnitRow& row : kUnits) {
    if (row.code != c) continue;
    *converted = (*value == kRmiss) ? *value : *value * row.factor[set] + row.offset[set];
    if (!keep_label && label != nullptr) text_to_words(row.label[set], label, 2);
    return;
  }
  *converted = *value;
  if (!keep_label && label != nullptr) text_to_words("", label, 2);
}

}  // extern "C"
