// r3sim end to end: the example cases solve and agree with hand
// calculations; the Jacobian check; exit codes and messages for bad cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;  // standard output and standard error together
};

Result r3sim(const std::string& args) {
  const std::string cmd = std::string(R3SIM_PATH) + " " + args + " 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  Result r{-1, {}};
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string example(const std::string& name) { return std::string(R3_SOURCE_DIR) + "/examples/" + name; }

fs::path temp_dir() {
  fs::path d = fs::temp_directory_path() / ("r3sim_test_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

nlohmann::json solve(const std::string& case_path) {
  const fs::path json = temp_dir() / "result.json";
  const Result r = r3sim("run " + case_path + " --quiet --json " + json.string());
  EXPECT_EQ(r.code, 0) << r.out;
  std::ifstream in(json);
  nlohmann::json j;
  if (in) in >> j;
  return j;
}

constexpr double kG = 9.80665;

// A pump block's hand calculation from the solved streams: the shaft power
// from the pressure rise, the suction density and the efficiency, and the
// energy balance across the pump.
void check_pump(const nlohmann::json& j, const std::string& blk, const std::string& in,
                const std::string& out, double eff, double dr_eff) {
  const auto& si = j["streams"][in];
  const auto& so = j["streams"][out];
  const auto& v = j["variables"];
  const double F = si["total_flow"], mw = si["molecular_weight"], rho = si["density"];
  const double dp = so["pressure"].get<double>() - si["pressure"].get<double>();
  const double bhp = F * mw * dp / (rho * eff);
  EXPECT_NEAR(v[blk + ".BHP"].get<double>(), bhp, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".EHP"].get<double>(), bhp / dr_eff, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".P_HEAD"].get<double>(), dp / (rho * kG), 1e-6 * dp / (rho * kG));
  // Energy balance: F (h_out - h_in) MW = BHP.
  const double dh = (so["mass_enthalpy"].get<double>() - si["mass_enthalpy"].get<double>()) * mw * F;
  EXPECT_NEAR(dh, bhp, 1e-5 * bhp);
  EXPECT_GT(so["temperature"].get<double>(), si["temperature"].get<double>());
  EXPECT_EQ(so["vapour_fraction"].get<double>(), 0.0);
}

TEST(R3sim, SequentialPumpAgreesWithHandCalculation) {
  const nlohmann::json j = solve(example("pump.toml"));
  ASSERT_TRUE(j.value("converged", false));
  EXPECT_LE(j["iterations"].get<int>(), 5);
  EXPECT_DOUBLE_EQ(j["streams"]["PROD"]["pressure"].get<double>(), 6.0e5);
  check_pump(j, "P1", "FEED", "PROD", 0.7, 1.0);
  EXPECT_NEAR(j["streams"]["POWER"]["value"].get<double>(), j["variables"]["P1.EHP"].get<double>(), 1e-6);
  EXPECT_NE(j["report"].get<std::string>().find("***       R3PUMP RESULTS      ***"), std::string::npos);
}

TEST(R3sim, EquationBasedPumpReproducesTheEfficiency) {
  const nlohmann::json j = solve(example("pump_eo.toml"));
  ASSERT_TRUE(j.value("converged", false));
  EXPECT_NEAR(j["variables"]["P1.PUMP_EFF"].get<double>(), 0.7, 1e-5);
  EXPECT_LE(j["iterations"].get<int>(), 10);
}

TEST(R3sim, PumpsInSeriesSolveAsOneSystem) {
  const nlohmann::json j = solve(example("pumps_series.toml"));
  ASSERT_TRUE(j.value("converged", false));
  EXPECT_DOUBLE_EQ(j["streams"]["MID"]["pressure"].get<double>(), 6.0e5);
  EXPECT_DOUBLE_EQ(j["streams"]["PROD"]["pressure"].get<double>(), 1.5e6);
  check_pump(j, "P1", "FEED", "MID", 0.65, 0.95);
  check_pump(j, "P2", "MID", "PROD", 0.7, 0.95);
}

TEST(R3sim, CheckPassesOnExamplesAndNamesAWrongEntry) {
  for (const char* c : {"pump.toml", "pump_eo.toml", "pumps_series.toml"}) {
    const Result r = r3sim(std::string("check ") + example(c));
    EXPECT_EQ(r.code, 0) << c << "\n" << r.out;
  }
  const fs::path bad = temp_dir() / "bad.toml";
  std::ofstream(bad) << "[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n"
                        "[[blocks]]\nid = \"B1\"\nmodel = \"R3BAD\"\n";
  const Result r = r3sim("check " + bad.string() + " --library " + R3BAD_PATH);
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("B1 [R3BAD]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("d B1.PRODUCT / d B1.X"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("d B1.PRODUCT / d B1.Y"), std::string::npos) << r.out;
}

TEST(R3sim, ModelsListsTheEntries) {
  const Result r = r3sim("models");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("R3PUMP"), std::string::npos) << r.out;
  const Result bad = r3sim(std::string("models --library ") + R3BAD_PATH);
  EXPECT_NE(bad.out.find("R3BAD"), std::string::npos) << bad.out;
}

TEST(R3sim, BadCasesGiveExitCodesAndMessages) {
  const std::string head =
      "[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n"
      "[streams.FEED]\ntemperature = 300.0\npressure = 1.0e5\nflows = { H2O = 1.0 }\n"
      "[streams.PROD]\n";
  const std::string pump = "[[blocks]]\nid = \"P1\"\nmodel = \"R3PUMP\"\ninlets = [\"FEED\"]\n"
                           "outlets = [\"PROD\"]\nint = [0, 1]\n";
  struct Case {
    const char* what;
    std::string text;
    int code;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"unknown model", head + "[[blocks]]\nid = \"P1\"\nmodel = \"R3NONE\"\ninlets = [\"FEED\"]\noutlets = [\"PROD\"]\n", 1, "model 'R3NONE' is not an entry"},
      {"unknown component", "[properties]\ncomponents = [\"UNOBTAIN\"]\n[[blocks]]\nid = \"P1\"\nmodel = \"R3PUMP\"\n", 1, ":2: unknown component 'UNOBTAIN'"},
      {"stream used twice as an outlet", head + pump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0 }\n" + "[[blocks]]\nid = \"P2\"\nmodel = \"R3PUMP\"\ninlets = [\"FEED\"]\noutlets = [\"PROD\"]\nint = [0, 1]\n", 1, "outlet of both P1 and P2"},
      {"misspelt variable", head + pump + "fix = { DELTAP = 1.0e5 }\n", 1, "has no variable 'DELTAP'"},
      {"too few specifications", head + pump + "fix = { DELTA_P = 1.0e5 }\n", 3, "specification(s) missing"},
      {"too many specifications", head + pump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0, BHP = 1000.0 }\n", 3, "specification(s) too many"},
      {"missing inlet conditions", "[properties]\ncomponents = [\"H2O\"]\n[streams.FEED]\npressure = 1.0e5\nflows = { H2O = 1.0 }\n[streams.PROD]\n" + pump, 1, "feed stream FEED needs"},
      {"non-numeric value", head + pump + "fix = { DELTA_P = \"high\" }\n", 1, ":15: fix value of DELTA_P must be a number"},
      {"syntax error", head + "[[blocks]\n", 1, "bad.toml:9:"},
  };
  const fs::path path = temp_dir() / "bad.toml";
  for (const Case& c : cases) {
    std::ofstream(path) << c.text;
    const Result r = r3sim("run " + path.string() + " --quiet");
    EXPECT_EQ(r.code, c.code) << c.what << "\n" << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << "\n" << r.out;
  }
}

// Only functions a named library defines are models, and only model entries:
// neither libc reached through a library's handle, nor a user model meant for
// the numeric layer, nor a library that serves no block.
TEST(R3sim, LoadsOnlyTheModelEntriesOfTheNamedLibraries) {
  const std::string head =
      "[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n"
      "[streams.FEED]\ntemperature = 300.0\npressure = 1.0e5\nflows = { H2O = 1.0 }\n[streams.PROD]\n";
  auto block = [](const std::string& model) {
    return "[[blocks]]\nid = \"B1\"\nmodel = \"" + model + "\"\ninlets = [\"FEED\"]\noutlets = [\"PROD\"]\nint = [0, 1]\n";
  };
  const struct {
    std::string text, args, message;
  } cases[] = {
      {head + block("abort"), "", ":9: block B1: model 'abort' is not an entry of the loaded library"},
      {head + block("exit"), "", "model 'exit' is not an entry"},
      {"libraries = [\"libr3user_examples.so\"]\n" + head + block("R3UHEAT"), "",
       ":10: block B1: 'R3UHEAT' in " },
      {head + block("R3PUMP") + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0 }\n",
       std::string(" --library ") + R3BAD_PATH, " provides none of the case's models (it exports R3BAD)"},
  };
  const fs::path path = temp_dir() / "entry.toml";
  for (const auto& c : cases) {
    std::ofstream(path) << c.text;
    const Result r = r3sim("run " + path.string() + " --quiet" + c.args);
    EXPECT_EQ(r.code, 1) << c.text << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  }
  std::ofstream(path) << cases[2].text;
  const Result user = r3sim("run " + path.string() + " --quiet");
  EXPECT_NE(user.out.find("is a user model for the numeric layer (80 arguments), not a model entry; "
                          "wrap it: model = \"R3NUML\" with user_model = \"R3UHEAT\""),
            std::string::npos) << user.out;
}

// Damaged files and states the engine cannot describe end in an error, never
// in a result built from garbage.
TEST(R3sim, RefusesDamagedLibrariesAndNonFiniteProperties) {
  for (const char* f : {"row03_elf_section_offset_wraps.elf", "row03_elf_unterminated_name.elf",
                        "row03_elf_symbols_offset_wraps.elf"}) {
    const Result r = r3sim(std::string("models --library ") + R3_SOURCE_DIR + "/tests/fuzz/corpus/case/" + f);
    EXPECT_EQ(r.code, 1) << f << "\n" << r.out;
    EXPECT_NE(r.out.find("is a damaged ELF file"), std::string::npos) << r.out;
  }
  const Result p = r3sim("props --method PENG-ROB --components H2O --pressure 1e10 --temperature 1 --json");
  EXPECT_EQ(p.code, 2) << p.out;
  EXPECT_NE(p.out.find("r3sim props: the property engine gives no finite "), std::string::npos) << p.out;
  EXPECT_EQ(p.out.find("null"), std::string::npos) << p.out;
  const Result ok = r3sim("props --method PENG-ROB --components H2O --pressure 1e8 --temperature 200 --json");
  const auto liquid = nlohmann::json::parse(ok.out)["phases"]["liquid"];
  EXPECT_NEAR(liquid["z"].get<double>(), 1.0e8 * liquid["molar_volume"].get<double>() / (8314.4 * 200.0), 1e-9);
}

TEST(R3sim, BadCommandLine) {
  EXPECT_EQ(r3sim("").code, 1);
  EXPECT_EQ(r3sim("frobnicate").code, 1);
  EXPECT_EQ(r3sim("run /nonexistent/case.toml").code, 1);
  const Result v = r3sim("--version");
  EXPECT_EQ(v.code, 0);
  EXPECT_NE(v.out.find("r3sim"), std::string::npos);
}

}  // namespace
