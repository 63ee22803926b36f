#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/records.h"

namespace r3::rec {
namespace {

// The values a battery line's D, R, N and S stand for.
struct Values {
  double d = 0;
  float r = 0;
  long long n = 0;
  std::string s;
};

// Items separated by blanks; a quoted text is one item.
std::vector<std::string> items(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = text.find_first_not_of(' '); i < text.size();
       i = text.find_first_not_of(' ', i)) {
    const size_t end = text[i] == '"' ? text.find('"', i + 1) + 1 : text.find(' ', i);
    out.push_back(text.substr(i, end - i));
    i = std::min(end, text.size());
  }
  return out;
}

// The record built from the items of records_cases.txt (its head lists them).
std::string build(const std::string& text, const Values& v) {
  const std::vector<std::string> t = items(text);
  Record q;
  ListDirected l;
  bool list = false;
  auto real = [&](size_t k) {
    return t.at(k) == "D" ? v.d : std::strtod(t.at(k).c_str(), nullptr);
  };
  auto integer = [&](size_t k) { return t.at(k) == "N" ? v.n : std::stoll(t.at(k)); };
  auto str = [&](size_t k) { return t.at(k) == "S" ? v.s : t.at(k).substr(1, t.at(k).size() - 2); };
  auto width = [&](size_t k) { return std::stoi(t.at(k)); };
  using Real = Record& (Record::*)(double, int, int);
  const std::map<std::string, Real> reals = {{"f", &Record::f},
                                             {"f1p", &Record::f1p},
                                             {"e", &Record::e},
                                             {"e1p", &Record::e1p},
                                             {"g1p", &Record::g1p}};
  for (size_t k = 0; k < t.size(); ++k) {
    const std::string& op = t[k];
    list = list || op[0] == '+';
    if (const auto it = reals.find(op); it != reals.end()) {
      (q.*it->second)(real(k + 1), width(k + 2), width(k + 3)), k += 3;
    } else if (op == "i") {
      q.i(integer(k + 1), width(k + 2)), k += 2;
    } else if (op == "a") {
      q.a(str(k + 1), width(k + 2)), k += 2;
    } else if (op == "A" || op == "text" || op == "x") {
      op == "A" ? q.a(str(k + 1)) : op == "x" ? q.x(width(k + 1)) : q.text(str(k + 1)), ++k;
    } else if (op == "|") {
      q.text("|");
    } else if (op == "+i") {
      l.add(static_cast<int>(integer(++k)));
    } else if (op == "+d") {
      l.add(real(++k));
    } else if (op == "+r") {
      l.add(t.at(++k) == "R" ? v.r : std::stof(t.at(k)));
    } else if (op == "+s") {
      l.add(str(++k));
    } else if (op == "+null") {
      l.add(static_cast<const char*>(nullptr));
    } else {
      return "unknown item " + op;
    }
  }
  return list ? l.str() : q.str();
}

// records_cases.txt: its cases (items, expected text) and battery tags.
struct Cases {
  std::vector<std::pair<std::string, std::string>> cases;
  std::map<std::string, std::string> tags;
  Cases() {
    std::ifstream in(std::string(R3_SOURCE_DIR) + "/tests/framework/records_cases.txt");
    for (std::string line; std::getline(in, line);) {
      const size_t colon = line.find(':'), at = line.find(" => [");
      if (line.rfind("tag ", 0) == 0) tags[line.substr(4, colon - 4)] = line.substr(colon + 1);
      if (line[0] != '#' && at != std::string::npos)
        cases.emplace_back(line.substr(0, at), line.substr(at + 5, line.size() - at - 6));
    }
  }
};

TEST(Record, DescriptorsAndListDirectedItems) {
  const Cases c;
  EXPECT_GT(c.cases.size(), 35u);
  for (const auto& [text, want] : c.cases) EXPECT_EQ(build(text, {}), want) << text;
  ListDirected reused;
  reused.add(1);
  reused.clear();
  EXPECT_EQ(reused.add("x").str(), " x");
  EXPECT_EQ(Record().f(1.0, 2'000'000'000, 2'000'000'000).str(), std::string(kMaxWidth, '*'));
  EXPECT_EQ(Record().f(std::numeric_limits<double>::max(), 0, kMaxWidth).str().size(),
            309u + 1u + kMaxWidth);
  EXPECT_EQ(Record().x(1 << 30).view().size(), static_cast<std::size_t>(kMaxWidth));
}

#ifdef R3_RECORDS_BATTERY

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
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    output.append(chunk, got);
  ASSERT_EQ(::pclose(pipe), 0);
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::map<std::string, std::string> tags = Cases().tags;
  auto record = [&](const std::string& tag, const Values& v) {
    return tags.count(tag) ? build(tags.at(tag), v) : "unknown tag " + tag;
  };
  Values b;
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
      EXPECT_EQ(record(tag, b), lines[++k]) << "after " << value_line;
      ++compared;
      continue;
    } else {
      EXPECT_EQ(tag + " " + record(tag, b), line) << "after " << value_line;
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
