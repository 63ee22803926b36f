// R3RCMP entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances: seven vapour property equations
// (suction and discharge heat capacity and enthalpy, molecular weight,
// suction and discharge molar volume), then the compressor's own 19 equations
// and, with an inlet work stream, the power balance.
#include "models/recip_compressor/recip_compressor.h"

#include <cmath>

#include "framework/dispatch.h"
#include "framework/host_services.h"
#include "framework/property_equations.h"
#include "framework/records.h"

namespace r3::rcmp {

State& state() {
  static State st;
  return st;
}

namespace {

struct Bounds {
  int32_t type;
  double lower, upper, scale;
};

// Physical type, default bounds and scale of each block variable.
Bounds var_bounds(const State& st, int v) {
  const double cps = st.Hs / st.Ts;      // molar heat capacity scale
  const double vms = st.Vs / st.Fs;      // molar volume scale
  const double pw = st.Hs * st.Fs;       // power scale
  const double mf = st.Fs * State::c10;  // mass flow scale
  switch (v) {
    case SUCT_TEMP:
    case DISCH_TEMP:
      return {22, 0.05 * st.Ts, 0.5 * st.Ts, st.Ts};
    case SUCT_CP:
    case DISCH_CP:
    case CP_MEAN:
      return {15, 0.001 * cps, 1000.0 * cps, cps};
    case SUCT_MOLV:
    case DISCH_MOLV:
      return {43, 0.001 * vms, 1000.0 * vms, vms};
    case MW:
      return {44, 1.0, 10000.0, State::c10};
    case SUCT_Z:
    case DISCH_Z:
    case Z_MEAN:
      return {44, 0.01, 100.0, 1.0};
    case KRATIO:
      return {44, 1.0, 2.0, 1.0};
    case ALPHA:
      return {44, 0.0, 0.5, 1.0};
    case MPOLY:
      return {44, 0.0, 1.0, 1.0};
    case PRATIO:
      return {44, 1.0, 100.0, 1.0};
    case LN_PRATIO:
    case LN_PR_EXP:
      return {44, 0.0, 2.0, 1.0};
    case PR_EXP:
      return {44, 1.0, 10.0, 1.0};
    case POLY_EFF:
    case MECH_EFF:
    case VOL_EFF:
      return {44, 0.01, 10.0, 1.0};
    case HEAD:
      return {33, 0.0001 * st.Th, 10000.0 * st.Th, st.Th};
    case WT_FLOW:
      return {10, 0.001 * mf, 1000.0 * mf, mf};
    case IHP:
    case BHP:
      return {19, 1e-6 * pw, 10000.0 * pw, pw};
    case CLEARFRAC:
    case LOSSTERM:
      return {44, 0.0, 1.0, 1.0};
    case VOL_FLOW:
    case DISPLACE:
      return {12, 0.001 * st.Vs, 1000.0 * st.Vs, st.Vs};
    default:
      return {44, 0.0, 1.0, 1.0};
  }
}

constexpr const char* kVarNames[kNumVars + 1] = {
    "",         "SUCT_TEMP",  "SUCT_CP",  "SUCT_MOLV", "MW",        "DISCH_TEMP",
    "DISCH_CP", "DISCH_MOLV", "SUCT_Z",   "DISCH_Z",   "Z_MEAN",    "CP_MEAN",
    "KRATIO",   "ALPHA",      "MPOLY",    "PRATIO",    "LN_PRATIO", "LN_PR_EXP",
    "PR_EXP",   "POLY_EFF",   "HEAD",     "WT_FLOW",   "IHP",       "MECH_EFF",
    "BHP",      "CLEARFRAC",  "LOSSTERM", "VOL_EFF",   "VOL_FLOW",  "DISPLACE"};

constexpr const char* kPropEqnNames[7] = {"VAPCP_SUCT",    "VAPCP_DISCH", "VAPENTH_SUCT",
                                          "VAPENTH_DISCH", "MOLWT",       "VAPVM_SUCT",
                                          "VAPVM_DISCH"};
constexpr const char* kEqnNames[19] = {"CALC_SUCT_Z", "CALC_DISCH_Z", "AVG_Z",       "AVG_CP",
                                       "CALC_K",      "ALPHA_DEF",    "PRESS_RATIO", "PRATIO_EXP",
                                       "PRATIO_POW",  "POWER_EXP",    "MPOLY_DEF",   "POLY_COMP",
                                       "WTFLOW_DEF",  "IHP",          "BHP",         "ENERBAL",
                                       "VOL_EFF",     "VOL_FLOW",     "DISPLACE"};

// Compressor equations and non-zeros without the power balance.
constexpr int32_t kNumEqns = 19;
constexpr int32_t kNumNonZeros = 63;

// Set-up: header and parameters first, then the common steps 1 and 3-8.
// False when the call must end (ISTAT already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  setup_header(e, s);
  st.imode = int_param(e, s.i0);
  st.npass = int_param(e, s.i0 + 1);
  st.izavg = int_param(e, s.i0 + 2);
  if (!setup_components(e, s)) return false;
  if (!setup_streams(e, s)) return false;
  for (int v = 1; v <= kNumVars; ++v) st.pos[v] = s.nstream + v;
  setup_block_id(e);
  s.sel = -1;
  setup_scales(s);
  st.Fs = s.scales[0];
  st.Ts = s.scales[1];
  st.Hs = s.scales[2];
  st.Ps = s.scales[4];
  st.Vs = st.Fs * State::c10000 * st.Ts / st.Ps;
  st.Th = 1000.0 * st.Ts;
  return true;
}

// --- Property equations -----------------------------------------------------

// The seven vapour property sets, in the compressor's order, in one mode
// (2 pattern, 3 residual, 4 Jacobian).
void property_sets(Entry& e, State& st, int32_t action, int32_t& m, int32_t& k) {
  const Setup& s = st.s;
  const StreamMap& map = s.map;
  const int32_t vapour = 1;
  auto row = [&](PropertySet set, const int32_t* comp, int32_t ip, int32_t it, int32_t iv) {
    property_equation(e, s, set, vapour, comp, ip, it, iv, st.Fs, st.Ps, action, m, k);
  };
  const int32_t* p = st.pos;
  // Heat capacities at suction and discharge.
  row(PropertySet::HeatCapacity, map.in_comp, map.in_pres, p[SUCT_TEMP], p[SUCT_CP]);
  row(PropertySet::HeatCapacity, map.out_comp, map.out_pres, p[DISCH_TEMP], p[DISCH_CP]);
  // Enthalpies of the inlet and outlet streams.
  row(PropertySet::Enthalpy, map.in_comp, map.in_pres, p[SUCT_TEMP], map.in_enth);
  row(PropertySet::Enthalpy, map.out_comp, map.out_pres, p[DISCH_TEMP], map.out_enth);
  // Molecular weight of the inlet.
  molecular_weight_equation(e, s, map.in_comp, p[MW], action, m, k);
  // Molar volumes at suction and discharge.
  row(PropertySet::Volume, map.in_comp, map.in_pres, p[SUCT_TEMP], p[SUCT_MOLV]);
  row(PropertySet::Volume, map.out_comp, map.out_pres, p[DISCH_TEMP], p[DISCH_MOLV]);
}

// --- Compressor equations ---------------------------------------------------

// Position of the compressibility the head equation uses.
int32_t zsel_pos(const State& st) {
  return st.pos[st.izavg == 1 ? SUCT_Z : Z_MEAN];
}

// Pattern of the compressor equations (row, column) in the order the
// Jacobian writes its values.
void compressor_pattern(Entry& e, const State& st, int32_t m, int32_t& k) {
  const StreamMap& map = st.s.map;
  auto at = [&](int32_t row, int32_t col) {
    e.IJROW[k] = m + row;
    e.IJCOL[k] = col;
    ++k;
  };
  const int32_t* p = st.pos;
  at(1, map.in_pres);
  at(1, p[SUCT_MOLV]);
  at(1, p[SUCT_Z]);
  at(1, p[SUCT_TEMP]);
  at(2, map.out_pres);
  at(2, p[DISCH_MOLV]);
  at(2, p[DISCH_Z]);
  at(2, p[DISCH_TEMP]);
  at(3, p[Z_MEAN]);
  at(3, p[SUCT_Z]);
  at(3, p[DISCH_Z]);
  at(4, p[CP_MEAN]);
  at(4, p[SUCT_CP]);
  at(4, p[DISCH_CP]);
  at(5, p[KRATIO]);
  at(5, p[CP_MEAN]);
  at(6, p[KRATIO]);
  at(6, p[ALPHA]);
  at(7, p[PRATIO]);
  at(7, map.in_pres);
  at(7, map.out_pres);
  at(8, p[PRATIO]);
  at(8, p[LN_PRATIO]);
  at(9, p[MPOLY]);
  at(9, p[LN_PRATIO]);
  at(9, p[LN_PR_EXP]);
  at(10, p[PR_EXP]);
  at(10, p[LN_PR_EXP]);
  at(11, p[ALPHA]);
  at(11, p[POLY_EFF]);
  at(11, p[MPOLY]);
  at(12, p[SUCT_TEMP]);
  at(12, zsel_pos(st));
  at(12, p[PR_EXP]);
  at(12, p[MPOLY]);
  at(12, p[HEAD]);
  at(12, p[MW]);
  at(13, p[WT_FLOW]);
  at(13, map.in_flow);
  at(13, p[MW]);
  at(14, p[IHP]);
  at(14, p[POLY_EFF]);
  at(14, p[WT_FLOW]);
  at(14, p[HEAD]);
  at(15, p[BHP]);
  at(15, p[MECH_EFF]);
  at(15, p[IHP]);
  at(16, map.in_flow);
  at(16, map.out_enth);
  at(16, map.in_enth);
  at(16, p[IHP]);
  at(17, p[DISCH_MOLV]);
  at(17, p[VOL_EFF]);
  at(17, p[LOSSTERM]);
  at(17, p[PRATIO]);
  at(17, p[CLEARFRAC]);
  at(17, p[SUCT_MOLV]);
  at(18, map.in_flow);
  at(18, p[SUCT_MOLV]);
  at(18, p[VOL_FLOW]);
  at(19, p[VOL_FLOW]);
  at(19, p[DISPLACE]);
  at(19, p[VOL_EFF]);
  if (*e.NINFI == 1) {
    at(20, map.in_info);
    at(20, p[BHP]);
  }
}

void compressor_residuals(Entry& e, const State& st, int32_t& m) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double pin = Y[map.in_pres - 1], pout = Y[map.out_pres - 1];
  const double fin = Y[map.in_flow - 1];
  const double hin = Y[map.in_enth - 1], hout = Y[map.out_enth - 1];
  const double zsel = Y[zsel_pos(st) - 1];
  double* F = e.F;
  F[m++] = pin * y(SUCT_MOLV) - y(SUCT_TEMP) * y(SUCT_Z) * kR;
  F[m++] = y(DISCH_MOLV) * pout - y(DISCH_Z) * kR * y(DISCH_TEMP);
  F[m++] = 2.0 * y(Z_MEAN) - y(SUCT_Z) - y(DISCH_Z);
  F[m++] = 2.0 * y(CP_MEAN) - y(SUCT_CP) - y(DISCH_CP);
  F[m++] = (y(CP_MEAN) - kR) * y(KRATIO) - y(CP_MEAN);
  F[m++] = 1.0 + (y(ALPHA) - 1.0) * y(KRATIO);
  F[m++] = pin * y(PRATIO) - pout;
  F[m++] = y(PRATIO) - std::exp(y(LN_PRATIO));
  F[m++] = y(LN_PRATIO) * y(MPOLY) - y(LN_PR_EXP);
  F[m++] = y(PR_EXP) - std::exp(y(LN_PR_EXP));
  F[m++] = y(ALPHA) - y(MPOLY) * y(POLY_EFF);
  F[m++] = zsel * kR * y(SUCT_TEMP) * (y(PR_EXP) - 1.0) - y(MPOLY) * y(HEAD) * y(MW);
  F[m++] = y(WT_FLOW) - y(MW) * fin;
  F[m++] = y(POLY_EFF) * y(IHP) - y(HEAD) * y(WT_FLOW);
  F[m++] = y(MECH_EFF) * y(BHP) - y(IHP);
  F[m++] = (hout - hin) * fin - y(IHP);
  F[m++] = (0.01 * y(PRATIO) + y(VOL_EFF) - 1.0 + y(LOSSTERM) - y(CLEARFRAC)) * y(DISCH_MOLV) +
           y(CLEARFRAC) * y(SUCT_MOLV);
  F[m++] = fin * y(SUCT_MOLV) - y(VOL_FLOW);
  F[m++] = y(VOL_FLOW) - y(VOL_EFF) * y(DISPLACE);
  if (*e.NINFI == 1) F[m++] = y(BHP) + Y[map.in_info - 1];
}

void compressor_jacobian(Entry& e, const State& st, int32_t& k) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double pin = Y[map.in_pres - 1], pout = Y[map.out_pres - 1];
  const double fin = Y[map.in_flow - 1];
  const double hin = Y[map.in_enth - 1], hout = Y[map.out_enth - 1];
  const double zsel = Y[zsel_pos(st) - 1];
  double* D = e.DFDY;
  // 1 CALC_SUCT_Z
  D[k++] = y(SUCT_MOLV);
  D[k++] = pin;
  D[k++] = -kR * y(SUCT_TEMP);
  D[k++] = -kR * y(SUCT_Z);
  // 2 CALC_DISCH_Z
  D[k++] = y(DISCH_MOLV);
  D[k++] = pout;
  D[k++] = -kR * y(DISCH_TEMP);
  D[k++] = -kR * y(DISCH_Z);
  // 3 AVG_Z, 4 AVG_CP
  D[k++] = 2.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  D[k++] = 2.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  // 5 CALC_K
  D[k++] = y(CP_MEAN) - kR;
  D[k++] = y(KRATIO) - 1.0;
  // 6 ALPHA_DEF
  D[k++] = y(ALPHA) - 1.0;
  D[k++] = y(KRATIO);
  // 7 PRESS_RATIO
  D[k++] = pin;
  D[k++] = y(PRATIO);
  D[k++] = -1.0;
  // 8 PRATIO_EXP
  D[k++] = 1.0;
  D[k++] = -std::exp(y(LN_PRATIO));
  // 9 PRATIO_POW
  D[k++] = y(LN_PRATIO);
  D[k++] = y(MPOLY);
  D[k++] = -1.0;
  // 10 POWER_EXP
  D[k++] = 1.0;
  D[k++] = -std::exp(y(LN_PR_EXP));
  // 11 MPOLY_DEF
  D[k++] = 1.0;
  D[k++] = -y(MPOLY);
  D[k++] = -y(POLY_EFF);
  // 12 POLY_COMP
  D[k++] = kR * zsel * (y(PR_EXP) - 1.0);
  D[k++] = kR * y(SUCT_TEMP) * (y(PR_EXP) - 1.0);
  D[k++] = kR * zsel * y(SUCT_TEMP);
  D[k++] = -y(HEAD) * y(MW);
  D[k++] = -y(MPOLY) * y(MW);
  D[k++] = -y(MPOLY) * y(HEAD);
  // 13 WTFLOW_DEF
  D[k++] = 1.0;
  D[k++] = -y(MW);
  D[k++] = -fin;
  // 14 IHP
  D[k++] = y(POLY_EFF);
  D[k++] = y(IHP);
  D[k++] = -y(HEAD);
  D[k++] = -y(WT_FLOW);
  // 15 BHP
  D[k++] = y(MECH_EFF);
  D[k++] = y(BHP);
  D[k++] = -1.0;
  // 16 ENERBAL
  D[k++] = hout - hin;
  D[k++] = fin;
  D[k++] = -fin;
  D[k++] = -1.0;
  // 17 VOL_EFF
  D[k++] = 0.01 * y(PRATIO) + y(VOL_EFF) - 1.0 + y(LOSSTERM) - y(CLEARFRAC);
  D[k++] = y(DISCH_MOLV);
  D[k++] = y(DISCH_MOLV);
  D[k++] = 0.01 * y(DISCH_MOLV);
  D[k++] = y(SUCT_MOLV) - y(DISCH_MOLV);
  D[k++] = y(CLEARFRAC);
  // 18 VOL_FLOW
  D[k++] = y(SUCT_MOLV);
  D[k++] = fin;
  D[k++] = -1.0;
  // 19 DISPLACE
  D[k++] = 1.0;
  D[k++] = -y(VOL_EFF);
  D[k++] = -y(DISPLACE);
  // 20 POWERBAL
  if (*e.NINFI == 1) {
    D[k++] = 1.0;
    D[k++] = 1.0;
  }
}

// --- Requests ---------------------------------------------------------------

void dimensions(Entry& e, State& st) {
  Setup& s = st.s;
  *e.NAUX1 = *e.NF = *e.NY = *e.NAUX2 = *e.NAUX3 = *e.NZ = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.NY);
  U3_MBAL_NF(&s.ncomp, &s.sel, e.NF);
  U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, e.NZ);
  *e.NY += kNumPropVars;
  RTO_CPDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_CPDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_ENDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_ENDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_MWDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_VMDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_VMDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  *e.NY += kNumVars - kNumPropVars;
  *e.NF += kNumEqns;
  *e.NZ += kNumNonZeros;
  if (*e.NINFI == 1) {
    *e.NF += 1;
    *e.NZ += 2;
  }
}

void names(Entry& e, State& st) {
  Setup& s = st.s;
  U3SVL(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.IDBLK,
        e.LNAME, e.VARNAM);
  int32_t n = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, &n);
  int32_t m = 0;
  U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, RXN_IBLKID,
              e.LNAME, e.EQNNAM, &m);
  const int32_t lname = *e.LNAME;
  for (int v = 1; v <= kNumVars; ++v)
    hs::vnam(kVarNames[v], lname, name_slot(e.VARNAM, lname, n + v));
  for (const char* t : kPropEqnNames) hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m));
  for (const char* t : kEqnNames) hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m));
  if (*e.NINFI == 1) hs::enam("POWERBAL", lname, name_slot(e.EQNNAM, lname, ++m));
  n += kNumVars;
  U3DNAM(e.IDBLK, e.LNAME, &n, &m, e.VARNAM, e.EQNNAM);
}

// Outlet stream variables: values, bounds, step bounds and scales paired with
// the inlet's (R3RCMP_ISO). A step bound of 1.0 is the untouched default and
// counts as unset.
void R3RCMP_ISO(Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t nvar = st.s.ncomp + 3;
  for (int t = 0; t < nvar; ++t) {
    const int32_t i = map.in_flow + t - 1;  // 0-based
    const int32_t j = map.out_flow + t - 1;
    double& yj = e.Y[j];
    if (hs::is_missing(yj)) {
      yj = e.Y[i];
      if (j + 1 == map.out_pres || j + 1 == map.out_enth) {
        const double v = st.saved[j + 1 == map.out_pres ? S_POUT : S_HOUT];
        if (!hs::is_missing(v)) yj = v;
      }
    }
    if (hs::is_missing(e.YLB[j])) e.YLB[j] = e.YLB[i];
    if (hs::is_missing(e.YUB[j])) e.YUB[j] = e.YUB[i];
    if (hs::is_missing(e.YSBND[j]) || e.YSBND[j] == 1.0) e.YSBND[j] = e.YSBND[i];
    if (!hs::is_missing(e.YSCL[j])) {
      const int32_t unit = hs::message_unit();
      hs::write(unit, "");
      hs::write(unit, " WARNING IN R3RCMP_ISO:");
      hs::write(unit, " Stream variable scale factors entered via Y sentence are ignored");
    }
    e.YSCL[j] = e.YSCL[i];
  }
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const double pw = st.Hs * st.Fs;
  // (a) Inlet streams into Y.
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  if (*e.NINFI == 1) U3_ISTRM_PLX2X(s.dinfin, e.SINFIN, e.Y);
  // (b) Inlet bounds, step bounds, scales and types.
  material_stream_defaults(e, s, s.dmatin, st.Fs, st.Hs, st.Ps);
  if (*e.NINFI == 1) {
    // The shaft power (negative: supplied to the compressor), within
    // +-10^4 power scales; step bounds are in multiples of the scale.
    const double wlb = -10000.0 * pw, wub = 10000.0 * pw, wsb = 10.0;
    info_stream_defaults(e, s.dinfin, wlb, wub, wsb, pw);
  }
  // (c) Sequential-modular use fixes the inlet.
  if (st.imode == 0) {
    U3_MSTRM_FIX(s.dmatin, e.IYATTR);
    if (*e.NINFI == 1) U3_ISTRM_FIX(s.dinfin, e.IYATTR);
  }
  // (d) Stream variable count.
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
        &s.nstream);
  // (e) Sequential initialisation into the saved-value array.
  R3RCMP_INI(e, st);
  if (*e.ISTAT != 0) return;
  // (f) Outlet stream.
  R3RCMP_ISO(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  // (g) Block variables.
  for (int v = 1; v <= kNumVars; ++v) {
    const int32_t j = st.pos[v] - 1;
    const Bounds b = var_bounds(st, v);
    if (hs::is_missing(e.Y[j])) e.Y[j] = st.saved[v + 2];
    if (hs::is_missing(e.YLB[j])) e.YLB[j] = b.lower;
    if (hs::is_missing(e.YUB[j])) e.YUB[j] = b.upper;
    if (hs::is_missing(e.YSBND[j])) e.YSBND[j] = 1.0;
    if (hs::is_missing(e.YSCL[j])) e.YSCL[j] = b.scale;
    hs::set_type(e.IYATTR[j], b.type);
  }
  // (h) Equation scales.
  int32_t m = 0;
  U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &m);
  const double cps = st.Hs / st.Ts, vm = State::c10000 * st.Ts / st.Ps;
  const double zs = State::c10000 * st.Ts, vms = st.Vs / st.Fs;
  const double fscl[] = {// Property equations.
                         cps, cps, st.Hs, st.Hs, State::c10, vm, vm,
                         // Compressor equations.
                         zs, zs, 1.0, cps, cps, 1.0, st.Ps, 1.0, 1.0, 1.0, 1.0, zs,
                         st.Fs * State::c10, pw, pw, pw, vms, st.Vs, st.Vs,
                         // Power balance.
                         pw};
  const int32_t neq = kNumPropVars + kNumEqns + (*e.NINFI == 1 ? 1 : 0);
  for (int32_t q = 0; q < neq; ++q, ++m) {
    if (hs::is_missing(e.FSCL[m])) e.FSCL[m] = fscl[q];
  }
  // (i) Pattern.
  m = 0;
  int32_t k = 0;
  U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW, e.IJCOL,
              &m, &k);
  property_sets(e, st, 2, m, k);
  compressor_pattern(e, st, m, k);
}

void residuals(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F, &m);
  property_sets(e, st, 3, m, k);
  compressor_residuals(e, st, m);
}

void jacobian(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.DFDY, &k);
  property_sets(e, st, 4, m, k);
  compressor_jacobian(e, st, k);
}

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
         e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN, e.SMATOUT,
         e.SINFOUT);
}

// The connections the equations are written for: one material inlet, one
// material outlet, at most one inlet work stream. Without them the stream
// positions are absent and nothing may be read or written through them.
bool connected(const Entry& e) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI >= 0 && *e.NINFI <= 1 && *e.NINFOUT == 0;
}

constexpr ModelHooks<State> kHooks{
    .set_up = set_up,
    .check = [](Entry& e, State& st) { return R3RCMP_CHK(e, st); },
    .serves = [](Entry& e, State&) { return connected(e); },
    .dimensions = dimensions,
    .names = names,
    .initialise = initialise,
    .residuals = residuals,
    .jacobian = jacobian,
    .stream_update = stream_update,
    .report = [](Entry& e, State& st) { R3RCMP_REPORT(e, st); },
    .refused = [](Entry& e, State& st) { R3RCMP_CHK(e, st); },
};

void run(Entry& e) { dispatch(e, state(), kHooks); }

}  // namespace
}  // namespace r3::rcmp

R3_DEFINE_ENTRY(R3RCMP, r3::rcmp::run)
