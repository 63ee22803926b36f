// R3PUMP: input check, sequential initialisation with its suction and
// discharge property routines, and the results report.
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "framework/host_services.h"
#include "framework/model_checks.h"
#include "framework/records.h"
#include "models/pump/pump.h"

namespace r3::pump {
namespace {

using hs::message;
using hs::msg;

// Limits of the volumetric flow (m3/s) over which the efficiency correlation
// is fitted; outside them the nearer limit's efficiency applies.
constexpr double kQmin = 0.001261803933;
constexpr double kQmax = 0.3154509834;

double correlation_efficiency(double q) {
  q = std::fmin(std::fmax(q, kQmin), kQmax);
  const double l = std::log(q) + 9.670945162;
  return l * (0.24012299 - 0.011988872 * l) - 0.31609348;
}

// An efficiency the initialisation can divide by.
bool usable_efficiency(double eff) { return eff > 0.0 && eff <= 10.0; }

// Working context of one initialisation.
struct Ini {
  Entry& e;
  State& st;
  int32_t ncf = 0;
  double* sv;  // saved values, 1-based
  double& v(Var x) { return sv[saved_index(x)]; }
  double& pout() { return sv[S_POUT]; }
  double& hout() { return sv[S_HOUT]; }
  double yin(int32_t pos) const { return e.Y[pos - 1]; }
  bool fixed(int32_t pos) const { return hs::fixed(e.IYATTR[pos - 1]); }
  bool fixed(Var x) const { return fixed(st.pos[x]); }
};

// A failed step: its message; ISTAT = 1 and false.
bool fail(Ini& c, std::string_view first, std::string_view second = {}) {
  message(first, second);
  *c.e.ISTAT = 1;
  return false;
}

// Suction properties from the inlet stream vector. False on failure
// (ISTAT = 1 and the message written).
bool R3PUMP_INPROPS(Ini& c) {
  Entry& e = c.e;
  const int32_t ncf = c.ncf;
  const bool restart = hs::solution_state() == hs::kSolutionWritten;
  // The inlet vector is completed on a copy: the host's inlet array is only
  // read, and never beyond its LSTRM entries (a shorter vector reads as missing).
  double vec[kMaxComponents + 9];
  const int32_t have = *e.LSTRM < ncf + 9 ? (*e.LSTRM > 0 ? *e.LSTRM : 0) : ncf + 9;
  for (int32_t i = 0; i < ncf + 9; ++i) vec[i] = i < have ? e.SMATIN[i] : hs::rmiss();
  double T = vec[ncf + 1];
  if (hs::is_missing(T)) {
    if (!restart) {
      int32_t c1 = 1, c2 = 1, c3 = 2, c4 = 30, ret = 0, w = 0, w17 = 0, w18 = 0, w19 = 0;
      double tol = 0.0001, second = 0.0;
      double p = vec[ncf + 2], test = vec[ncf + 1];
      FLSH_FLASH(vec, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &p,
                 &second, &test, &PPEXEC_USER[kPpexecDiagnosticLevel],
                 &PPEXEC_USER[kPpexecPropertyWord], &w, &w17, &w18, &w19, &ret);
      if (ret == -1) message("Warning in R3PUMP_INPROPS: Inlet stream flash failed.");
      if (ret == -2) message("Warning in R3PUMP_INPROPS: Extrapolated EOS root used.");
      T = vec[ncf + 1];
    } else {
      T = c.v(SUCT_TEMP);
    }
  }
  const double F = vec[ncf], P = vec[ncf + 2], mw = vec[ncf + 8];
  double rho = vec[ncf + 7];
  if (hs::is_missing(rho)) {
    if (restart) {
      rho = c.v(RHO);
    } else {
      if (!hs::usable_positive(F)) {
        return fail(c, "Error in R3PUMP_INPROPS: Invalid total molar flow.");
      }
      double x[kMaxComponents];
      for (int32_t i = 0; i < c.st.s.ncomp; ++i) x[i] = vec[i] / F;
      int32_t code = 1, ist = 0;
      double vl = 0.0, v2 = 0.0;
      PPMON_VOLL(&T, &P, x, &c.st.s.ncomp, c.st.s.idx, e.IPROPSET,
                 &PPEXEC_USER[kPpexecPropertyWord], &code, &vl, &v2, &ist);
      if (!hs::is_missing(vl) && vl > 0.0) rho = mw / vl;
    }
  }
  const std::pair<double, const char*> inputs[] = {
      {T, "Error in R3PUMP_INPROPS: Invalid stream temperature."},
      {P, "Error in R3PUMP_INPROPS: Invalid stream pressure."},
      {rho, "Error in R3PUMP_INPROPS: Invalid mass density."},
      {mw, "Error in R3PUMP_INPROPS: Invalid molecular weight."}};
  for (const auto& [value, error] : inputs) {
    if (!hs::usable_positive(value)) return fail(c, error);
  }
  c.v(SUCT_TEMP) = T;
  c.v(SUCT_MOLV) = mw / rho;
  c.v(MW) = mw;
  c.v(MASS_FLOW) = F * mw;
  c.v(RHO) = rho;
  c.st.eff_corr = correlation_efficiency(F * mw / rho);
  return true;
}

// Discharge state: mode 1 temperature from enthalpy, mode 2 enthalpy from
// temperature. False on failure (ISTAT = 1).
bool R3PUMP_OUTPROPS(Ini& c, int mode) {
  Entry& e = c.e;
  const int32_t ncf = c.ncf;
  const double* in = e.SMATIN;
  const double F = in[ncf];
  if (const char* f = discharge_inputs_fault(mode, c.v(DISCH_TEMP), c.hout(), c.pout(), F)) {
    return fail(c, std::string("Error in R3PUMP_OUTPROPS: ") + f);
  }
  double x[kMaxComponents];
  for (int32_t i = 0; i < c.st.s.ncomp; ++i) x[i] = in[i] / F;
  double T = c.v(DISCH_TEMP);
  if (mode == 1) {
    double w[kMaxComponents + 9];
    for (int32_t i = 0; i < ncf + 9; ++i) w[i] = hs::rmiss();
    for (int32_t i = 0; i <= ncf; ++i) w[i] = in[i];
    w[ncf + 2] = in[ncf + 2];
    w[ncf + 3] = c.hout() / c.v(MW);
    int32_t c1 = 1, c2 = 1, c3 = 2, c4 = 30, ret = 0, w16 = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second = 0.0, test = in[ncf + 1];
    FLSH_FLASH(w, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &c.pout(),
               &second, &test, &PPEXEC_USER[kPpexecDiagnosticLevel],
               &PPEXEC_USER[kPpexecPropertyWord], &w16, &w17, &w18, &w19, &ret);
    if (ret == -1) message("Warning in R3PUMP_OUTPROPS: Flash calculation failed.");
    if (ret == -2) message("Warning in R3PUMP_OUTPROPS: Extrapolated EOS root used.");
    T = w[ncf + 1];
  }
  if (!hs::usable_positive(T)) return fail(c, "Error in R3PUMP_OUTPROPS: Invalid temperature.");
  if (mode == 2) {
    int32_t code = 1, ist = 0;
    double h = 0.0, cp = 0.0;
    PPMON_ENTHL(&T, &c.pout(), x, &c.st.s.ncomp, c.st.s.idx, e.IPROPSET,
                &PPEXEC_USER[kPpexecPropertyWord], PPEXEC_KBASE, &code, &h, &cp, &ist);
    if (hs::is_missing(h)) return fail(c, "Error in R3PUMP_OUTPROPS: Invalid stream enthalpy.");
    c.hout() = h;
  } else {
    c.v(DISCH_TEMP) = T;
  }
  return true;
}

// Head calculation: mode 1 head from pressure, 2 head unchanged.
bool head_calculation(Ini& c, int mode) {
  const StreamMap& map = c.st.s.map;
  const double fin = c.yin(map.in_flow), hin = c.yin(map.in_enth);
  if (mode == 1) c.v(P_HEAD) = c.v(DELTA_P) / (c.v(RHO) * kG);
  c.v(BHP) = c.v(MASS_FLOW) * c.v(P_HEAD) * kG / c.v(PUMP_EFF);
  c.v(EHP) = c.v(BHP) / c.v(DR_EFF);
  c.hout() = (hin * fin + c.v(BHP)) / fin;
  return R3PUMP_OUTPROPS(c, 1);
}

// Pressure calculation: mode 1 with the discharge enthalpy, 2 without.
bool pressure_calculation(Ini& c, int mode) {
  const StreamMap& map = c.st.s.map;
  const double fin = c.yin(map.in_flow), hin = c.yin(map.in_enth), pin = c.yin(map.in_pres);
  c.v(P_HEAD) = c.v(PUMP_EFF) * c.v(BHP) / (c.v(MASS_FLOW) * kG);
  c.v(DELTA_P) = c.v(RHO) * c.v(P_HEAD) * kG;
  c.pout() = pin + c.v(DELTA_P);
  c.v(P_RATIO) = c.pout() / pin;
  if (mode != 1) return true;
  c.hout() = (c.v(BHP) + hin * fin) / fin;
  return R3PUMP_OUTPROPS(c, 1);
}

bool ini_error(Ini& c, std::string_view text) {
  return fail(c, "Error in R3PUMP_INI:", text);
}

// Defaults of the saved values still missing when no passes are asked for.
void npass_defaults(Ini& c) {
  const State& st = c.st;
  const double defaults[kNumVars + 1] = {0.0,
                                         0.3 * st.Ts,
                                         st.Fc / st.Fs,
                                         10.0,
                                         0.35 * st.Ts,
                                         3.0,
                                         0.1 * st.Ps,
                                         5.0 * st.Ph,
                                         1000.0,
                                         10.0 * st.Fs,
                                         st.eff_corr,
                                         0.1 * 10.0 * st.Fs * st.Ph,
                                         1.0,
                                         0.1 * 10.0 * st.Fs * st.Ph};
  for (int v = 1; v <= kNumVars; ++v) {
    double& x = c.v(static_cast<Var>(v));
    if (hs::is_missing(x)) x = defaults[v];
  }
}

// The cases of the initialisation, first applicable one decides.
void ini_cases(Ini& c) {
  const StreamMap& map = c.st.s.map;
  Entry& e = c.e;
  const double pin = c.yin(map.in_pres), fin = c.yin(map.in_flow), hin = c.yin(map.in_enth);
  // Pressure given.
  if (c.fixed(map.out_pres) || c.fixed(P_RATIO) || c.fixed(DELTA_P)) {
    if (c.fixed(map.out_pres)) {
      if (c.pout() <= pin) {
        ini_error(c, "The outlet pressure is fixed but value is missing or below inlet pressure.");
        return;
      }
      c.v(P_RATIO) = c.pout() / pin;
      c.v(DELTA_P) = c.pout() - pin;
    } else if (c.fixed(P_RATIO)) {
      if (c.v(P_RATIO) <= 1.0) {
        ini_error(c, "The pressure ratio is fixed but its value is below unity.");
        return;
      }
      c.pout() = c.v(P_RATIO) * pin;
      c.v(DELTA_P) = (c.v(P_RATIO) - 1.0) * pin;
    } else {
      if (c.v(DELTA_P) <= 0.0) {
        ini_error(c, "The delta pressure is fixed but value is less than zero");
        return;
      }
      c.pout() = pin + c.v(DELTA_P);
      c.v(P_RATIO) = c.pout() / pin;
    }
    head_calculation(c, 1);
    return;
  }
  // Power given.
  const bool win_fixed = *e.NINFI == 1 && c.fixed(map.in_info);
  if (c.fixed(BHP) || c.fixed(EHP) || win_fixed) {
    if (c.fixed(BHP)) {
      if (c.v(BHP) <= 0.0) {
        ini_error(c, "The brake horsepower is fixed but its value is missing or negative.");
        return;
      }
      c.v(EHP) = c.v(BHP) / c.v(DR_EFF);
    } else if (c.fixed(EHP)) {
      if (c.v(EHP) <= 0.0) {
        ini_error(c, "The electric horsepower isfixed but its value is missing or negative.");
        return;
      }
      c.v(BHP) = c.v(EHP) * c.v(DR_EFF);
    } else {
      const double win = c.yin(map.in_info);
      if (win > 0.0) {
        ini_error(c,
                  "The inlet stream power is positive. Power supplied to a compressor is "
                  "negative.");
        return;
      }
      c.v(EHP) = -win;
      c.v(BHP) = -win * c.v(DR_EFF);
    }
    pressure_calculation(c, 1);
    return;
  }
  // Head given.
  if (c.fixed(P_HEAD)) {
    if (c.v(P_HEAD) <= 0.0) {
      ini_error(c, "The pump head isfixed but its value is less than zero.");
      return;
    }
    c.v(DELTA_P) = c.v(P_HEAD) * c.v(RHO) * kG;
    c.pout() = pin + c.v(DELTA_P);
    c.v(P_RATIO) = c.pout() / pin;
    head_calculation(c, 2);
    return;
  }
  // Discharge temperature given.
  if (c.fixed(DISCH_TEMP)) {
    if (c.v(DISCH_TEMP) < 0.0) {
      ini_error(c, "The outlet temperature is fixed but its value is missing or negative.");
      return;
    }
    int32_t npass = c.st.npass;
    if (npass < 2 || npass == hs::imiss()) npass = 2;
    c.pout() = pin + 300000.0;
    for (int32_t pass = 0; pass < npass; ++pass) {
      if (!R3PUMP_OUTPROPS(c, 2)) return;
      c.v(BHP) = (c.hout() - hin) * fin;
      c.v(EHP) = c.v(BHP) / c.v(DR_EFF);
      pressure_calculation(c, 2);
    }
    return;
  }
  // Nothing given.
  c.v(DELTA_P) = 300000.0;
  c.pout() = pin + 300000.0;
  c.v(P_RATIO) = c.pout() / pin;
  head_calculation(c, 1);
}

}  // namespace

int32_t R3PUMP_CHK(const Entry& e, const State& st) {
  CheckFault f = connection_fault(e, {.inlet = 1, .outlet = 1});
  if (!f.first.empty()) {  // the connections are explained first
  } else if (st.imode != 0 && st.imode != 1) {
    f = switch_fault("IMODE");
  } else if (st.npass < 0 || st.npass > 50) {
    f = range_fault("NPASS", 0, 50);
  }
  return check_status("R3PUMP_CHK", f);
}

void R3PUMP_INI(Entry& e, State& st) {
  *e.ISTAT = 0;
  const StreamMap& map = st.s.map;
  Ini c{e, st, U3_MSTRM_NCF(st.s.dmatin), st.saved};
  if (c.ncf < 1 || c.ncf > kMaxComponents) c.ncf = st.s.ncomp;
  // Fixed variables must have values (the two efficiencies have defaults).
  if (!fixed_values_and_passes_ok(e, map.out_enth, st.pos[EHP], {st.pos[PUMP_EFF], st.pos[DR_EFF]},
                                  st.npass, "R3PUMP_INI")) {
    *e.ISTAT = 1;
    return;
  }
  // The feed pressure (a value that is not a number counts as invalid).
  if (!(c.yin(map.in_pres) > 0.0)) {
    message("Error in R3PUMP_INI: The feed pressure is negative.");
    *e.ISTAT = 1;
    return;
  }
  // Saved values from Y.
  c.hout() = e.Y[map.out_enth - 1];
  c.pout() = e.Y[map.out_pres - 1];
  for (int v = 1; v <= kNumVars; ++v) c.v(static_cast<Var>(v)) = e.Y[st.pos[v] - 1];
  // An efficiency outside (0, 10] (missing, zero, negative or not a number)
  // is not used: the powers are divided by it.
  if (!usable_efficiency(c.v(DR_EFF))) c.v(DR_EFF) = 1.0;
  // Suction properties.
  if (!R3PUMP_INPROPS(c)) {
    message("Error in R3PUMP_INI:", "Initialization of inlet stream properties failed.");
    return;
  }
  // Pump efficiency from the correlation unless given.
  if (!usable_efficiency(c.v(PUMP_EFF))) c.v(PUMP_EFF) = st.eff_corr;
  // Restart from a solution, or defaults only.
  if (hs::solution_state() == hs::kSolutionWritten) return;
  if (st.npass == 0) {
    npass_defaults(c);
    return;
  }
  // The cases, by what the user fixed.
  ini_cases(c);
}

void R3PUMP_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const StreamMap& map = st.s.map;
  auto line = [&](std::string_view label, double value) {
    hs::write(unit, rec::Record().x(4).a(label, 30).x(1).e1p(value, 13, 6).view());
  };
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3PUMP RESULTS      ***").view());
  line("OUTLET PRESSURE (N/M2)        ", e.Y[map.out_pres - 1]);
  line("ELECTRIC HORSEPOWER (WATT)    ", e.Y[st.pos[EHP] - 1]);
  line("BRAKE HORSEPOWER (WATT)       ", e.Y[st.pos[BHP] - 1]);
  line("DRIVER EFFICIENCY             ", e.Y[st.pos[DR_EFF] - 1]);
  line("PUMP EFFICIENCY               ", e.Y[st.pos[PUMP_EFF] - 1]);
  hs::write(unit, "");
}

}  // namespace r3::pump
