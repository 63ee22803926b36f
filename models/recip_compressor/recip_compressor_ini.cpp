// R3RCMP: input check, sequential initialisation with its suction and
// discharge property routines, and the results report.
//
// The initialisation looks at which of the outlet pressure (or pressure
// ratio), discharge temperature, polytropic efficiency and shaft power the
// user gave, picks the best-known pair, fills in defaults until a pair is
// usable, and computes every block variable from simple relations.
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/host_services.h"
#include "framework/model_checks.h"
#include "framework/records.h"
#include "models/recip_compressor/recip_compressor.h"

namespace r3::recip_compressor {
namespace {

using hs::message;
using hs::msg;

// Working context of one initialisation.
struct Ini {
  Entry& e;
  State& st;
  int32_t ncf = 0;   // component-flow entries of a stream vector
  double* sv;        // saved values, 1-based
  int32_t work = 0;  // data-manager handle of the discharge flash vector
  double& v(Var x) { return sv[saved_index(x)]; }
  double& pout() { return sv[S_POUT]; }
  double& hout() { return sv[S_HOUT]; }
  double yin(int32_t pos) const { return e.Y[pos - 1]; }
  bool fixed(int32_t pos) const { return hs::fixed(e.IYATTR[pos - 1]); }
  bool fixed(Var x) const { return fixed(st.pos[x]); }
  double fin() const { return yin(st.s.map.in_flow); }
  double hin() const { return yin(st.s.map.in_enth); }
  double pin() const { return yin(st.s.map.in_pres); }
};

bool fail(Ini& c, std::string_view text) {
  message(text);
  *c.e.ISTAT = 1;
  return false;
}

// Mole fractions of the inlet stream vector (component flows over the total).
void inlet_fractions(const Ini& c, double F, double* x) {
  for (int32_t i = 0; i < c.st.s.ncomp; ++i) x[i] = c.e.SMATIN[i] / F;
}

// Suction properties from the inlet stream vector. False on failure
// (ISTAT = 1 and the message written).
bool R3RCMP_INPROPS(Ini& c) {
  Entry& e = c.e;
  const int32_t ncf = c.ncf;
  const int32_t ncomp = c.st.s.ncomp;
  // The inlet vector is completed on a copy: the host's inlet array is only read.
  double vec[kMaxComponents + 10];
  for (int32_t i = 0; i < ncf + 9; ++i) vec[i] = e.SMATIN[i];
  const double F = vec[ncf];
  if (!hs::usable_positive(F)) return fail(c, "Error in R3RCMP_INPROPS: Invalid total molar flow.");
  double x[kMaxComponents];
  inlet_fractions(c, F, x);
  double T = vec[ncf + 1];
  if (hs::is_missing(T)) {
    int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second = 0.0;
    double p = vec[ncf + 2], test = vec[ncf + 1];
    FLSH_FLASH(vec, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &p, &second,
               &test, &PPEXEC_USER[kPpexecDiagnosticLevel], &PPEXEC_USER[kPpexecPropertyWord],
               &PPEXEC_USER[kPpexecSolutionState], &w17, &w18, &w19, &ret);
    if (ret == -1) message("Warning in R3RCMP_INPROPS: Inlet stream flash failed.");
    if (ret == -2) message("Warning in R3RCMP_INPROPS: Extrapolated EOS root used.");
    T = vec[ncf + 1];
  }
  const double P = vec[ncf + 2], mw = vec[ncf + 8];
  double rho = vec[ncf + 7];
  if (hs::is_missing(rho)) {
    int32_t code = 1, ist = 0;
    double vv = hs::rmiss(), v2 = 0.0;
    PPMON_VOLV(&T, &P, x, &ncomp, c.st.s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord], &code,
               &vv, &v2, &ist);
    // A volume the monitor could not give leaves the density missing.
    if (hs::usable_positive(vv) && std::isfinite(vv)) rho = mw / vv;
  }
  if (!hs::usable_positive(T))
    return fail(c, "Error in R3RCMP_INPROPS: Invalid stream temperature.");
  if (!hs::usable_positive(P)) return fail(c, "Error in R3RCMP_INPROPS: Invalid stream pressure.");
  if (!hs::usable_positive(rho)) return fail(c, "Error in R3RCMP_INPROPS: Invalid mass density.");
  if (!hs::usable_positive(mw))
    return fail(c, "Error in R3RCMP_INPROPS: Invalid molecular weight.");
  int32_t code = 2, ist = 0;
  double h = 0.0, cp = hs::rmiss();
  PPMON_ENTHV(&T, &P, x, &ncomp, c.st.s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
              PPEXEC_KBASE, &code, &h, &cp, &ist);
  if (!hs::usable_positive(cp) || cp == kR) {
    return fail(c, "Error in R3RCMP_INPROPS: Invalid heat capacity.");
  }
  c.v(SUCT_TEMP) = T;
  c.v(SUCT_CP) = cp;
  c.v(SUCT_MOLV) = mw / rho;
  c.v(MW) = mw;
  c.v(VOL_FLOW) = F * mw / rho;
  c.v(SUCT_Z) = P * c.v(SUCT_MOLV) / (kR * T);
  c.v(Z_MEAN) = c.v(SUCT_Z);
  c.v(CP_MEAN) = cp;
  c.v(KRATIO) = cp / (cp - kR);
  c.v(WT_FLOW) = F * mw;
  c.v(ALPHA) = (c.v(KRATIO) - 1.0) / c.v(KRATIO);
  return true;
}

// Discharge state: mode 1 temperature from the enthalpy, 2 enthalpy from the
// temperature, 3 both given (heat capacity and volume only). False on
// failure (ISTAT = 1).
bool R3RCMP_OUTPROPS(Ini& c, int mode) {
  Entry& e = c.e;
  const int32_t ncf = c.ncf;
  const int32_t ncomp = c.st.s.ncomp;
  const double* in = e.SMATIN;
  const double F = in[ncf];
  if (const char* f = discharge_inputs_fault(mode, c.v(DISCH_TEMP), c.hout(), c.pout(), F)) {
    return fail(c, std::string("Error in R3RCMP_OUTPROPS: ") + f);
  }
  double x[kMaxComponents];
  inlet_fractions(c, F, x);
  double T = c.v(DISCH_TEMP);
  if (mode == 1) {
    // The data manager's work vector: component flows, total flow and the
    // discharge pressure and mass enthalpy, flashed for the temperature.
    int32_t off = 0;
    DMS_LOCATR(&c.work, &off);
    if (off < 1) return fail(c, "Error in R3RCMP_OUTPROPS: Invalid temperature.");
    double* w = &DMS_PLEX[off - 1];
    for (int32_t i = 0; i < ncf + 10; ++i) w[i] = hs::rmiss();
    for (int32_t i = 0; i <= ncf; ++i) w[i] = in[i];
    w[ncf + 2] = in[ncf + 2];
    w[ncf + 3] = c.hout() / c.v(MW);
    int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second = 0.0, test = c.v(SUCT_TEMP);
    FLSH_FLASH(w, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &c.pout(),
               &second, &test, &PPEXEC_USER[kPpexecDiagnosticLevel],
               &PPEXEC_USER[kPpexecPropertyWord], &PPEXEC_USER[kPpexecSolutionState], &w17, &w18,
               &w19, &ret);
    if (ret == -1) message("Warning in R3RCMP_OUTPROPS: Flash calculation failed.");
    if (ret == -2) message("Warning in R3RCMP_OUTPROPS: Extrapolated EOS root used.");
    T = w[ncf + 1];
  }
  if (!hs::usable_positive(T)) return fail(c, "Error in R3RCMP_OUTPROPS: Invalid temperature.");
  int32_t code = mode == 3 ? 2 : 3, ist = 0;
  double h = c.hout(), cpd = hs::rmiss();
  PPMON_ENTHV(&T, &c.pout(), x, &ncomp, c.st.s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
              PPEXEC_KBASE, &code, &h, &cpd, &ist);
  if (!hs::usable_positive(cpd) || cpd == kR) {
    return fail(c, "Error in R3RCMP_OUTPROPS: Invalid heat capacity.");
  }
  if (hs::is_missing(h)) return fail(c, "Error in R3RCMP_OUTPROPS: Invalid stream enthalpy.");
  int32_t vcode = 1;
  double vd = hs::rmiss(), v2 = 0.0;
  PPMON_VOLV(&T, &c.pout(), x, &ncomp, c.st.s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
             &vcode, &vd, &v2, &ist);
  // The volume enters the compressibility and the volumetric efficiency as a
  // divisor: a volume the monitor could not give is an error.
  if (!hs::usable_positive(vd) || !std::isfinite(vd)) {
    return fail(c, "Error in R3RCMP_OUTPROPS: Invalid molar volume.");
  }
  c.v(DISCH_TEMP) = T;
  c.hout() = h;
  c.v(DISCH_CP) = cpd;
  c.v(DISCH_MOLV) = vd;
  c.v(DISCH_Z) = c.pout() * vd / (kR * T);
  c.v(Z_MEAN) = 0.5 * (c.v(SUCT_Z) + c.v(DISCH_Z));
  c.v(CP_MEAN) = 0.5 * (c.v(SUCT_CP) + cpd);
  c.v(KRATIO) = c.v(CP_MEAN) / (c.v(CP_MEAN) - kR);
  c.v(ALPHA) = (c.v(KRATIO) - 1.0) / c.v(KRATIO);
  return true;
}

// --- Relations on the saved values --------------------------------------------

// energy: 1 gas power from the enthalpy rise; otherwise the discharge
// enthalpy from the gas power.
void energy(Ini& c, int mode) {
  if (mode == 1) {
    c.v(IHP) = c.fin() * (c.hout() - c.hin());
  } else {
    c.hout() = c.hin() + c.v(IHP) / c.fin();
  }
}

// mech: 1 gas power from the shaft power; otherwise the shaft power.
void mech(Ini& c, int mode) {
  if (mode == 1) {
    c.v(IHP) = c.v(MECH_EFF) * c.v(BHP);
  } else {
    c.v(BHP) = c.v(IHP) / c.v(MECH_EFF);
  }
}

// eff: polytropic exponent from alpha and the polytropic efficiency.
void eff(Ini& c) {
  if (!hs::usable_positive(c.v(ALPHA))) c.v(ALPHA) = kDefAlpha;
  if (!hs::usable_positive(c.v(POLY_EFF))) c.v(POLY_EFF) = kDefPolyEff;
  if (!hs::usable_positive(c.v(MPOLY))) c.v(MPOLY) = kDefMpoly;
  c.v(MPOLY) = c.v(ALPHA) / c.v(POLY_EFF);
}

// head: 1 head from the pressure ratio; 2 pressure ratio from the head.
// Always with the mean compressibility.
void head(Ini& c, int mode) {
  const double zrt = c.v(Z_MEAN) * kR * c.v(SUCT_TEMP);
  const double m = c.v(MPOLY);
  if (mode == 1) {
    c.v(HEAD) = (std::pow(c.v(PRATIO), m) - 1.0) * zrt / (c.v(MW) * m);
  } else {
    const double base = 1.0 + c.v(MW) * m * c.v(HEAD) / zrt;
    // A head so negative that no ratio gives it leaves the ratio as it is.
    if (base > 0.0) c.v(PRATIO) = std::pow(base, 1.0 / m);
  }
}

// power: 1 head from the gas power; 2 gas power from the head; 3 polytropic
// efficiency from head and gas power.
void power(Ini& c, int mode) {
  if (mode == 1) {
    c.v(HEAD) = c.v(IHP) * c.v(POLY_EFF) / c.v(WT_FLOW);
  } else if (mode == 2) {
    c.v(IHP) = c.v(WT_FLOW) * c.v(HEAD) / c.v(POLY_EFF);
  } else if (c.v(IHP) != 0.0) {
    // Without gas power the efficiency is left for eff to default.
    c.v(POLY_EFF) = c.v(WT_FLOW) * c.v(HEAD) / c.v(IHP);
  }
}

void ratio_from_temperature(Ini& c) {
  c.v(PRATIO) = std::pow(c.v(DISCH_TEMP) / c.v(SUCT_TEMP), 1.0 / c.v(MPOLY));
}

void pout_from_ratio(Ini& c) {
  c.pout() = c.v(PRATIO) * c.pin();
}

// The six pairs of given quantities.
enum Pair : int { TP = 1, PW, PE, TW, WE, TE };

// Runs the selected case; false when a property routine failed.
bool run_case(Ini& c, int pair) {
  const int32_t npass = c.st.npass;
  // With both outlet states known: the passes over efficiency, head and power.
  auto head_and_power_passes = [&] {
    for (int32_t k = 0; k < npass; ++k) {
      eff(c);
      head(c, 1);
      power(c, 3);
    }
    return true;
  };
  switch (pair) {
    case TP:
      if (!R3RCMP_OUTPROPS(c, 2)) return false;
      energy(c, 1);
      mech(c, 2);
      return head_and_power_passes();
    case PW:
      mech(c, 1);
      energy(c, 2);
      if (!R3RCMP_OUTPROPS(c, 1)) return false;
      return head_and_power_passes();
    case PE:
      for (int32_t k = 0; k < npass; ++k) {
        eff(c);
        c.v(DISCH_TEMP) = c.v(SUCT_TEMP) * std::pow(c.v(PRATIO), c.v(MPOLY));
        if (!R3RCMP_OUTPROPS(c, 2)) return false;
      }
      energy(c, 1);
      mech(c, 2);
      power(c, 1);
      return true;
    case TW:
      mech(c, 1);
      energy(c, 2);
      for (int32_t k = 0; k < npass; ++k) {
        eff(c);
        ratio_from_temperature(c);
        pout_from_ratio(c);
        if (!R3RCMP_OUTPROPS(c, 3)) return false;
        head(c, 1);
        power(c, 3);
      }
      return true;
    case WE:
      mech(c, 1);
      energy(c, 2);
      power(c, 1);
      for (int32_t k = 0; k < npass; ++k) {
        eff(c);
        head(c, 2);
        pout_from_ratio(c);
        if (!R3RCMP_OUTPROPS(c, 1)) return false;
      }
      return true;
    case TE:
      for (int32_t k = 0; k < npass; ++k) {
        eff(c);
        ratio_from_temperature(c);
        pout_from_ratio(c);
        if (!R3RCMP_OUTPROPS(c, 2)) return false;
      }
      head(c, 1);
      power(c, 2);
      mech(c, 2);
      return true;
    default:
      return true;
  }
}

bool ini_error(Ini& c, std::string_view text) {
  message("Error in R3RCMP_INI:", text);
  *c.e.ISTAT = 1;
  return false;
}

// Flag of a given quantity: 0 no usable value, 2 usable, 3 fixed and
// usable. A fixed quantity without a usable value is an error.
bool given_flag(Ini& c, int32_t pos, bool usable, std::string_view error, int& flag) {
  const bool fx = c.fixed(pos);
  if (fx && !usable) return ini_error(c, error);
  flag = usable ? (fx ? 3 : 2) : 0;
  return true;
}

// Component-flow entries of the stream vectors: the host's component count,
// if it fits the stream vector and the block's component list.
int32_t stream_ncf(const Entry& e, const State& st) {
  auto fits = [&](int32_t n) {
    return n >= st.s.ncomp && n <= kMaxComponents && n + 9 <= *e.LSTRM;
  };
  int32_t n = DMS_NCOMP[kNcompComponents];
  if (fits(n)) return n;
  n = U3_MSTRM_NCF(st.s.dmatin);
  return fits(n) ? n : 0;
}

}  // namespace

int32_t R3RCMP_CHK(const Entry& e, const State& st) {
  CheckFault f = connection_fault(e, {.inlet = 1, .outlet = 0});
  if (!f.first.empty()) {  // the connections are explained first
  } else if (*e.NINFOUT < 0) {  // no count but 0 is an outlet side without streams
    f = {"Outlet information streams are not allowed."};
  } else if (st.imode != 0 && st.imode != 1) {
    f = switch_fault("IMODE");
  } else if (st.npass < 1 || st.npass > 50) {
    f = range_fault("NPASS", 1, 50);
  } else if (st.izavg != 0 && st.izavg != 1) {
    f = switch_fault("IZAVG");
  } else if (st.s.ncomp < 1 || st.s.ncomp > kMaxComponents) {
    f = component_count_fault();
  }
  return check_status("R3RCMP_CHK", f);
}

void R3RCMP_INI(Entry& e, State& st) {
  *e.ISTAT = 0;
  st.last_case = 0;
  const StreamMap& map = st.s.map;
  Ini c{e, st, stream_ncf(e, st), st.saved};
  // Fixed variables must have values.
  if (!fixed_values_and_passes_ok(e, map.out_enth, st.pos[DISPLACE], {}, st.npass, "R3RCMP_INI")) {
    *e.ISTAT = 1;
    return;
  }
  // Saved values from Y; the feed pressure.
  c.hout() = e.Y[map.out_enth - 1];
  c.pout() = e.Y[map.out_pres - 1];
  for (int v = 1; v <= kNumVars; ++v) c.v(static_cast<Var>(v)) = e.Y[st.pos[v] - 1];
  const double pin = c.pin();
  if (pin <= 0.0) {
    message("Error in R3RCMP_INI: The feed pressure is negative.");
    *e.ISTAT = 1;
    return;
  }
  // Cylinder and drive constants (a missing value lies outside the range).
  // A zero mechanical efficiency would divide the gas power by zero.
  if (!(c.v(MECH_EFF) > 0.0 && c.v(MECH_EFF) <= 10.0)) c.v(MECH_EFF) = kDefMechEff;
  if (c.v(CLEARFRAC) < 0.0 || c.v(CLEARFRAC) > 10.0) c.v(CLEARFRAC) = kDefClearFrac;
  if (c.v(LOSSTERM) < 0.0 || c.v(LOSSTERM) > 10.0) c.v(LOSSTERM) = kDefLossTerm;
  // Suction properties.
  if (c.ncf == 0 || !R3RCMP_INPROPS(c)) {
    *e.ISTAT = 1;
    message("Error in R3RCMP_INI:", "Initialization of inlet stream properties failed.");
    return;
  }
  // Flags of the given quantities.
  int fp = 0, fr = 0, ft = 0, fe = 0, fw = 0;
  if (!given_flag(c, map.out_pres, !hs::is_missing(c.pout()) && c.pout() > pin,
                  "The outlet pressure is fixed but its value is missing or below the inlet "
                  "pressure.",
                  fp)) {
    return;
  }
  if (!given_flag(c, st.pos[PRATIO], !hs::is_missing(c.v(PRATIO)) && c.v(PRATIO) > 1.0,
                  "The pressure ratio is fixed but its value is missing or below unity.", fr)) {
    return;
  }
  if (fp == 3 && fr == 3) {
    ini_error(c, "The outlet pressure and the pressure ratio are both fixed.");
    return;
  }
  if (fr <= fp && fp != 0) {
    c.v(PRATIO) = c.pout() / pin;
  } else if (fr > fp) {
    c.pout() = c.v(PRATIO) * pin;
  }
  int fpres = fp > fr ? fp : fr;
  if (!given_flag(c, st.pos[DISCH_TEMP], hs::usable_positive(c.v(DISCH_TEMP)),
                  "The outlet temperature is fixed but its value is missing or negative.", ft) ||
      !given_flag(c, st.pos[POLY_EFF], hs::usable_positive(c.v(POLY_EFF)),
                  "The polytropic efficiency is fixed but its value is missing or negative.", fe) ||
      !given_flag(c, st.pos[BHP], hs::usable_positive(c.v(BHP)),
                  "The brake horsepower is fixed but its value is missing or negative.", fw)) {
    return;
  }
  if (*e.NINFI == 1) {
    const double win = c.yin(map.in_info);
    if (hs::is_missing(win)) {
      // No power on the work stream yet: it gives nothing.
    } else if (win > 0.0) {
      ini_error(c,
                "The inlet stream power is positive. Power supplied to a compressor is negative.");
      return;
    } else {
      c.v(BHP) = -win;
      // No power at all is not a usable shaft power.
      fw = win < 0.0 ? 3 : 0;
    }
  }
  // Pair selection, completing the given quantities with defaults.
  int pair = 0;
  for (;;) {
    const int sums[6] = {ft + fpres, fpres + fw, fpres + fe, ft + fw, fw + fe, ft + fe};
    int best = 0;
    for (int k = 1; k < 6; ++k) {
      if (sums[k] > sums[best]) best = k;
    }
    if (sums[best] >= 4) {
      pair = best + 1;
      break;
    }
    if (fpres != 0) {
      c.v(POLY_EFF) = kDefPolyEff;
      fe = 3;
    } else {
      c.v(PRATIO) = kDefPratio;
      c.pout() = kDefPratio * pin;
      fpres = 3;
    }
  }
  st.last_case = pair;
  // The selected case, with the data manager's work vector for the
  // discharge flash.
  int32_t size = c.ncf + 10, off = 0;
  DMS_ALLOCR(&size, &c.work, &off);
  if (c.work == 0) {
    ini_error(c, "Work space for the discharge flash is not available.");
    return;
  }
  const bool ok = run_case(c, pair);
  DMS_FREEBD(&c.work);
  if (!ok) return;
  // Logarithmic forms and the cylinder.
  c.v(LN_PRATIO) = std::log(c.v(PRATIO));
  c.v(LN_PR_EXP) = c.v(MPOLY) * c.v(LN_PRATIO);
  c.v(PR_EXP) = std::exp(c.v(LN_PR_EXP));
  double ve = 1.0 - c.v(LOSSTERM) - 0.01 * c.v(PRATIO) +
              (1.0 - c.v(SUCT_MOLV) / c.v(DISCH_MOLV)) * c.v(CLEARFRAC);
  if (!(ve >= 0.001)) ve = 0.001;
  c.v(VOL_EFF) = ve;
  c.v(DISPLACE) = c.v(VOL_FLOW) / ve;
}

void R3RCMP_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  auto y = [&](Var v) { return e.Y[st.pos[v] - 1]; };
  auto line = [&](std::string_view label, double value) {
    hs::write(unit, rec::Record().x(4).a(label, 31).x(1).e1p(value, 13, 6).view());
  };
  auto label_text = [](const int32_t* words) {
    char t[8];
    std::memcpy(t, words, 8);
    return std::string(t, 8);
  };
  const int32_t c7 = 7, c6 = 6;
  int32_t code = kTypePower;
  int32_t label[2] = {0x20202020, 0x20202020};
  double ihp = 0.0, bhp = 0.0, disp = 0.0;
  double v = y(IHP);
  ZREP_RCONV1(&code, &v, &ihp, label, &c7, &c6);
  code = -code;
  v = y(BHP);
  ZREP_RCONV1(&code, &v, &bhp, label, &c7, &c6);
  const std::string power_unit = label_text(label);
  int32_t vcode = kTypeVolumeFlow;
  int32_t vlabel[2] = {0x20202020, 0x20202020};
  v = y(DISPLACE);
  ZREP_RCONV1(&vcode, &v, &disp, vlabel, &c7, &c6);
  const std::string volume_unit = label_text(vlabel);
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3RCMP RESULTS      ***").view());
  line("INDICATED HORSEPOWER(" + power_unit + ") ", ihp);
  line("BRAKE HORSEPOWER(" + power_unit + ")     ", bhp);
  line("MECHANICAL EFFICIENCY          ", y(MECH_EFF));
  line("POLYTROPIC EFFICIENCY          ", y(POLY_EFF));
  hs::write(unit, "");
  line("VOLUMETRIC EFFICIENCY          ", y(VOL_EFF));
  line("DISPLACEMENT(" + volume_unit + ")         ", disp);
  line("CLEARANCE FRACTION             ", y(CLEARFRAC));
  line("VOLUMETRIC EFFICIENCY LOSS TERM", y(LOSSTERM));
}

}  // namespace r3::recip_compressor
