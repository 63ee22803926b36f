// r3sim end to end. One table of command lines and case files, good and bad,
// each with its exit code and the fragments its output must show; the solved
// examples against hand calculations; reports in MET and ENG units against
// golden files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <toml++/toml.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using r3::test::file_text;

const fs::path kSrc = R3_SOURCE_DIR;
const std::string kBad = R3BAD_PATH;

fs::path tmp(const std::string& name) {
  const fs::path d = fs::temp_directory_path() / ("r3sim_test_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d / name;
}

struct Result {
  int code = -1;
  std::string out;  // standard output and standard error together (or output alone)
  json j;           // the results file, when one was written
};

// r3sim with ARGS, where '@' names TEXT written to bad.toml and '#' the
// results file.
Result r3sim(std::string args, const std::string& text = "", bool with_stderr = true) {
  const fs::path path = tmp("bad.toml"), out = tmp("results.json");
  if (!text.empty()) std::ofstream(path) << text;
  fs::remove(out);
  args = std::regex_replace(std::regex_replace(args, std::regex("@"), path.string()),
                            std::regex("#"), out.string());
  Result r;
  std::FILE* p = popen(
      (std::string(R3SIM_PATH) + " " + args + (with_stderr ? " 2>&1" : " 2>/dev/null")).c_str(),
      "r");
  char buf[4096];
  for (size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = p == nullptr ? -1 : pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (fs::exists(out)) r.j = json::parse(file_text(out), nullptr, false);
  return r;
}

json solve(const std::string& example) {
  const Result r = r3sim("run " + (kSrc / "examples" / example).string() +
                         " --quiet --report /dev/null --json #");
  EXPECT_EQ(r.code, 0) << example << "\n" << r.out;
  EXPECT_TRUE(r.j.value("converged", false)) << example;
  return r.j;
}

// N pumps in series on a hexane/heptane feed, each with the given variable fixed.
std::string chain(int n, const std::string& spec, const std::string& dp) {
  std::string t =
      "[properties]\ncomponents = [\"NC6\", \"NC7\"]\n[streams.S0]\ntemperature = 300.0\npressure "
      "= 2.0e5\n"
      "flows = { NC6 = 0.6, NC7 = 0.4 }\n";
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i), p = std::to_string(i - 1);
    t += "[[blocks]]\nid = \"P" + k + "\"\nmodel = \"R3PUMP\"\ninlets = [\"S" + p +
         "\"]\noutlets = [\"S" + k + "\"]\nint = [1, 1]\nfix = { DELTA_P = " + dp + ", " + spec +
         ", DR_EFF = 1.0 }\n[streams.S" + k + "]\n";
  }
  return t;
}

struct Row {
  std::string what, text, args;  // text: the case, written to bad.toml ("": none)
  int code = 0;
  std::vector<std::string> has, lacks;  // has: in this order in the output, then the results
  toml::array checks = {};              // on the results: [near|above|at_most|same, pointer, ...]
};

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
    s.replace(at, from.size(), to);
  return s;
}

// The rows of r3sim_rows.toml (its head says how a row is run).
std::vector<Row> rows() {
  std::string zeros = "0";  // an int array one entry longer than the loader takes
  for (int i = 0; i < 10000; ++i) zeros += ", 0";
  const toml::table t = toml::parse_file((kSrc / "tests/apps/r3sim_rows.toml").string());
  const std::set<std::string> known = {"what",  "case", "args",  "code",   "has",
                                       "lacks", "base", "edits", "checks", "chain"};
  std::vector<Row> out;
  for (const toml::node& node : *t["row"].as_array()) {
    const toml::table& r = *node.as_table();
    auto str = [&](const char* k) { return r[k].value_or(std::string()); };
    auto strings = [](const toml::array* a) {
      std::vector<std::string> v;
      for (size_t i = 0; a != nullptr && i < a->size(); ++i)
        v.push_back((*a)[i].value_or(std::string()));
      return v;
    };
    // The case, or the base file with each pair of edits made (each must occur).
    std::string text = str("case");
    std::vector<std::string> missing;
    if (const toml::array* e = r["edits"].as_array()) {
      text = file_text(kSrc / str("base"));
      for (const toml::node& p : *e) {
        const std::vector<std::string> pair = strings(p.as_array());
        const size_t at = text.find(pair.at(0));
        if (at == std::string::npos) missing.push_back(std::string("(no ").append(pair[0]).append(" in the base)"));
        if (at != std::string::npos) text.replace(at, pair[0].size(), pair.at(1));
      }
    }
    for (const auto& [name, snippet] : *t["snippets"].as_table())
      text = replaced(text, std::string("{").append(name.str()).append("}"),
                      snippet.value_or(std::string()));
    if (const toml::array* c = r["chain"].as_array())
      text = chain((*c)[0].value_or(0), (*c)[1].value_or(std::string()),
                   (*c)[2].value_or(std::string()));
    Row row{str("what"),
            replaced(text, "{zeros_10001}", zeros),
            replaced(replaced(str("args"), "{src}", kSrc.string()), "{bad}", kBad),
            r["code"].value_or(0),
            strings(r["has"].as_array()),
            strings(r["lacks"].as_array()),
            r["checks"].as_array() != nullptr ? *r["checks"].as_array() : toml::array{}};
    row.has.insert(row.has.end(), missing.begin(), missing.end());
    for (const auto& [key, v] : r) {  // a misspelt key fails its row
      if (!known.count(std::string(key.str())))
        row.has.push_back("(unknown key " + std::string(key.str()) + ")");
    }
    out.push_back(row);
  }
  return out;
}

void PrintTo(const Row& r, std::ostream* os) {
  *os << r.what;
}

class R3simRows : public ::testing::TestWithParam<Row> {};

TEST_P(R3simRows, ExitCodeAndOutput) {
  const Row& row = GetParam();
  const bool run = !row.text.empty() && (row.args.empty() || row.args.rfind("--", 0) == 0);
  const Result r = r3sim(run ? "run @ --quiet --json # " + row.args : row.args, row.text);
  EXPECT_EQ(r.code, row.code) << r.out.substr(0, 4000);
  const std::string all = r.out + (r.j.is_discarded() || r.j.is_null() ? "" : r.j.dump());
  size_t from = 0;
  for (const std::string& f : row.has) {
    const size_t found = all.find(f, from);
    EXPECT_NE(found, std::string::npos) << "'" << f << "' (in this order) in:\n"
                                        << all.substr(0, 6000);
    from = found == std::string::npos ? from : found + f.size();
  }
  for (const std::string& f : row.lacks)
    EXPECT_EQ(all.find(f), std::string::npos) << f << " in:\n" << all;
  auto at = [&](const toml::node& p) {
    return !p.is_string() ? p.value_or(0.0)
           : r.j.is_object()
               ? r.j.value(json::json_pointer(p.value_or(std::string())), std::nan(""))
               : std::nan("");
  };
  for (const toml::node& c : row.checks) {
    ASSERT_TRUE(c.is_array()) << row.what << ": a check is [op, pointer, ...]";
    const toml::array& a = *c.as_array();
    const std::string op = a[0].value_or(std::string());
    const double v = at(a[1]), w = at(a[2]);
    const bool ok = op == "near"      ? std::fabs(v - w) <= a[3].value_or(0.0)
                    : op == "above"   ? v > w
                    : op == "at_most" ? v <= w
                                      : op == "same" && v == w;
    EXPECT_TRUE(ok) << a << ": " << v << " against " << w;
  }
}

INSTANTIATE_TEST_SUITE_P(R3sim, R3simRows, ::testing::ValuesIn(rows()), [](const auto& i) {
  return std::regex_replace(i.param.what, std::regex("[^A-Za-z0-9]"), "_");
});

// A compressed liquid's compressibility factor is its own P v / (R T).
TEST(R3sim, CompressedLiquidProperties) {
  const Result r =
      r3sim("props --method PENG-ROB --components H2O --pressure 1e8 --temperature 200 --json");
  EXPECT_EQ(r.code, 0);
  const json liquid = json::parse(r.out)["phases"]["liquid"];
  EXPECT_NEAR(liquid["z"].get<double>(),
              1.0e8 * liquid["molar_volume"].get<double>() / (8314.4 * 200.0), 1e-9);
}

// A pump's hand calculation from its solved streams: the shaft power from the
// pressure rise, the suction density and the efficiency; the energy balance.
void check_pump(const json& j, const std::string& blk, const std::string& in,
                const std::string& out, double eff, double dr_eff) {
  const json &si = j["streams"][in], &so = j["streams"][out], &v = j["variables"];
  const double F = si["total_flow"], mw = si["molecular_weight"], rho = si["density"];
  const double dp = so["pressure"].get<double>() - si["pressure"].get<double>(),
               bhp = F * mw * dp / (rho * eff);
  EXPECT_NEAR(v[blk + ".BHP"].get<double>(), bhp, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".EHP"].get<double>(), bhp / dr_eff, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".P_HEAD"].get<double>(), dp / (rho * 9.80665), 1e-6 * dp / (rho * 9.80665));
  EXPECT_NEAR((so["mass_enthalpy"].get<double>() - si["mass_enthalpy"].get<double>()) * mw * F, bhp,
              1e-5 * bhp);
  EXPECT_GT(so["temperature"].get<double>(), si["temperature"].get<double>());
  EXPECT_EQ(so["vapour_fraction"].get<double>(), 0.0);
}

// The rest of the examples' hand calculations are rows of r3sim_rows.toml.
TEST(R3sim, ExamplesAgreeWithHandCalculations) {
  check_pump(solve("pump.toml"), "P1", "FEED", "PROD", 0.7, 1.0);
  const json series = solve("pumps_series.toml");
  check_pump(series, "P1", "FEED", "MID", 0.65, 0.95);
  check_pump(series, "P2", "MID", "PROD", 0.7, 0.95);
  // The engineering-units pump solves to its SI twin's solution.
  const json eng = solve("engineering/water_pump.toml"),
             si = solve("engineering/water_pump_si.toml");
  ASSERT_EQ(eng["variables"].size(), si["variables"].size());
  for (const auto& [name, value] : si["variables"].items()) {
    EXPECT_NEAR(eng["variables"][name].get<double>(), value.get<double>(),
                1e-12 * std::fabs(value.get<double>()))
        << name;
  }
}

// One case per model: the report and the stream table with the report units
// set to MET and to ENG (tests/units/golden; R3_GOLDEN_UPDATE=1 rewrites them).
TEST(R3sim, ReportsAndStreamTablesInMetAndEng) {
  for (const std::string name :
       {"pump", "ccmp/ccmp_pratio", "csep/two_outlets", "htua/counter_current",
        "rcmp/pressure_power", "skew/mole_fixed_knots", "stoic/methane_combustion", "strb/standard",
        "trex/vapour_outlet_pressure", "valve/liquid_water", "numl/heater"}) {
    for (const std::string set : {"MET", "ENG"}) {
      const std::string text = std::regex_replace(file_text(kSrc / "examples" / (name + ".toml")),
                                                  std::regex("report_units = \"[A-Z]+\"\n"), "");
      const Result r = r3sim("run @ --quiet --history /dev/null",
                             std::regex_replace(text, std::regex("\\[properties\\]\n"),
                                                "[properties]\nreport_units = \"" + set + "\"\n"),
                             false);
      EXPECT_EQ(r.code, 0) << name << " " << set;
      const fs::path golden = kSrc / "tests/units/golden" /
                              (std::regex_replace(name, std::regex("/"), "_") + "_" + set + ".txt");
      if (std::getenv("R3_GOLDEN_UPDATE") != nullptr) std::ofstream(golden) << r.out;
      EXPECT_EQ(r.out, file_text(golden)) << golden;
    }
  }
}

}  // namespace
