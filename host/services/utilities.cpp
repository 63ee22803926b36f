// String utilities, report units and the naming helpers of the host.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/names.h"
#include "host/units/quantity.h"

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

// Converts from SI to the report units in force: the case's set with its
// per-quantity choices (or the set alone when a caller changed the set), and
// labels the value with the unit's one spelling: eight characters (two
// words), or sixteen (four words) when the last argument is 16.
void ZREP_RCONV1(int32_t* code, const double* value, double* converted, int32_t* label,
                 const int32_t*, const int32_t* label_length) {
  const int words = label_length != nullptr && *label_length == 16 ? 4 : 2;
  const int32_t c = *code < 0 ? -*code : *code;
  const bool keep_label = *code < 0;
  const uom::UnitSet set = static_cast<uom::UnitSet>(run().report_units);
  const uom::ReportUnits& current = uom::current_report_units();
  const uom::ReportUnits units = current.set() == set ? current : uom::ReportUnits(set);
  const uom::Quantity q = uom::quantity_of_type(c);
  if (q == uom::Quantity::Count_) {
    *converted = *value;
    if (!keep_label && label != nullptr) text_to_words("", label, words);
    return;
  }
  *converted = (*value == kRmiss) ? *value : units.from_si(q, *value);
  if (!keep_label && label != nullptr) text_to_words(units.label(q), label, words);
}

}  // extern "C"
