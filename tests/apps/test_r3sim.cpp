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

namespace {

struct CaseRun {
  Result r;
  nlohmann::json j;
};

// Runs a case given as text (written beside the examples so that their
// libraries are found) and reads its JSON.
CaseRun run_text(const std::string& text, const std::string& extra = "") {
  const fs::path path = temp_dir() / "solver.toml", json = temp_dir() / "solver.json";
  std::ofstream(path) << text;
  fs::remove(json);
  CaseRun out{r3sim("run " + path.string() + " --quiet --json " + json.string() + " " + extra), {}};
  std::ifstream in(json);
  if (in) in >> out.j;
  return out;
}

std::string read(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path).rdbuf();
  return ss.str();
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

const std::string kWater =
    "[properties]\ncomponents = [\"H2O\"]\n"
    "[streams.FEED]\ntemperature = 300.0\npressure = 1.0e5\nflows = { H2O = 1.0 }\n[streams.PROD]\n";
const std::string kPump = "[[blocks]]\nid = \"P1\"\nmodel = \"R3PUMP\"\ninlets = [\"FEED\"]\noutlets = [\"PROD\"]\nint = [1, 1]\n";

}  // namespace

// A compressor whose discharge temperature is held at the model's own 500 K
// bound: the run says it is not a solution, everywhere, and names the bound.
TEST(R3simSolver, UnsolvedRunIsMarkedAndDiagnosed) {
  std::string text = replaced(read(example("rcmp/defaults.toml")), "bounds = { DISCH_TEMP = [50.0, 800.0] }", "");
  text = replaced(text, "int = [0, 3, 0]", "int = [1, 3, 0]");
  const CaseRun run = run_text(text);
  EXPECT_EQ(run.r.code, 3) << run.r.out;
  const std::string& out = run.r.out;
  const size_t marker = out.find("RESULTS ARE NOT A SOLUTION"), block = out.find("R3RCMP RESULTS");
  EXPECT_LT(marker, block) << out;
  EXPECT_NE(out.find("RESULTS ARE NOT A SOLUTION", block), std::string::npos) << out;  // above the streams
  EXPECT_LT(out.rfind("RESULTS ARE NOT A SOLUTION"), out.find("STREAM RESULTS")) << out;
  EXPECT_NE(out.find("STATUS               not converged"), std::string::npos) << out;
  const auto& st = run.j["status"];
  EXPECT_EQ(st["state"], "not converged");
  EXPECT_GT(st["residual_norm"].get<double>(), 1e-3);
  EXPECT_EQ(run.j["residual_norm"], st["residual_norm"]);
  EXPECT_EQ(st["failed_block"], "K1");
  const auto& d = st["diagnosis"];
  EXPECT_EQ(d["verdict"], "infeasible");
  ASSERT_FALSE(d["on_bounds"].empty());
  EXPECT_EQ(d["on_bounds"][0]["variable"], "K1.DISCH_TEMP");
  EXPECT_EQ(d["on_bounds"][0]["bound"], 500.0);
  EXPECT_EQ(d["on_bounds"][0]["set_by"], "K1");
  EXPECT_TRUE(d["on_bounds"][0]["held"].get<bool>());
  EXPECT_FALSE(d["largest_residuals"].empty());
  // An infeasible specification: a valve that would have to raise the
  // pressure. The valve closes onto its bounds and the run says why.
  const CaseRun closed = run_text(replaced(read(example("valve/pump_valve.toml")), "DELTA_P = 6.0e5", "DELTA_P = 1.0e5"));
  EXPECT_EQ(closed.r.code, 3);
  EXPECT_EQ(closed.j["status"]["diagnosis"]["verdict"], "infeasible") << closed.r.out;
  EXPECT_NE(closed.j["status"]["diagnosis"]["on_bounds"].dump().find("FV1.VALVE_POS"), std::string::npos);
}

// Degrees-of-freedom advice a user can act on: the likeliest candidate first,
// with its block and units; the true residual norm of the starting point.
TEST(R3simSolver, DegreesOfFreedomAdviceIsRanked) {
  const std::string valve = read(example("valve/pump_valve.toml"));
  struct Case {
    const char* what;
    std::string text;
    const char* advice;
  };
  const std::vector<Case> cases = {
      {"pump efficiency missing", kWater + kPump + "fix = { DELTA_P = 1.0e5, DR_EFF = 1.0 }\n", "fix 1 of: P1.PUMP_EFF (block P1)"},
      {"valve FP missing", replaced(valve, "FP = 1.0, ", ""), "fix 1 of: FV1.FP (block FV1)"},
      {"pump power in surplus", kWater + kPump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0, BHP = 1.0e4 }\n",
       "free 1 of the fixed variables P1.BHP (block P1, W)"},
  };
  for (const Case& c : cases) {
    const CaseRun run = run_text(c.text);
    EXPECT_EQ(run.r.code, 3) << c.what;
    EXPECT_NE(run.r.out.find(c.advice), std::string::npos) << c.what << "\n" << run.r.out;
    EXPECT_EQ(run.j["status"]["state"], "specification error") << c.what;
    EXPECT_NE(run.r.out.find("RESULTS ARE NOT A SOLUTION (specification error)"), std::string::npos) << c.what;
  }
}

// A pump feeding a valve at a fixed position: the valve bounds its pressure
// drop by the inlet pressure of the pump's first guess; the bound is released.
TEST(R3simSolver, BoundFromAGuessedInletIsReleased) {
  std::string text = replaced(read(example("valve/pump_valve.toml")), "DELTA_P = 6.0e5, ", "");
  text = replaced(replaced(text, "CVMAX = 200.0", "VALVE_POS = 40.0, CVMAX = 200.0"), "max_iterations = 50", "max_iterations = 200");
  const CaseRun run = run_text(text);
  EXPECT_EQ(run.r.code, 0) << run.r.out;
  bool released = false;
  for (const auto& w : run.j["warnings"]) released = released || w["variable"] == "FV1.DELTAP";
  EXPECT_TRUE(released) << run.j["warnings"].dump();
  EXPECT_GT(run.j["variables"]["P1.DELTA_P"].get<double>(), 1.0e6);
}

// Freed feed variables: a valve rated for flow, a pump and valve line whose
// flow follows from the pressures, and the names free refuses.
TEST(R3simSolver, FreeFeedVariables) {
  const nlohmann::json rating = solve(example("network/valve_rating.toml"));
  ASSERT_TRUE(rating.value("converged", false));
  // A liquid valve passes a flow proportional to the square root of the
  // density: 5.2381 kmol/s at 1066.4 kg/m3 is 5.0637 at water's 996.56.
  EXPECT_NEAR(rating["streams"]["CW"]["total_flow"].get<double>(), 5.2381 * std::sqrt(996.56 / 1066.4), 1e-3);
  EXPECT_DOUBLE_EQ(rating["streams"]["CW"]["flows"]["H2O"].get<double>(), rating["streams"]["CW"]["total_flow"].get<double>());
  const nlohmann::json line = solve(example("network/pressure_driven.toml"));
  ASSERT_TRUE(line.value("converged", false));
  EXPECT_DOUBLE_EQ(line["streams"]["OUT"]["pressure"].get<double>(), 3.0e5);
  EXPECT_DOUBLE_EQ(line["streams"]["SUCT"]["total_flow"].get<double>(), line["streams"]["OUT"]["total_flow"].get<double>());
  for (const auto& [name, message] : std::vector<std::pair<std::string, std::string>>{
           {"PROD.TOTAL_FLOW", "is not a variable of a feed stream"}, {"FEED.VOLUME", "feed stream FEED has no variable 'VOLUME'"}}) {
    const CaseRun run = run_text("free = [\"" + name + "\"]\n" + kWater + kPump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0 }\n");
    EXPECT_EQ(run.r.code, 1) << name;
    EXPECT_NE(run.r.out.find(message), std::string::npos) << run.r.out;
  }
}

// A recycle with no guess starts from the feed; a loop with no feed is named.
TEST(R3simSolver, RecyclesStartWithoutAGuess) {
  const nlohmann::json j = solve(example("recycle/pump_loop.toml"));
  ASSERT_TRUE(j.value("converged", false));
  EXPECT_NEAR(j["streams"]["REC"]["total_flow"].get<double>(), 0.25, 1e-9);
  EXPECT_NE(j["warnings"].dump().find("recycle stream REC is torn"), std::string::npos);
  const std::string loop = "[properties]\ncomponents = [\"H2O\"]\n[streams.A]\n[streams.B]\n" +
                           replaced(replaced(kPump, "\"FEED\"", "\"A\""), "\"PROD\"", "\"B\"") +
                           "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0 }\n" +
                           replaced(replaced(replaced(kPump, "\"FEED\"", "\"B\""), "\"PROD\"", "\"A\""), "P1", "P2") +
                           "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0 }\n";
  const CaseRun run = run_text(loop);
  EXPECT_EQ(run.r.code, 1);
  EXPECT_NE(run.r.out.find("no feed: stream A is in a loop that nothing feeds (P1 -> P2 -> P1)"), std::string::npos) << run.r.out;
}

// Inputs a user has almost certainly got wrong solve, with a warning that
// names the block, the variable and the value.
TEST(R3simSolver, SanityWarnings) {
  const std::string valve = read(example("valve/liquid_water.toml"));
  struct Case {
    std::string text, variable, message;
  };
  const std::vector<Case> cases = {
      {kWater + kPump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 75.0, DR_EFF = 1.0 }\n", "P1.PUMP_EFF", "a percentage? write 0.75"},
      {kWater + kPump + "fix = { DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.5 }\n", "P1.DR_EFF", "an efficiency above 1"},
      {replaced(valve, "temperature = 300.0", "temperature = 25.0"), "CW.TEMPERATURE", "25 C is 298.15 K"},
      {replaced(valve, "int = [0, 2, 1, 0, 1, 1]", "int = [0, 1, 1, 0, 1, 1]"), "CW.VAPOUR_FRACTION", "is set for vapour"},
  };
  for (const Case& c : cases) {
    const CaseRun run = run_text(c.text);
    EXPECT_NE(run.r.out.find("r3sim: warning: "), std::string::npos) << run.r.out;
    bool found = false;
    for (const auto& w : run.j["warnings"]) {
      found = found || (w["variable"] == c.variable && w["message"].get<std::string>().find(c.message) != std::string::npos);
    }
    EXPECT_TRUE(found) << c.variable << ": " << run.j["warnings"].dump();
  }
}

// Every example converges within 8 iterations, from its own starting point.
TEST(R3simSolver, ExamplesConvergeQuickly) {
  for (const auto& e : fs::recursive_directory_iterator(std::string(R3_SOURCE_DIR) + "/examples")) {
    if (e.path().extension() != ".toml") continue;
    const nlohmann::json j = solve(e.path().string());
    EXPECT_TRUE(j.value("converged", false)) << e.path();
    EXPECT_LE(j.value("iterations", 99), 8) << e.path();
  }
}

// Long chains: 10,000 pumps in series (1 kPa each) meet the default
// tolerance, and 3,000 pumps with fixed powers find their efficiencies.
TEST(R3simSolver, LongPumpChainsConverge) {
  for (const auto& [n, spec, dp, max_it] : std::vector<std::tuple<int, std::string, std::string, int>>{
           {10000, "PUMP_EFF = 0.7", "1.0e3", 2}, {3000, "BHP = 2.0e4", "1.0e5", 5}}) {
    std::string t = "[properties]\ncomponents = [\"NC6\", \"NC7\"]\n[streams.S0]\ntemperature = 300.0\npressure = 2.0e5\n"
                    "flows = { NC6 = 0.6, NC7 = 0.4 }\n";
    for (int i = 1; i <= n; ++i) {
      const std::string k = std::to_string(i), p = std::to_string(i - 1);
      t += "[[blocks]]\nid = \"P" + k + "\"\nmodel = \"R3PUMP\"\ninlets = [\"S" + p + "\"]\noutlets = [\"S" + k +
           "\"]\nint = [1, 1]\nfix = { DELTA_P = " + dp + ", " + spec + ", DR_EFF = 1.0 }\n";
    }
    for (int i = 1; i <= n; ++i) t += "[streams.S" + std::to_string(i) + "]\n";
    const CaseRun run = run_text(t, "--report /dev/null");
    EXPECT_EQ(run.r.code, 0) << n << "\n" << run.r.out.substr(0, 2000);
    EXPECT_LE(run.j.value("iterations", 99), max_it) << n;
  }
}
