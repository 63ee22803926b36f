// r3sim end to end. One table of command lines and case files, good and bad,
// each with its exit code and the fragments its output must show; the solved
// examples against hand calculations; reports in MET and ENG units against
// golden files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const fs::path kSrc = R3_SOURCE_DIR;
const std::string kBad = R3BAD_PATH;

fs::path tmp(const std::string& name) {
  const fs::path d = fs::temp_directory_path() / ("r3sim_test_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d / name;
}

std::string read(const fs::path& p) {
  std::stringstream s;
  s << std::ifstream(p).rdbuf();
  return s.str();
}

// The text of a file under examples/ (or any source file) with each `from`
// replaced by its `to`; each must occur.
std::string edit(const std::string& file, const std::vector<std::pair<std::string, std::string>>& edits) {
  std::string s = read(kSrc / (file.find('/') == 0 || file.rfind("tests", 0) == 0 ? file : "examples/" + file));
  for (const auto& [from, to] : edits) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << file << ": " << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
  }
  return s;
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
  args = std::regex_replace(std::regex_replace(args, std::regex("@"), path.string()), std::regex("#"), out.string());
  Result r;
  std::FILE* p = popen((std::string(R3SIM_PATH) + " " + args + (with_stderr ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  char buf[4096];
  for (size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = p == nullptr ? -1 : pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (fs::exists(out)) r.j = json::parse(read(out), nullptr, false);
  return r;
}

json solve(const std::string& example) {
  const Result r = r3sim("run " + (kSrc / "examples" / example).string() + " --quiet --report /dev/null --json #");
  EXPECT_EQ(r.code, 0) << example << "\n" << r.out;
  EXPECT_TRUE(r.j.value("converged", false)) << example;
  return r.j;
}

const std::string kWater =
    "[properties]\ncomponents = [\"H2O\"]\n"
    "[streams.FEED]\ntemperature = 300.0\npressure = 1.0e5\nflows = { H2O = 1.0 }\n[streams.PROD]\n";
const std::string kIdeal = "[properties]\nmethod = \"IDEAL\"\n" + kWater.substr(13);
const std::string kSpecs = "DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.0";
std::string block(const std::string& id, const std::string& model, const std::string& ints = "[0, 1]",
                  const std::string& fix = "", const std::string& in = "FEED", const std::string& out = "PROD") {
  return "[[blocks]]\nid = \"" + id + "\"\nmodel = \"" + model + "\"\ninlets = [\"" + in + "\"]\noutlets = [\"" + out +
         "\"]\n" + (ints.empty() ? "" : "int = " + ints + "\n") + (fix.empty() ? "" : "fix = { " + fix + " }\n");
}
std::string pump(const std::string& fix, const std::string& ints = "[0, 1]") { return block("P1", "R3PUMP", ints, fix); }
// A water/methanol case whose FEED is written as `feed` (TOML lines).
std::string mix(const std::string& feed, const std::string& fix = "DR_EFF = 0.9") {
  return "[properties]\nmethod = \"PENG-ROB\"\ncomponents = [\"H2O\", \"MEOH\"]\n[streams.FEED]\n" + feed +
         "\n[streams.OUT]\n" + block("P1", "R3PUMP", "", fix, "FEED", "OUT");
}
const std::string kTF = "temperature = 300.0\nflows = { H2O = 1.0 }\n";

// N pumps in series on a hexane/heptane feed, each with the given specification.
std::string chain(int n, const std::string& spec, const std::string& dp) {
  std::string t = "[properties]\ncomponents = [\"NC6\", \"NC7\"]\n[streams.S0]\ntemperature = 300.0\npressure = 2.0e5\n"
                  "flows = { NC6 = 0.6, NC7 = 0.4 }\n";
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i), p = std::to_string(i - 1);
    t += "[[blocks]]\nid = \"P" + k + "\"\nmodel = \"R3PUMP\"\ninlets = [\"S" + p + "\"]\noutlets = [\"S" + k +
         "\"]\nint = [1, 1]\nfix = { DELTA_P = " + dp + ", " + spec + ", DR_EFF = 1.0 }\n[streams.S" + k + "]\n";
  }
  return t;
}

struct Row {
  const char* what;
  std::string text;  // the case, written to bad.toml ("": none)
  std::string args;  // "" or options: "run @ --quiet --json # " + args
  int code;
  std::vector<std::string> has;  // in this order in the output, then the results file
  std::vector<std::string> lacks = {};
  std::function<void(const Result&)> also = nullptr;
};

const std::string kNotFinite = "r3sim props: the property engine gives no finite ";

const Row kRows[] = {
    // Command lines.
    {"no command", "", "", 1, {}},
    {"unknown command", "", "frobnicate", 1, {}},
    {"missing case", "", "run /nonexistent/case.toml", 1, {}},
    {"version", "", "--version", 0, {"r3sim"}},
    {"models", "", "models", 0, {"  R3PUMP    liquid pump:"}},
    {"models of a user library", "", "models --library " + kBad, 0, {"R3BAD"}},
    {"components by name", "", "components water", 0, {"H2O"}},
    {"components by CAS number", "", "components 7732-18-5", 0, {"H2O"}},
    {"unknown component", "", "components unobtainium", 1, {}},
    {"describe solves nothing", "", "describe " + (kSrc / "examples/engineering/water_pump.toml").string(), 0,
     {"  PROD.PRESSURE            fixed              25 ", " bar\n", "  P1.BHP                   free ", " kW\n"}, {"R3PUMP RESULTS"}},
    {"Jacobian check names the wrong entry", "[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n[[blocks]]\nid = \"B1\"\nmodel = \"R3BAD\"\n",
     "check @ --library " + kBad, 1, {"B1 [R3BAD]", "d B1.PRODUCT / d B1.X"}, {"d B1.PRODUCT / d B1.Y"}},
    // Damaged libraries (fuzzing found each) and states the engine cannot describe.
    {"ELF section offset wraps", "", "models --library " + (kSrc / "tests/fuzz/corpus/case/row03_elf_section_offset_wraps.elf").string(), 1, {"is a damaged ELF file"}},
    {"ELF unterminated name", "", "models --library " + (kSrc / "tests/fuzz/corpus/case/row03_elf_unterminated_name.elf").string(), 1, {"is a damaged ELF file"}},
    {"ELF symbols offset wraps", "", "models --library " + (kSrc / "tests/fuzz/corpus/case/row03_elf_symbols_offset_wraps.elf").string(), 1, {"is a damaged ELF file"}},
    {"no finite properties", "", "props --method PENG-ROB --components H2O --pressure 1e10 --temperature 1 --json", 2, {kNotFinite}, {"null"}},
    {"compressed liquid", "", "props --method PENG-ROB --components H2O --pressure 1e8 --temperature 200 --json", 0, {}, {}, [](const Result& r) {
       const json liquid = json::parse(r.out)["phases"]["liquid"];
       EXPECT_NEAR(liquid["z"].get<double>(), 1.0e8 * liquid["molar_volume"].get<double>() / (8314.4 * 200.0), 1e-9);
     }},
    // Case files the loader refuses: the file, the line and what was expected.
    {"method", edit("tests/apps/cases/good.toml", {{"method = \"IDEAL\"", "method = \"VIRIAL\""}}), "", 1, {"bad.toml:3: method 'VIRIAL' is not one of"}},
    {"vapour fraction", edit("tests/apps/cases/good.toml", {{"vapour_fraction = 0.0", "vapour_fraction = 1.5"}}), "", 1, {"bad.toml:7: vapour_fraction of stream FEED must lie in [0, 1]"}},
    {"long block id", edit("tests/apps/cases/good.toml", {{"id = \"P1\"", "id = \"PUMPNUMBER1\""}}), "", 1, {"bad.toml:19: block id 'PUMPNUMBER1' must have 1 to 8 characters"}},
    {"material info inlet", edit("tests/apps/cases/good.toml", {{"info_inlets = [\"W\"]", "info_inlets = [\"FEED\"]"}}), "", 1, {"is a material stream"}},
    {"fractional int", edit("tests/apps/cases/good.toml", {{"int = [1, 0]", "int = [1, 0.5]"}}), "", 1, {"bad.toml:24: int entry must be an integer"}},
    {"negative iterations", edit("tests/apps/cases/good.toml", {{"max_iterations = 20", "max_iterations = -1"}}), "", 1, {"bad.toml:33: max_iterations must not be negative"}},
    {"stream kind", edit("tests/apps/cases/good.toml", {{"kind = \"work\"", "kind = \"steam\""}}), "", 1, {"bad.toml:15: kind 'steam' is not one of material, work, heat"}},
    {"unknown key", edit("tests/apps/cases/good.toml", {{"scale = { BHP = 100.0 }", "scale = { BHP = 100.0 }\ncolour = \"red\""}}), "", 1, {"bad.toml:31: unknown key 'colour' in [[blocks]]"}},
    {"zero fractions", edit("tests/apps/cases/good.toml", {{"H2O = 3.0, MEOH = 1.0", "H2O = 0.0, MEOH = 0.0"}}), "", 1, {"mole_fractions of stream FEED sum to zero"}},
    {"control in block id", edit("tests/apps/cases/good.toml", {{"id = \"P1\"", "id = \"P\\u0001\""}}), "", 1, {"bad.toml:19: block id must consist of printable characters (it contains character 0x01)"}},
    {"nul in block id", edit("tests/apps/cases/good.toml", {{"id = \"P1\"", "id = \"P\\u0000X\""}}), "", 1, {"block id must consist of printable characters (it contains character 0x00)"}},
    {"tab in stream id", edit("tests/apps/cases/good.toml", {{"[streams.OUT]", "[streams.\"O\\tT\"]"}}), "", 1, {"stream identifier must consist of printable characters (it contains character 0x09)"}},
    {"nul in model", edit("tests/apps/cases/good.toml", {{"model = \"R3PUMP\"", "model = \"R3PUMP\\u0000X\""}}), "", 1, {"model must consist of printable characters"}},
    {"diagnostic level", edit("tests/apps/cases/good.toml", {{"diagnostic_level = 2", "diagnostic_level = 2147483647"}}), "", 1, {"bad.toml:26: diagnostic_level must lie in 0..10"}},
    {"int array too long", edit("tests/apps/cases/good.toml", {{"int = [1, 0]", "int = [0" + [] { std::string s; for (int i = 0; i < 10000; ++i) s += ", 0"; return s; }() + "]"}}), "", 1, {"bad.toml:24: int has 10001 entries (at most 10000)"}},
    {"pressure in kg", mix(kTF + "pressure = \"2 kg\""), "", 1,
     {"bad.toml:7: pressure of stream FEED: '2 kg' does not measure a pressure; a pressure is written in Pa, kPa"}},
    {"negative absolute pressure", mix(kTF + "pressure = \"-2 bar(g)\""), "", 1,
     {"bad.toml:7: pressure of stream FEED: '-2 bar(g)' is -98675 Pa absolute; an absolute pressure must be positive"}},
    {"unknown unit", mix(kTF + "pressure = \"2 blorps\""), "", 1, {"bad.toml:7: pressure of stream FEED: '2 blorps' has a unit this program does not know"}},
    {"percentage above 100", mix(kTF + "pressure = 2e5", "DR_EFF = \"120 %\""), "", 1,
     {"bad.toml:14: fix value of DR_EFF in block P1: '120 %' is not a percentage from 0 to 100"}},
    {"unit on a fraction", mix(kTF + "pressure = 2e5\nvapour_fraction = \"1 kW\""), "", 1, {"bad.toml:8: vapour_fraction of stream FEED: '1 kW' is not a plain number"}},
    {"flow of no component", mix("temperature = 300.0\npressure = 2e5\nflows = { WATER = 1.0 }"), "", 1,
     {"bad.toml:7: flows of stream FEED: 'WATER' is not one of the case's components"}},
    {"volume flow without a total", mix(kTF + "pressure = 2e5\nvolume_flow = \"1 m3/h\"\nmole_fractions = { H2O = 1 }"), "", 1,
     {"give flows, or mass_flows, or a total flow"}},
    {"syntax error", kIdeal + "[[blocks]\n", "", 1, {"bad.toml:9:"}},
    {"unknown model", kIdeal + block("B1", "R3NONE"), "", 1, {"model 'R3NONE' is not an entry"}},
    {"unknown component in the case", "[properties]\ncomponents = [\"UNOBTAIN\"]\n" + pump(""), "", 1, {":2: unknown component 'UNOBTAIN'"}},
    {"nearest component", edit("tests/apps/cases/good.toml", {{"\"MEOH\"]", "\"WATER\"]"}}), "", 1, {"unknown component 'WATER' (not in the databank; did you mean H2O?)"}},
    {"stream used twice as an outlet", kIdeal + pump(kSpecs) + block("P2", "R3PUMP"), "", 1, {"outlet of both P1 and P2"}},
    {"misspelt variable", kIdeal + pump("DELTAP = 1.0e5"), "", 1, {"has no variable 'DELTAP'"}},
    {"missing inlet conditions", "[properties]\ncomponents = [\"H2O\"]\n[streams.FEED]\npressure = 1.0e5\nflows = { H2O = 1.0 }\n[streams.PROD]\n" + pump(""), "", 1, {"feed stream FEED needs"}},
    {"non-numeric value", kIdeal + pump("DELTA_P = \"high\""), "", 1, {":15: fix value of DELTA_P must be a number"}},
    {"nearest variable", edit("engineering/water_pump.toml", {{"PUMP_EFF =", "PUMP_EF ="}}), "", 1, {"has no variable 'PUMP_EF' (did you mean PUMP_EFF?)"}},
    {"unit that does not fit the variable", edit("engineering/water_pump.toml", {{"\"75 %\"", "\"75 kW\""}}), "", 1, {"bad.toml:32: fix value of PUMP_EFF in block P1: '75 kW' is not a plain number"}},
    {"temperature for a pressure", edit("engineering/water_pump.toml", {{"\"25 bar(a)\"", "\"25 degC\""}}), "", 1,
     {"bad.toml:32: fix value of PROD.PRESSURE in block P1: '25 degC' does not measure a pressure; a pressure is written in Pa"}},
    {"nearest quantity", edit("engineering/water_pump.toml", {{"pressure = \"bar\"", "presure = \"bar\""}}), "", 1, {"'presure' is not a quantity (did you mean pressure?"}},
    {"report unit of another quantity", edit("engineering/water_pump.toml", {{"pressure = \"bar\"", "pressure = \"kg\""}}), "", 1, {"kg"}},
    {"report unit chosen", edit("engineering/water_pump.toml", {{"pressure = \"bar\"", "pressure = \"psi\""}}), "", 0, {"\"pressure\":\"psi\""}},
    // Only functions a named library defines are models, and only model entries
    // (fuzzing found libc's abort and exit taken as models).
    {"libc abort", kIdeal + block("B1", "abort"), "", 1, {":9: block B1: model 'abort' is not an entry of the loaded library"}},
    {"libc exit", kIdeal + block("B1", "exit"), "", 1, {"model 'exit' is not an entry"}},
    {"user model as a model", "libraries = [\"libr3user_examples.so\"]\n" + kIdeal + block("B1", "R3UHEAT"), "", 1,
     {":10: block B1: 'R3UHEAT' in ", " is a user model for the numeric layer (80 arguments), not a model entry; "
                                     "wrap it: model = \"R3NUML\" with user_model = \"R3UHEAT\""}},
    {"library serving no block", kIdeal + pump(kSpecs), "--library " + kBad, 1, {" provides none of the case's models (it exports R3BAD)"}},
    {"free a product variable", "free = [\"PROD.TOTAL_FLOW\"]\n" + kWater + pump(kSpecs, "[1, 1]"), "", 1, {"is not a variable of a feed stream"}},
    {"free an unknown feed variable", "free = [\"FEED.VOLUME\"]\n" + kWater + pump(kSpecs, "[1, 1]"), "", 1, {"feed stream FEED has no variable 'VOLUME'"}},
    {"loop without a feed", "[properties]\ncomponents = [\"H2O\"]\n[streams.A]\n[streams.B]\n" +
         block("P1", "R3PUMP", "[1, 1]", kSpecs, "A", "B") + block("P2", "R3PUMP", "[1, 1]", kSpecs, "B", "A"),
     "", 1, {"no feed: stream A is in a loop that nothing feeds (P1 -> P2 -> P1)"}},
    // Specification errors: the likeliest candidate, with its block and units.
    {"too few specifications", kIdeal + pump("DELTA_P = 1.0e5"), "", 3, {"specification(s) missing"}},
    {"too many specifications", kIdeal + pump(kSpecs + ", BHP = 1000.0"), "", 3, {"specification(s) too many"}},
    {"pump efficiency missing", kWater + pump("DELTA_P = 1.0e5, DR_EFF = 1.0", "[1, 1]"), "", 3,
     {"fix 1 of: P1.PUMP_EFF (block P1)", "RESULTS ARE NOT A SOLUTION (specification error)", "\"state\":\"specification error\""}},
    {"valve FP missing", edit("valve/pump_valve.toml", {{"FP = 1.0, ", ""}}), "", 3,
     {"fix 1 of: FV1.FP (block FV1)", "RESULTS ARE NOT A SOLUTION (specification error)", "\"state\":\"specification error\""}},
    {"pump power in surplus", kWater + pump(kSpecs + ", BHP = 1.0e4", "[1, 1]"), "", 3,
     {"free 1 of the fixed variables P1.BHP (block P1, W)", "RESULTS ARE NOT A SOLUTION (specification error)", "\"state\":\"specification error\""}},
    // A run that is not a solution says so everywhere: a compressor whose
    // discharge temperature is held at the model's own 500 K bound.
    {"held on a bound", edit("rcmp/defaults.toml", {{"bounds = { DISCH_TEMP = [50.0, 800.0] }", ""}, {"int = [0, 3, 0]", "int = [1, 3, 0]"}}), "", 3,
     {"STATUS               not converged", "RESULTS ARE NOT A SOLUTION", "R3RCMP RESULTS", "RESULTS ARE NOT A SOLUTION", "STREAM RESULTS",
      "\"largest_residuals\":[{", "\"on_bounds\":[{\"bound\":500.0,\"held\":true,\"set_by\":\"K1\"", "\"variable\":\"K1.DISCH_TEMP\"}]",
      "\"verdict\":\"infeasible\"}", "\"failed_block\":\"K1\"", "\"state\":\"not converged\""},
     {}, [](const Result& r) {
       EXPECT_GT(r.j["status"]["residual_norm"].get<double>(), 1e-3);
       EXPECT_EQ(r.j["residual_norm"], r.j["status"]["residual_norm"]);
     }},
    {"valve that would raise the pressure", edit("valve/pump_valve.toml", {{"DELTA_P = 6.0e5", "DELTA_P = 1.0e5"}}), "", 3,
     {"\"on_bounds\":[", "\"variable\":\"FV1.VALVE_POS\"", "\"verdict\":\"infeasible\""}},
    // A valve bounding its drop by the pump's guessed inlet pressure: released.
    {"bound from a guess", edit("valve/pump_valve.toml", {{"DELTA_P = 6.0e5, ", ""}, {"CVMAX = 200.0", "VALVE_POS = 40.0, CVMAX = 200.0"}, {"max_iterations = 50", "max_iterations = 200"}}),
     "", 0, {"\"variable\":\"FV1.DELTAP\""}, {}, [](const Result& r) { EXPECT_GT(r.j["variables"]["P1.DELTA_P"].get<double>(), 1.0e6); }},
    // Inputs almost certainly wrong solve, with a warning naming the variable.
    {"efficiency as a percentage", kWater + pump("DELTA_P = 1.0e5, PUMP_EFF = 75.0, DR_EFF = 1.0", "[1, 1]"), "", 0,
     {"r3sim: warning: ", "a percentage? write 0.75", "\"variable\":\"P1.PUMP_EFF\""}},
    {"efficiency above 1", kWater + pump("DELTA_P = 1.0e5, PUMP_EFF = 0.7, DR_EFF = 1.5", "[1, 1]"), "", 0,
     {"r3sim: warning: ", "an efficiency above 1", "\"variable\":\"P1.DR_EFF\""}},
    {"temperature in Celsius", edit("valve/liquid_water.toml", {{"temperature = 300.0", "temperature = 25.0"}}), "", 0,
     {"r3sim: warning: ", "25 C is 298.15 K", "\"variable\":\"CW.TEMPERATURE\""}},
    {"vapour valve on a liquid", edit("valve/liquid_water.toml", {{"int = [0, 2, 1, 0, 1, 1]", "int = [0, 1, 1, 0, 1, 1]"}}), "", 3,
     {"r3sim: warning: ", "is set for vapour", "\"variable\":\"CW.VAPOUR_FRACTION\""}},
    // A temperature difference in degF is 5/9 K per degree, not a temperature.
    {"temperature difference", edit("htua/counter_current.toml", {{"T_APPR_MIN_HOT_IN = 10.0", "T_APPR_MIN_HOT_IN = \"18 degF\""}}), "", 0, {}, {},
     [](const Result& r) { EXPECT_NEAR(r.j["variables"]["HX1.T_APPR_MIN_HOT_IN"].get<double>(), 10.0, 1e-12); }},
    // Long chains: 10,000 pumps of 1 kPa meet the default tolerance; 3,000 with
    // fixed powers find their efficiencies.
    {"10000 pumps", chain(10000, "PUMP_EFF = 0.7", "1.0e3"), "--report /dev/null", 0, {}, {},
     [](const Result& r) { EXPECT_LE(r.j.value("iterations", 99), 2); }},
    {"3000 pumps", chain(3000, "BHP = 2.0e4", "1.0e5"), "--report /dev/null", 0, {}, {},
     [](const Result& r) { EXPECT_LE(r.j.value("iterations", 99), 5); }},
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.what; }

class R3simRows : public ::testing::TestWithParam<Row> {};

TEST_P(R3simRows, ExitCodeAndOutput) {
  const Row& row = GetParam();
  const bool run = !row.text.empty() && (row.args.empty() || row.args.rfind("--", 0) == 0);
  const Result r = r3sim(run ? "run @ --quiet --json # " + row.args : row.args, row.text);
  EXPECT_EQ(r.code, row.code) << r.out.substr(0, 4000);
  const std::string all = r.out + (r.j.is_discarded() || r.j.is_null() ? "" : r.j.dump());
  size_t at = 0;
  for (const std::string& f : row.has) {
    const size_t found = all.find(f, at);
    EXPECT_NE(found, std::string::npos) << "'" << f << "' (in this order) in:\n" << all.substr(0, 6000);
    at = found == std::string::npos ? at : found + f.size();
  }
  for (const std::string& f : row.lacks) EXPECT_EQ(all.find(f), std::string::npos) << f << " in:\n" << all;
  if (row.also) row.also(r);
}

INSTANTIATE_TEST_SUITE_P(R3sim, R3simRows, ::testing::ValuesIn(kRows), [](const auto& i) {
  return std::regex_replace(i.param.what, std::regex("[^A-Za-z0-9]"), "_");
});

// A pump's hand calculation from its solved streams: the shaft power from the
// pressure rise, the suction density and the efficiency; the energy balance.
void check_pump(const json& j, const std::string& blk, const std::string& in, const std::string& out, double eff, double dr_eff) {
  const json &si = j["streams"][in], &so = j["streams"][out], &v = j["variables"];
  const double F = si["total_flow"], mw = si["molecular_weight"], rho = si["density"];
  const double dp = so["pressure"].get<double>() - si["pressure"].get<double>(), bhp = F * mw * dp / (rho * eff);
  EXPECT_NEAR(v[blk + ".BHP"].get<double>(), bhp, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".EHP"].get<double>(), bhp / dr_eff, 1e-6 * bhp);
  EXPECT_NEAR(v[blk + ".P_HEAD"].get<double>(), dp / (rho * 9.80665), 1e-6 * dp / (rho * 9.80665));
  EXPECT_NEAR((so["mass_enthalpy"].get<double>() - si["mass_enthalpy"].get<double>()) * mw * F, bhp, 1e-5 * bhp);
  EXPECT_GT(so["temperature"].get<double>(), si["temperature"].get<double>());
  EXPECT_EQ(so["vapour_fraction"].get<double>(), 0.0);
}

TEST(R3sim, ExamplesAgreeWithHandCalculations) {
  const json pump = solve("pump.toml");
  EXPECT_DOUBLE_EQ(pump["streams"]["PROD"]["pressure"].get<double>(), 6.0e5);
  check_pump(pump, "P1", "FEED", "PROD", 0.7, 1.0);
  EXPECT_NEAR(pump["streams"]["POWER"]["value"].get<double>(), pump["variables"]["P1.EHP"].get<double>(), 1e-6);
  EXPECT_NEAR(solve("pump_eo.toml")["variables"]["P1.PUMP_EFF"].get<double>(), 0.7, 1e-5);
  const json series = solve("pumps_series.toml");
  EXPECT_DOUBLE_EQ(series["streams"]["MID"]["pressure"].get<double>(), 6.0e5);
  EXPECT_DOUBLE_EQ(series["streams"]["PROD"]["pressure"].get<double>(), 1.5e6);
  check_pump(series, "P1", "FEED", "MID", 0.65, 0.95);
  check_pump(series, "P2", "MID", "PROD", 0.7, 0.95);
  // A liquid valve passes a flow proportional to the square root of the
  // density: 5.2381 kmol/s at 1066.4 kg/m3 is 5.0637 at water's 996.56.
  const json rating = solve("network/valve_rating.toml")["streams"]["CW"];
  EXPECT_NEAR(rating["total_flow"].get<double>(), 5.2381 * std::sqrt(996.56 / 1066.4), 1e-3);
  EXPECT_DOUBLE_EQ(rating["flows"]["H2O"].get<double>(), rating["total_flow"].get<double>());
  const json line = solve("network/pressure_driven.toml")["streams"];
  EXPECT_DOUBLE_EQ(line["OUT"]["pressure"].get<double>(), 3.0e5);
  EXPECT_DOUBLE_EQ(line["SUCT"]["total_flow"].get<double>(), line["OUT"]["total_flow"].get<double>());
  // A recycle with no guess starts from the feed.
  EXPECT_NEAR(solve("recycle/pump_loop.toml")["streams"]["REC"]["total_flow"].get<double>(), 0.25, 1e-9);
  // The engineering-units pump solves to its SI twin's solution.
  const json eng = solve("engineering/water_pump.toml"), si = solve("engineering/water_pump_si.toml");
  ASSERT_EQ(eng["variables"].size(), si["variables"].size());
  for (const auto& [name, value] : si["variables"].items()) {
    EXPECT_NEAR(eng["variables"][name].get<double>(), value.get<double>(), 1e-12 * std::fabs(value.get<double>())) << name;
  }
  // 50 m3/h at the feed's conditions, shown in the units the case chose.
  EXPECT_NEAR(eng["streams"]["FEED"]["volume_flow"].get<double>(), 50.0, 1e-9);
  EXPECT_EQ(eng["units"]["volume_flow"], "m3/h");
  EXPECT_EQ(eng["units"]["temperature"], "degC");
  EXPECT_EQ(eng["stream_order"], json({"FEED", "PROD", "POWER"}));
}

// One case per model: the report and the stream table with the report units
// set to MET and to ENG (tests/units/golden; R3_UPDATE_GOLDEN=1 rewrites them).
TEST(R3sim, ReportsAndStreamTablesInMetAndEng) {
  for (const std::string name : {"pump", "ccmp/ccmp_pratio", "csep/two_outlets", "htua/counter_current", "rcmp/pressure_power",
                                 "skew/mole_fixed_knots", "stoic/methane_combustion", "strb/standard",
                                 "trex/vapour_outlet_pressure", "valve/liquid_water", "numl/heater"}) {
    for (const std::string set : {"MET", "ENG"}) {
      const std::string text = std::regex_replace(read(kSrc / "examples" / (name + ".toml")), std::regex("report_units = \"[A-Z]+\"\n"), "");
      const Result r = r3sim("run @ --quiet --history /dev/null",
                          std::regex_replace(text, std::regex("\\[properties\\]\n"), "[properties]\nreport_units = \"" + set + "\"\n"), false);
      EXPECT_EQ(r.code, 0) << name << " " << set;
      const fs::path golden = kSrc / "tests/units/golden" / (std::regex_replace(name, std::regex("/"), "_") + "_" + set + ".txt");
      if (std::getenv("R3_UPDATE_GOLDEN") != nullptr) std::ofstream(golden) << r.out;
      EXPECT_EQ(r.out, read(golden)) << golden;
    }
  }
}

}  // namespace
