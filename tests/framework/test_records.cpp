#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/records.h"

namespace r3::rec {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Each record as built, against the text a Fortran WRITE with the same
// descriptors prints.
TEST(Record, DescriptorsAndListDirectedItems) {
  ListDirected reused;
  reused.add(1);
  reused.clear();
  const std::pair<std::string, std::string> cases[] = {
      // Integers.
      {Record().i(42, 5).i(-7, 3).i(0, 1).str(), "   42 -70"},
      {Record().i(-2147483647, 0).i(0, 0).str(), "-21474836470"},
      {Record().i(1000, 3).i(-1, 1).str(), "****"},
      {Record().i(std::numeric_limits<long long>::min(), 20).str(), "-9223372036854775808"},
      // Fixed: the exact value rounded half to even; a leading zero only
      // where there is room; negative zero keeps its sign; scale factor 1.
      {Record().f(2.5, 4, 0).f(3.5, 4, 0).f(0.125, 6, 2).str(), "  2.  4.  0.12"},
      {Record().f(0.9999995, 10, 3).f(123.456, 8, 2).str(), "     1.000  123.46"},
      {Record().f(8314.4, 0, 1).f(0.5, 0, 3).f(0.4, 0, 0).str(), "8314.4.5000."},
      {Record().f(0.5, 4, 2).f(0.5, 3, 2).f(0.5, 2, 1).str(), "0.50.50.5"},
      {Record().f(-0.5, 3, 1).f(-0.5, 2, 1).f(0.4, 1, 0).str(), "-.5***"},
      {Record().f(-0.0, 6, 2).f(-0.0004, 7, 3).e(-0.0, 10, 3).str(), " -0.00 -0.000-0.000E+00"},
      {Record().f1p(1.0, 8, 3).f1p(0.05, 0, 2).f1p(-0.06, 0, 0).str(), "  10.000.50-1."},
      // Exponent forms.
      {Record().e(1234.5, 11, 4).e1p(1234.5, 11, 4).str(), " 0.1234E+04 1.2345E+03"},
      {Record().e(1.0, 8, 3).e(-1.0, 9, 3).e(1.0, 7, 3).str(), ".100E+01-.100E+01*******"},
      {Record().e(1e100, 10, 3).e1p(1e-310, 11, 4).str(), " 0.100+101 1.0000-310"},
      {Record().e1p(2.5, 6, 0).e(0.99995, 10, 4).str(), "2.E+000.1000E+01"},
      // General: F or E by the rounded magnitude. 9999.5 would round to
      // 10000, past four significant digits: E form, which with the scale
      // factor shows five.
      {Record().g1p(0.5, 12, 4).g1p(123.456, 12, 4).str(), "  0.5000       123.5    "},
      {Record().g1p(0.05, 12, 4).g1p(1e35, 12, 4).str(), "  5.0000E-02  1.0000E+35"},
      {Record().g1p(9999.4999, 11, 4).g1p(9999.5, 11, 4).str(), "  9999.     9.9995E+03"},
      {Record().g1p(0.099995, 11, 4).g1p(0.0999949, 11, 4).str(), " 0.1000     9.9995E-02"},
      {Record().g1p(0.0, 10, 3).g1p(-2.5, 10, 0).str(), "  0.00       -2.E+00"},
      {Record().g1p(0.5, 5, 1).g1p(0.5, 6, 1).str(), "*****.5    "},
      // Values that are not finite.
      {Record().f(kNaN, 6, 2).f(-kNaN, 3, 0).f(kNaN, 2, 0).str(), "   NaNNaN**"},
      {Record().f(kInf, 10, 3).e(-kInf, 8, 1).e1p(kInf, 4, 1).str(), "  Infinity    -Inf Inf"},
      {Record().g1p(-kInf, 9, 2).f(-kInf, 3, 0).f(-kInf, 0, 0).str(), "-Infinity***-Inf"},
      // Characters and positioning.
      {Record().a("abc", 5).a("abcdef", 3).a("xy").x(2).text("|").str(), "  abcabcxy  |"},
      {Record().a("abc", 0).a("abc", -4).x(-3).text("").str(), ""},
      // Bad descriptors print asterisks and never crash.
      {Record().f(1.0, -3, 1).str(), "*"},
      {Record().i(5, -1).f(1.0, 5, -2).str(), "******"},
      {Record().e(1.0, 10, 0).e(1.0, 0, 3).g1p(1.0, 0, 3).str(), "************"},
      {Record().f(1e300, 10, 2).f(1.0, 4, 3).str(), "**************"},
      {Record().f(1.0, 2'000'000'000, 2'000'000'000).str(), std::string(kMaxWidth, '*')},
      // List-directed: number widths and separators; character items join
      // without a separator.
      {ListDirected().str(), ""},
      {ListDirected().add(1).add(-2147483647).str(), "           1 -2147483647"},
      {ListDirected().add(2.5).str(), "   2.5000000000000000     "},
      {ListDirected().add(1e35).add(0.1).str(), "   9.9999999999999997E+034  0.10000000000000001     "},
      {ListDirected().add(2.5f).add(1e35f).str(), "   2.50000000       1.00000004E+35"},
      {ListDirected().add(kNaN).add(-std::numeric_limits<float>::infinity()).str(),
       std::string(23, ' ') + "NaN" + std::string(8, ' ') + "-Infinity"},
      {ListDirected().add("abc").add("def").str(), " abcdef"},
      {ListDirected().add("n=").add(5).add("kg").str(), " n=           5 kg"},
      {ListDirected().add("").add(1).str(), "            1"},
      {ListDirected().add(static_cast<const char*>(nullptr)).str(), " "},
      {reused.add("x").str(), " x"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  EXPECT_EQ(Record().f(std::numeric_limits<double>::max(), 0, kMaxWidth).str().size(), 309u + 1u + kMaxWidth);
  EXPECT_EQ(Record().x(1 << 30).view().size(), static_cast<std::size_t>(kMaxWidth));
}

#ifdef R3_RECORDS_BATTERY

// Builds, for one tag of the reference program's output, the record the
// Fortran program wrote for the current value.
struct Battery {
  double d = 0;
  float r = 0;
  long long n = 0;
  std::string s;

  std::string formatted(const std::string& tag) const {
    Record q;
    const auto bar = [&q] { q.text("|"); };
    if (tag == "F") {
      q.f(d, 12, 4), bar(), q.f(d, 8, 0), bar(), q.f(d, 6, 3), bar(), q.f(d, 0, 3), bar();
      q.f(d, 3, 1), bar(), q.f(d, 2, 1);
    } else if (tag == "E") {
      q.e(d, 12, 4), bar(), q.e(d, 9, 3), bar(), q.e(d, 7, 1), bar(), q.e(d, 16, 8);
    } else if (tag == "P") {
      q.e1p(d, 12, 4), bar(), q.e1p(d, 9, 2), bar(), q.e1p(d, 6, 0), bar(), q.e1p(d, 24, 16);
    } else if (tag == "G") {
      q.g1p(d, 12, 4), bar(), q.g1p(d, 10, 3), bar(), q.g1p(d, 6, 1), bar();
      q.g1p(d, 15, 7), bar(), q.g1p(d, 10, 0);
    } else if (tag == "Q") {
      q.f1p(d, 12, 4), bar(), q.f1p(d, 8, 1), bar(), q.f1p(d, 0, 2);
    } else if (tag == "I") {
      q.i(n, 12), bar(), q.i(n, 5), bar(), q.i(n, 1), bar(), q.i(n, 0), bar(), q.i(n, 20);
    } else if (tag == "A") {
      q.a(s, 8), bar(), q.a(s, 3), bar(), q.a(s), bar(), q.a(s, 1), bar(), q.x(2), bar();
    } else {
      return "unknown tag " + tag;
    }
    return tag + " " + q.str();
  }

  std::string listed(const std::string& tag) const {
    using Build = std::function<void(ListDirected&)>;
    const std::map<std::string, Build> builds = {
        {"LD", [&](ListDirected& l) { l.add(d); }},
        {"LF", [&](ListDirected& l) { l.add(r); }},
        {"LI", [&](ListDirected& l) { l.add(static_cast<int>(n)); }},
        {"LS", [&](ListDirected& l) { l.add(s); }},
        {"M1", [](ListDirected& l) { l.add("T =").add(300.0).add("K"); }},
        {"M2", [](ListDirected& l) { l.add("abc").add("def").add("g"); }},
        {"M3", [](ListDirected& l) { l.add(1).add(2).add(-3); }},
        {"M4", [](ListDirected& l) { l.add("n=").add(5).add("x=").add(2.5).add("y=").add(0.1f); }},
        {"M5", [](ListDirected& l) { l.add(1.5).add("a").add("b").add(2); }},
        {"M6", [](ListDirected& l) { l.add(""); }},
        {"M7", [](ListDirected& l) { l.add("").add(1); }},
        {"M8", [](ListDirected& l) { l.add(1).add(""); }},
        {"M9", [](ListDirected& l) { l.add(-2147483647).add(-0.0).add(1e35f).add(1e35).add(kNaN); }},
        {"M10", [](ListDirected&) {}},
        {"M11", [](ListDirected& l) { l.add("Pump P-101: head").add(42.125).add("m at").add(12).add("kg/s"); }},
    };
    const auto found = builds.find(tag);
    if (found == builds.end()) return "unknown tag " + tag;
    ListDirected l;
    found->second(l);
    return l.str();
  }
};

template <class Bits>
Bits parse_hex(const std::string& line) {
  Bits bits = 0;
  std::from_chars(line.data() + 2, line.data() + line.size(), bits, 16);
  return bits;
}

TEST(RecordBattery, MatchesGfortranByteForByte) {
  std::FILE* pipe = ::popen("\"" R3_RECORDS_BATTERY "\"", "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  ASSERT_EQ(::pclose(pipe), 0);
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  Battery b;
  std::string value_line;
  int compared = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    const std::string tag = line.substr(0, line.find(' '));
    if (tag == "D") {
      const auto bits = parse_hex<std::uint64_t>(line);
      std::memcpy(&b.d, &bits, sizeof b.d);
    } else if (tag == "R") {
      const auto bits = parse_hex<std::uint32_t>(line);
      std::memcpy(&b.r, &bits, sizeof b.r);
    } else if (tag == "N") {
      b.n = static_cast<long long>(parse_hex<std::uint64_t>(line));
    } else if (tag == "S") {
      const std::size_t len = std::stoul(line.substr(2));
      b.s = line.substr(line.find(' ', 2) + 1, len);
    } else if (line.size() > 1 && line[0] != ' ' && line.find(' ') == std::string::npos) {
      ASSERT_LT(k + 1, lines.size()) << "list tag " << tag << " without its record";
      EXPECT_EQ(b.listed(tag), lines[++k]) << "after " << value_line;
      ++compared;
      continue;
    } else {
      EXPECT_EQ(b.formatted(tag), line) << "after " << value_line;
      ++compared;
      continue;
    }
    value_line = line;
  }
  EXPECT_GT(compared, 400);
}

#else

TEST(RecordBattery, MatchesGfortranByteForByte) {
  GTEST_SKIP() << "built without a Fortran compiler; no reference output";
}

#endif

}  // namespace
}  // namespace r3::rec
