// R3VALV: input check (r3vchk), sequential initialisation (R3VCFI) with its
// inlet-property step (R3V_INPROPS), and the results report.
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/control_valve/control_valve.h"

namespace r3::control_valve {
namespace {

// --- r3vchk -----------------------------------------------------------------

// One failed check: asks the data manager's gate, and when it answers yes
// puts the lines into the error buffer and prints them.
void check_message(int32_t cls2, int32_t nprint, std::initializer_list<std::string> lines) {
  int32_t routine[2];
  std::memcpy(routine, "r3vchk  ", 8);
  int32_t cls1 = 2, zero = 0, two = 2;
  if (DMS_IRRCHK(routine, &cls1, &cls2, &DMS_GLOBAL[kGlobalMessageLevel], &DMS_GLOBAL[kGlobalGateLevel],
                 &zero, &zero, &two) == 0) {
    return;
  }
  int line = 0;
  for (const std::string& l : lines) hs::errout_line(++line, std::string(6, ' ') + l);
  DMS_ERRPRT(&nprint);
}

std::string has_connected(int32_t n) {
  return rec::Record().text("This block has ").i(n, 3).text(" connected.").str();
}

std::string param_line(std::string_view what, int32_t value) {
  return rec::Record().text("INT param. for ").text(what).text(" ").i(value, 3).text(" is invalid.").str();
}

// --- Messages of R3VCFI and R3V_INPROPS ---------------------------------------

// List-directed, first to the second message unit, then to the message unit.
void message(const rec::ListDirected& r) {
  hs::write(hs::second_message_unit(), r.view());
  hs::write(hs::message_unit(), r.view());
}
void message(std::string_view text) { message(rec::ListDirected().add(text)); }

bool usable(double v) { return !hs::is_missing(v) && std::isfinite(v) && v > 0.0; }

// --- R3V_INPROPS --------------------------------------------------------------

// Inlet temperature, volume, molecular weight, density, flows and, for a
// vapour, heat capacity, heat-capacity ratio and FK, from the inlet stream
// vector. False on failure (message written).
bool R3V_INPROPS(Entry& e, State& st, int32_t ncf) {
  const Setup& s = st.s;
  double vec[kMaxComponents + 9];
  for (int32_t i = 0; i < ncf + 9; ++i) vec[i] = e.SMATIN[i];
  const double F = vec[ncf];
  if (hs::is_missing(F) || !(F > 0.0) || !std::isfinite(F)) {
    message("!! Error in R3V_INPROPS: Invalid total molar flow.");
    return false;
  }
  double x[kMaxComponents];
  for (int32_t i = 0; i < s.ncomp; ++i) x[i] = vec[i] / F;
  double P = vec[ncf + 2];
  if (hs::is_missing(vec[ncf + 1]) && usable(P)) {
    int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second = 0.0, test = vec[ncf + 1];
    FLSH_FLASH(vec, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &P, &second,
               &test, &PPEXEC_USER[kPpexecDiagnosticLevel], &PPEXEC_USER[kPpexecPropertyWord],
               &PPEXEC_USER[kPpexecSolutionState], &w17, &w18, &w19, &ret);
    if (ret == -1) message("!! Warning in R3V_INPROPS: Inlet stream flash failed.");
    if (ret == -2) message("!! Warning in R3V_INPROPS: Extrapolated EOS root used.");
  }
  const double T = vec[ncf + 1], mw = vec[ncf + 8];
  double rho = vec[ncf + 7];
  if (hs::is_missing(rho) && usable(T) && usable(P) && usable(mw)) {
    int32_t code = 1, ist = 0;
    double v = hs::rmiss(), v2 = 0.0;
    if (vapour(st)) {
      PPMON_VOLV(&T, &P, x, &st.s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
                 &code, &v, &v2, &ist);
    } else {
      PPMON_VOLL(&T, &P, x, &st.s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
                 &code, &v, &v2, &ist);
    }
    if (usable(v)) rho = mw / v;
  }
  const char* error = nullptr;
  if (!usable(T)) {
    error = "!! Error in R3V_INPROPS: Invalid stream temperature.";
  } else if (!usable(P)) {
    error = "!! Error in R3V_INPROPS: Invalid stream pressure.";
  } else if (!usable(rho)) {
    error = "!! Error in R3V_INPROPS: Invalid mass density.";
  } else if (!usable(mw)) {
    error = "!! Error in R3V_INPROPS: Invalid molecular weight.";
  }
  double cp = 0.0;
  if (error == nullptr && vapour(st)) {
    int32_t code = 2, ist = 0;
    double h = 0.0;
    cp = hs::rmiss();
    PPMON_ENTHV(&T, &P, x, &st.s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
                PPEXEC_KBASE, &code, &h, &cp, &ist);
    // A heat capacity at or below R gives no heat-capacity ratio.
    if (!usable(cp) || !(cp > kGasConstant)) error = "!! Error in R3V_INPROPS: Invalid heat capacity.";
  }
  if (error != nullptr) {
    message(error);
    return false;
  }
  double* w = st.w;
  w[INLET_TEMP] = T;
  w[INLET_MOLV] = mw / rho;
  w[MW] = mw;
  w[INLET_DENS] = rho;
  w[VOL_FLOW] = F * mw / rho;
  w[WT_FLOW] = F * mw;
  if (vapour(st)) {
    w[INLET_CP] = cp;
    w[INLET_KRATIO] = cp / (cp - kGasConstant);
    w[FK] = w[INLET_KRATIO] / 1.4;
  }
  return true;
}

// --- R3VCFI: solving steps ------------------------------------------------------

// The working values and the steps of the initialisation. Each step computes
// one quantity from the others as they stand; a step whose inputs give no
// finite, meaningful result leaves its target as it is.
struct Cfi {
  State& st;
  double pin;
  double* w;
  int32_t chr;

  // Characteristic.
  void cv_from_position() {
    const double r = ratio(chr, st.curve, w[VP_PRED]);
    if (std::isfinite(r) && r >= 0.0) w[CV] = w[CVMAX] * r;
  }
  void position_from_cv() {
    if (!(w[CVMAX] > 0.0)) return;
    double vp = 0.0;
    if (position(chr, st.curve, w[CV] / w[CVMAX], vp)) w[VP_PRED] = vp;
  }
  void cvmax_from_cv() {
    const double r = ratio(chr, st.curve, w[VP_PRED]);
    if (std::isfinite(r) && r > 0.0) w[CVMAX] = w[CV] / r;
  }
  // Offsets and pressures.
  void vp_pred() { w[VP_PRED] = w[VALVE_POS] - w[VP_BIAS]; }
  void valve_pos() { w[VALVE_POS] = w[VP_PRED] + w[VP_BIAS]; }
  void dp_pred() { w[DP_PRED] = w[DELTAP] - w[DP_BIAS]; }
  void deltap_from_pred() { w[DELTAP] = w[DP_BIAS] + w[DP_PRED]; }
  void pout_from_drop() { st.pout = pin - w[DELTAP]; }
  void drop_from_pout() { w[DELTAP] = pin - st.pout; }
  // The drop from the outlet pressure when the outlet pressure is only a
  // guess: without a positive drop (an outlet still at the inlet pressure)
  // the drop keeps its value and the outlet pressure follows it.
  void drop_from_guess() {
    const double d = pin - st.pout;
    if (!hs::is_missing(st.pout) && std::isfinite(d) && d > 0.0) {
      w[DELTAP] = d;
    } else {
      pout_from_drop();
    }
  }
  // Drop ratio and choking. The ratio belongs to the predicted drop, as in
  // CALC_PRATIO, so that a drop bias is not counted into the flow.
  void x_from_drop() {
    if (pin > 0.0) w[X] = w[DP_PRED] / pin;
  }
  void drop_from_x() {
    w[DP_PRED] = w[X] * pin;
    deltap_from_pred();
  }
  void choke() { w[XCHOKE] = w[X] <= w[FK] * w[XT] ? w[X] : w[FK] * w[XT]; }
  void expansion() {
    const double d = 3.0 * w[FK] * w[XT];
    if (d > 0.0) w[YEXP] = 1.0 - w[XCHOKE] / d;
  }
  // Valve equations.
  void cv_from_xchoke() {
    const double a = w[XCHOKE] * pin * w[INLET_DENS], b = kSizing * w[FP] * w[YEXP];
    if (a > 0.0 && b > 0.0 && std::isfinite(a)) w[CV] = w[WT_FLOW] / (b * std::sqrt(a));
  }
  void xchoke_from_cv() {
    const double k = kSizing * w[FP] * w[CV] * w[YEXP];
    const double d = k * k * pin * w[INLET_DENS];
    if (d > 0.0 && std::isfinite(d)) w[XCHOKE] = w[WT_FLOW] * w[WT_FLOW] / d;
  }
  void cv_from_dp() {
    const double a = w[DP_PRED] * w[INLET_DENS], b = kSizing * w[FP];
    if (a > 0.0 && b > 0.0 && std::isfinite(a)) w[CV] = w[WT_FLOW] / (b * std::sqrt(a));
  }
  void dp_from_cv() {
    const double k = kSizing * w[FP] * w[CV];
    const double d = k * k * w[INLET_DENS];
    if (d > 0.0 && std::isfinite(d)) w[DP_PRED] = w[WT_FLOW] * w[WT_FLOW] / d;
  }
  // Vapour: the flow coefficient from the drop ratio as the drop gives it.
  void vapour_cv_from_drop() {
    x_from_drop();
    choke();
    expansion();
    cv_from_xchoke();
  }
  // The flow coefficient from the drop, as the inlet's phase wants it.
  void cv_from_drop(bool vap) { vap ? vapour_cv_from_drop() : cv_from_dp(); }
  // One of the two positions from the other: the predicted from the actual
  // where the actual is the one to keep, otherwise the actual from the
  // predicted.
  void positions(bool keep_actual) { keep_actual ? vp_pred() : valve_pos(); }
  // With the flow coefficient known, the positions and the largest
  // coefficient: the position from the largest coefficient where that is
  // given, otherwise the largest coefficient from the position.
  void positions_and_cvmax(bool cvmax_given, bool pos_given, bool vpp_given) {
    if (cvmax_given) {
      position_from_cv();
      valve_pos();
    } else {
      positions(pos_given || !vpp_given);
      cvmax_from_cv();
    }
  }
};

void typical_values(State& st, double pin) {
  double* w = st.w;
  const double t[kNumVars + 1] = {0.0,
                                  0.3 * st.Ts,
                                  st.Ms,
                                  10.0,
                                  st.Ds,
                                  st.Qs,
                                  10.0 * st.Fs,
                                  st.Hs / st.Ts,
                                  1.6666666666666667,
                                  1.1904761904761907,
                                  0.5,
                                  1.0,
                                  0.1,
                                  0.1,
                                  1.0,
                                  100.0,
                                  100.0,
                                  50.0,
                                  50.0,
                                  0.0,
                                  0.1 * pin,
                                  0.1 * pin,
                                  0.0};
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] == 0) continue;
    if (hs::is_missing(w[v])) w[v] = t[v];
  }
}

// After the paths: a value no step could make finite takes its typical value.
void finite_values(State& st, double pin) {
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] != 0 && !std::isfinite(st.w[v])) st.w[v] = hs::rmiss();
  }
  typical_values(st, pin);
  if (!std::isfinite(st.pout)) st.pout = 0.9 * pin;
}

}  // namespace

int32_t r3vchk(const Entry& e, const State& st) {
  int32_t errors = 0;
  auto fail = [&](int32_t cls2, int32_t nprint, std::initializer_list<std::string> lines) {
    ++errors;
    check_message(cls2, nprint, lines);
  };
  if (*e.NMATIN != 1) {
    fail(1, 3, {"R3VALV requires one material inlet stream.", has_connected(*e.NMATIN)});
  }
  if (*e.NMATOUT != 1) {
    fail(1, 3, {"R3VALV requires one material outlet stream.", has_connected(*e.NMATOUT)});
  }
  if (*e.NINFI != 0) {
    fail(1, 3, {"R3VALV cannot have any inlet info. streams.", has_connected(*e.NINFI)});
  }
  if (*e.NINFOUT != 0) {
    fail(1, 3, {"R3VALV cannot have any outlet info. streams.", has_connected(*e.NINFOUT)});
  }
  if (st.s.ncomp > kMaxComponents) {
    fail(1, 3,
         {rec::Record().text("R3VALV can only support ").i(kMaxComponents, 3).text(" components.").str(),
          rec::Record().text("This block has ").i(st.s.ncomp, 3).text(" components.").str()});
  }
  if (st.imode != 0 && st.imode != 1) {
    fail(1, 3,
         {param_line("simulation mode", st.imode), "Allowed values are 0 (sequential modular)",
          "and 1 (simultaneous flowsheet)"});
  }
  if (st.phase != kVapour && st.phase != kLiquid) {
    fail(4, 2, {param_line("inlet phase", st.phase), "Allowed values are 1 (vapor) and 2 (liquid)"});
  }
  if (st.chr < 0 || st.chr > 6) {
    fail(5, 2, {param_line("valve char. eqn.", st.chr), "Allowed values are 0 thru 6"});
  }
  if (st.direction != 0 && st.direction != 1) {
    fail(6, 2,
         {param_line("valve direction", st.direction),
          "Allowed values are 0 (direct) and 1 (reverse)"});
  }
  if (st.choke != 0 && st.choke != 1) {
    fail(6, 2,
         {param_line("choke enforcement", st.choke), "Allowed values are 0 (warn) and 1 (enforce)"});
  }
  if (st.npass < 0) {
    fail(6, 2, {param_line("# of seq. passes", st.npass), "Value must be >= 0"});
  }
  // The table of the interpolated characteristic.
  if (st.chr == 0 && st.table < 0) {
    fail(5, 3,
         {"REAL params. for valve char. 0 are invalid.",
          "Give 2 to 50 pairs (position %, CV/CVMAX), both",
          "rising, positions 0 thru 100, CV/CVMAX >= 0"});
  }
  return errors > 0 ? 1 : 0;
}

void R3VCFI(Entry& e, State& st, int32_t ncf) {
  *e.ISTAT = 0;
  const StreamMap& map = st.s.map;
  double* w = st.w;
  // Working values from the variable vector; a fixed value must be given.
  st.pout = e.Y[map.out_pres - 1];
  if (hs::fixed(e.IYATTR[map.out_pres - 1]) && hs::is_missing(st.pout)) {
    message(rec::ListDirected().add("!! Error in R3VCFI: Y(").add(map.out_pres).add(") is fixed at RMISS"));
    *e.ISTAT = 1;
  }
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] == 0) continue;
    const int32_t j = st.pos[v] - 1;
    w[v] = e.Y[j];
    if (hs::fixed(e.IYATTR[j]) && hs::is_missing(w[v])) {
      message(rec::ListDirected().add("!! Error in R3VCFI: Y(").add(st.pos[v]).add(") is fixed at RMISS"));
      *e.ISTAT = 1;
    }
  }
  const double pin = e.Y[map.in_pres - 1];
  if (pin <= 0.0) {
    message("!! Error in R3VCFI: Feed pressure cannot be fixed at <= 0");
    *e.ISTAT = 1;
  } else if (st.npass < 1 && !usable(pin)) {
    // Without passes the inlet is never examined: a missing feed pressure
    // would make every pressure default meaningless.
    message("!! Error in R3VCFI: Feed pressure is missing");
    *e.ISTAT = 1;
  }
  if (*e.ISTAT != 0) return;
  typical_values(st, pin);
  if (st.npass < 1) return;
  auto fixed = [&](int v) { return st.pos[v] != 0 && hs::fixed(e.IYATTR[st.pos[v] - 1]); };
  const bool vap = vapour(st);
  const bool f_cv = fixed(CV), f_cvmax = fixed(CVMAX), f_pos = fixed(VALVE_POS),
             f_vpp = fixed(VP_PRED), f_dp = fixed(DELTAP), f_dpp = fixed(DP_PRED),
             f_pout = hs::fixed(e.IYATTR[map.out_pres - 1]), f_x = vap && fixed(X);
  if (!R3V_INPROPS(e, st, ncf)) {
    *e.ISTAT = 1;
    message("!! Error in R3VCFI: Could not initialize inlet stream props");
    return;
  }
  Cfi c{st, pin, w, st.chr};
  if (f_pout || f_dp || f_dpp || f_x) {
    // Pressure side given.
    if (f_pout) {
      c.drop_from_pout();
      c.dp_pred();
    } else if (f_dp) {
      c.pout_from_drop();
      c.dp_pred();
    } else if (f_dpp) {
      c.deltap_from_pred();
      c.pout_from_drop();
    } else {
      c.choke();
      c.drop_from_x();
      c.pout_from_drop();
    }
    if (vap && f_x && !f_pout && !f_dp && !f_dpp) {
      c.expansion();
      c.cv_from_xchoke();
    } else {
      c.cv_from_drop(vap);
    }
    c.positions_and_cvmax(f_cvmax, f_pos, f_vpp);
  } else if (f_pos || f_vpp) {
    // Pressure side free, position given.
    c.positions(f_pos);
    if (f_cv || f_cvmax) {
      if (f_cvmax) {
        c.cv_from_position();
      } else {
        c.cvmax_from_cv();
      }
      if (!vap) {
        c.dp_from_cv();
        c.deltap_from_pred();
        c.pout_from_drop();
      } else {
        for (int32_t pass = 0; pass < st.npass; ++pass) {
          c.xchoke_from_cv();
          // The drop ratio that gives this flow: no larger than the choking
          // limit, which is the least drop at which the valve passes its
          // largest flow.
          if (w[XCHOKE] > w[FK] * w[XT]) w[XCHOKE] = w[FK] * w[XT];
          w[X] = w[XCHOKE];
          c.drop_from_x();
          c.expansion();
          c.pout_from_drop();
        }
      }
    } else {
      c.drop_from_guess();
      c.dp_pred();
      c.cv_from_drop(vap);
      c.cvmax_from_cv();
    }
  } else {
    // Pressure side free, position not given.
    c.drop_from_guess();
    c.dp_pred();
    c.vp_pred();
    c.cv_from_drop(vap);
    c.cvmax_from_cv();
  }
  finite_values(st, pin);
}

void R3VALV_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  auto value = [&](std::string_view label, double v) {
    hs::write(unit, rec::Record().x(4).a(label).x(1).e1p(v, 13, 6).view());
  };
  auto with_unit = [&](std::string_view text, double v, int32_t code) {
    int32_t label[2] = {0x20202020, 0x20202020};
    double converted = v;
    const int32_t c7 = 7, c6 = 6;
    ZREP_RCONV1(&code, &v, &converted, label, &c7, &c6);
    char name[8];
    int32_t nw = 2, len = 8;
    IU_I42STR(label, &nw, name, &len);
    int32_t used = 8;
    while (used > 0 && (name[used - 1] == ' ' || name[used - 1] == '\0')) --used;
    value(std::string(text) + "(" + std::string(name, static_cast<size_t>(used)) + ")", converted);
  };
  static constexpr const char* kCurves[] = {"interpolated", "linear",          "parabolic",
                                            "square root",  "quick opening",   "equal percentage",
                                            "hyperbolic"};
  const int32_t chr = (st.chr >= 0 && st.chr <= 5) ? st.chr : 6;
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3VALV RESULTS      ***").view());
  hs::write(unit, "");
  hs::write(unit, vapour(st) ? "  The inlet phase is vapor." : "  The inlet phase is liquid.");
  hs::write(unit, "  The valve characteristic is " + std::string(kCurves[chr]) + ".");
  hs::write(unit, "");
  const double pin = Y[map.in_pres - 1], pout = Y[map.out_pres - 1];
  with_unit("INLET PRESSURE", pin, kTypePressure);
  with_unit("OUTLET PRESSURE", pout, kTypePressure);
  with_unit("PRESSURE DROP (ACTUAL)", y(DELTAP), kTypePressure);
  with_unit("PRESSURE DROP (PREDICTED)", y(DP_PRED), kTypePressure);
  with_unit("PRESSURE DROP (BIAS)", y(DP_BIAS), kTypePressure);
  hs::write(unit, "");
  value("VALVE POSITION (ACTUAL) (%)", y(VALVE_POS));
  value("VALVE POSITION (PREDICTED) (%)", y(VP_PRED));
  value("VALVE POSITION (BIAS)(%)", y(VP_BIAS));
  hs::write(unit, "");
  with_unit("VOLUMETRIC FLOW", y(VOL_FLOW), kTypeVolumeFlow);
  with_unit("WEIGHT FLOW", y(WT_FLOW), kTypeMassFlow);
  hs::write(unit, "");
  value("PIPE GEOMETRY FACTOR", y(FP));
  value("MAXIMUM VALVE FLOW COEFFICIENT", y(CVMAX));
  value("ACTUAL VALVE FLOW COEFFICIENT", y(CV));
  if (vapour(st)) {
    hs::write(unit, "");
    value("TERMINAL PRESSURE DROP RATIO (XT)", y(XT));
    value("ACTUAL PRESSURE DROP RATIO (X)", y(XCHOKE));
    value("EXPANSION FACTOR (Y)", y(YEXP));
    value("HEAT CAPACITY CORRECTION FACTOR (FK)", y(FK));
  }
  hs::write(unit, "");
}

}  // namespace r3::control_valve
