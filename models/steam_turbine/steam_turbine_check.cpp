// R3STRB input check (i3tchk): integer parameters, stream counts, efficiency
// codes, curve tables and the relative-efficiency parameters. Each failure is
// written to the standard output as list-directed records, the first prefixed
// "!! i3tchk: ".
#include <initializer_list>
#include <string_view>

#include "framework/host_services.h"
#include "framework/model_checks.h"
#include "models/steam_turbine/steam_turbine.h"

namespace r3::steam_turbine {
namespace {

// One failure: its lines, the first behind the routine's prefix.
struct Writer {
  bool quiet;
  void lines(std::initializer_list<std::string_view> ls) const {
    if (!quiet) write_check_lines("!! i3tchk: ", ls);
  }
};

constexpr std::string_view kCodeLines[] = {
    "1 = fixed value specification", "2 = water rate specification", "3 = user efficiency curve",
    "4 = user water-rate curve", "5 = user relative efficiency curve"};

}  // namespace

int32_t i3tchk(const Entry& e, const State& st, bool quiet) {
  const Writer out{quiet};
  const double rm = hs::rmiss();
  if (st.imode != 0 && st.imode != 1) {
    out.lines(
        {"error in imode.  valid values are:", "0 = sequential modular", "1 = equation based"});
    return 1;
  }
  if (st.irunmd < -1) {
    out.lines({"irunmd cannot be less than -1.", "valid values are:", " 0 = use default parameters",
               "-1 = use previous calculated parameters", "+i = use latest parameters calculated ",
               "within the last i runs"});
    return 1;
  }
  if (st.npass > 50) {
    out.lines({"no more than 50 sequential initialization passes permitted"});
    out.lines({"please reset the npass value in the input file int array"});
    return 1;
  }
  if (st.iturb < 1 || st.iturb > 3) {
    out.lines({"error in iturb. valid values are:", "1 = standard turbine",
               "2 = condensing turbine", "3 = admission turbine"});
    return 1;
  }
  if (st.iturb <= 2 && st.s > 1) {
    out.lines({"only a single inlet material stream is permitted",
               "            for standard/condensing turbine"});
    return 1;
  }
  if (st.iturb == 3 && st.s != 2) {
    out.lines(
        {"two material inlet material streams are needed", "            for admission turbine"});
    return 1;
  }
  if (st.ninfi >= 2) {
    out.lines({"only a single inlet information (work) stream is permitted"});
    return 1;
  }
  if (st.ninfout >= 2) {
    out.lines({"only a single outlet information (work) stream is permitted"});
    return 1;
  }
  const int32_t c1 = st.code[0];
  if (st.iturb <= 2 && (c1 < 1 || c1 > 5)) {
    out.lines({"error in efficiency code. valid values are:", kCodeLines[0], kCodeLines[1],
               kCodeLines[2], kCodeLines[3], kCodeLines[4]});
    return 1;
  }
  if (st.iturb == 3 && (c1 < 1 || c1 > 4)) {
    out.lines({"error in efficiency code for stage1. valid values are:", kCodeLines[0],
               kCodeLines[1], kCodeLines[2], kCodeLines[3]});
    return 1;
  }
  if ((c1 == 3 || c1 == 5) && st.ne == 0) {
    out.lines({"error: 0 user eff-curve data points entered"});
    return 1;
  }
  if (c1 == 4 && st.nw == 0) {
    out.lines({"error: 0 user wr-curve data points entered"});
    return 1;
  }
  if (st.iturb == 3) {
    const int32_t c2 = st.code[1];
    if (c2 < 1 || c2 > 4) {
      out.lines({"error in efficiency code for stage2. valid values are:", kCodeLines[0],
                 kCodeLines[1], kCodeLines[2], kCodeLines[3]});
      return 1;
    }
    if (c2 == 3 && st.ne == 0) {
      out.lines({"error: no user eff-curve data points entered"});
      return 1;
    }
    if (c2 == 4 && st.nw == 0) {
      out.lines({"error: no user wr-curve data points entered"});
      return 1;
    }
  }
  if (st.nmax > kMaxCurve) {
    out.lines({"no more than 100 points are permitted in user efficiency curve"});
    out.lines({"please compress the user efficiency curve"});
    return 1;
  }
  auto any_missing = [&](const double* x, const double* y, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
      if (!(x[i] < rm) || !(y[i] < rm)) return true;
    }
    return false;
  };
  if (st.ne >= 1 && any_missing(st.effx, st.effy, st.ne)) {
    out.lines({"error: efficiency curve has missing data points"});
    return 1;
  }
  if (st.nw >= 1 && any_missing(st.wrx, st.wry, st.nw)) {
    out.lines({"error: water rate curve has missing data points"});
    return 1;
  }
  bool rel = false;
  for (int k = 0; k < st.s && k < kMaxStages; ++k) rel = rel || st.code[k] == 5;
  if (rel) {
    constexpr std::string_view kRel[7] = {
        "error in rel-eff: reference efficiency value is missing",
        "error in rel-eff: blade speed value is missing",
        "error in rel-eff: blade diameter value is missing",
        "error in rel-eff: design power value is missing",
        "error in rel-eff: design blade speed value is missing",
        "error in rel-eff: speed exponent value is missing",
        "error in rel-eff: reference speed-param value is missing"};
    for (int k = 0; k < 7; ++k) {
      if (!(st.relpar[k] < rm)) {
        out.lines({kRel[k]});
        return 1;
      }
    }
  }
  // What the block needs to lay out its streams at all: an inlet, an outlet
  // and water among the components.
  if (st.s < 1) {
    out.lines({"one inlet material stream is needed"});
    return 1;
  }
  if (st.nout < 1) {
    out.lines({"one outlet material stream is needed"});
    return 1;
  }
  if (st.nout > kMaxOutlets) {
    out.lines({"no more than 1000 outlet material streams are permitted"});
    return 1;
  }
  if (st.w < 1 || st.w > st.ncf) {
    out.lines({"water (h2o) must be one of the components"});
    return 1;
  }
  (void)e;
  return 0;
}

}  // namespace r3::steam_turbine
