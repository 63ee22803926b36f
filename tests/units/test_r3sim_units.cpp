// r3sim with units: the engineering-units pump solves to its SI twin's
// solution, every model's report and the stream table in MET and ENG units
// (golden files), and the discovery commands.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;
};

Result r3sim(const std::string& args, bool with_stderr = true) {
  const std::string cmd =
      std::string(R3SIM_PATH) + " " + args + (with_stderr ? " 2>&1" : " 2>/dev/null");
  Result r{-1, {}};
  std::FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

const fs::path kSource = R3_SOURCE_DIR;

fs::path temp_dir() {
  const fs::path d = fs::temp_directory_path() / ("r3units_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

std::string read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

nlohmann::json solve(const fs::path& case_path) {
  const fs::path json = temp_dir() / "r.json";
  const Result r =
      r3sim("run " + case_path.string() + " --quiet --report /dev/null --json " + json.string());
  EXPECT_EQ(r.code, 0) << r.out;
  return nlohmann::json::parse(read(json), nullptr, false);
}

TEST(R3simUnits, EngineeringPumpSolvesToItsSiTwin) {
  const nlohmann::json eng = solve(kSource / "examples/engineering/water_pump.toml");
  const nlohmann::json si = solve(kSource / "examples/engineering/water_pump_si.toml");
  ASSERT_TRUE(eng.value("converged", false) && si.value("converged", false));
  ASSERT_EQ(eng["variables"].size(), si["variables"].size());
  for (const auto& [name, value] : si["variables"].items()) {
    const double a = value.get<double>(), b = eng["variables"][name].get<double>();
    EXPECT_NEAR(b, a, 1e-12 * std::fabs(a)) << name;
  }
  // 50 m3/h at the feed's conditions, shown in the units the case chose.
  EXPECT_NEAR(eng["streams"]["FEED"]["volume_flow"].get<double>(), 50.0, 1e-9);
  EXPECT_EQ(eng["units"]["volume_flow"], "m3/h");
  EXPECT_EQ(eng["units"]["temperature"], "degC");
  EXPECT_EQ(eng["stream_order"], nlohmann::json({"FEED", "PROD", "POWER"}));
}

// A value whose SI number depends on the variable's type: a temperature
// difference in degF is 5/9 K per degree, not an absolute temperature.
TEST(R3simUnits, TemperatureDifferenceConvertedByTheVariablesType) {
  const std::string t = read(kSource / "examples/htua/counter_current.toml");
  const fs::path copy = temp_dir() / "diff.toml";
  std::ofstream(copy) << std::regex_replace(t, std::regex("T_APPR_MIN_HOT_IN = 10.0"),
                                            "T_APPR_MIN_HOT_IN = \"18 degF\"");
  const nlohmann::json j = solve(copy);
  EXPECT_NEAR(j["variables"]["HX1.T_APPR_MIN_HOT_IN"].get<double>(), 10.0, 1e-12);
}

// One case per model. The golden files hold the report and the stream table
// with the case's report units set to MET and to ENG; R3_UPDATE_GOLDEN=1
// writes them anew.
TEST(R3simUnits, ReportsAndStreamTablesInMetAndEng) {
  const char* cases[] = {"pump.toml",
                         "ccmp/ccmp_pratio.toml",
                         "csep/two_outlets.toml",
                         "htua/counter_current.toml",
                         "rcmp/pressure_power.toml",
                         "skew/mole_fixed_knots.toml",
                         "stoic/methane_combustion.toml",
                         "strb/standard.toml",
                         "trex/vapour_outlet_pressure.toml",
                         "valve/liquid_water.toml",
                         "numl/heater.toml"};
  const bool update = std::getenv("R3_UPDATE_GOLDEN") != nullptr;
  for (const char* name : cases) {
    std::string text = read(kSource / "examples" / name);
    for (const char* set : {"MET", "ENG"}) {
      // The case with its report units replaced (or set).
      std::string t = std::regex_replace(text, std::regex("report_units = \"[A-Z]+\"\n"), "");
      t.replace(t.find("[properties]\n"), 13,
                std::string("[properties]\nreport_units = \"") + set + "\"\n");
      const fs::path copy = temp_dir() / "case.toml";
      std::ofstream(copy) << t;
      const Result r = r3sim("run " + copy.string() + " --quiet --history /dev/null", false);
      EXPECT_EQ(r.code, 0) << name << " " << set;
      std::string stem = std::string(name).substr(0, std::string(name).find('.'));
      std::replace(stem.begin(), stem.end(), '/', '_');
      const fs::path golden = kSource / "tests/units/golden" / (stem + "_" + set + ".txt");
      if (update) std::ofstream(golden) << r.out;
      EXPECT_EQ(r.out, read(golden)) << golden;
    }
  }
}

TEST(R3simUnits, DiscoveryCommands) {
  Result r = r3sim("components water");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("H2O"), std::string::npos) << r.out;
  EXPECT_EQ(r3sim("components 7732-18-5").out.find("H2O") != std::string::npos, true);
  EXPECT_EQ(r3sim("components unobtainium").code, 1);
  r = r3sim("describe " + (kSource / "examples/engineering/water_pump.toml").string());
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("PROD\\.PRESSURE +fixed +25 .* bar\n"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("P1\\.BHP +free .* kW\n"))) << r.out;
  EXPECT_EQ(r.out.find("R3PUMP RESULTS"), std::string::npos)
      << "describe solves nothing and reports nothing";
  r = r3sim("models");
  EXPECT_NE(r.out.find("  R3PUMP    liquid pump:"), std::string::npos) << r.out;
  // A misspelt variable and a unit that does not fit the variable it sets.
  std::string t = read(kSource / "examples/engineering/water_pump.toml");
  const fs::path copy = temp_dir() / "bad.toml";
  std::ofstream(copy) << std::regex_replace(t, std::regex("PUMP_EFF ="), "PUMP_EF =");
  r = r3sim("run " + copy.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("has no variable 'PUMP_EF' (did you mean PUMP_EFF?)"), std::string::npos)
      << r.out;
  // A unit that fits the value but not the model's variable: checked against its type.
  std::ofstream(copy) << std::regex_replace(t, std::regex("\"75 %\""), "\"75 kW\"");
  r = r3sim("run " + copy.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(
      r.out.find("bad.toml:32: fix value of PUMP_EFF in block P1: '75 kW' is not a plain number"),
      std::string::npos)
      << r.out;
  std::ofstream(copy) << std::regex_replace(t, std::regex("\"25 bar\\(a\\)\""), "\"25 degC\"");
  r = r3sim("run " + copy.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("bad.toml:32: fix value of PROD.PRESSURE in block P1: '25 degC' does not "
                       "measure a pressure; a pressure is written in Pa"),
            std::string::npos)
      << r.out;
}

}  // namespace
