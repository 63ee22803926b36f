// R3PUMP entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances: four property equations (suction
// and discharge liquid enthalpy, molecular weight, suction liquid molar
// volume), then the pump's own eight to ten equations.
#include "models/pump/pump.h"

#include "framework/dispatch.h"
#include "framework/host_services.h"
#include "framework/property_equations.h"
#include "framework/records.h"

namespace r3::pump {

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
  const double c10 = State::c10, c1000 = State::c1000;
  const double pw = c10 * st.Fs * st.Ph;  // power scale
  switch (v) {
    case SUCT_TEMP:
    case DISCH_TEMP:
      return {22, 0.05 * st.Ts, 0.5 * st.Ts, st.Ts};
    case SUCT_MOLV:
      return {43, 0.001 * st.Fc / st.Fs, 1000.0 * st.Fc / st.Fs, st.Fc / st.Fs};
    case MW:
      return {44, 1.0, 10000.0, c10};
    case P_RATIO:
      return {44, 1.0, 100.0, 1.0};
    case DELTA_P:
      return {75, 0.0, 100.0 * st.Ps, st.Ps};
    case P_HEAD:
      return {17, 0.0001 * st.Ph, 10000.0 * st.Ph, st.Ph};
    case RHO:
      return {38, 0.001 * c1000, 100.0 * c1000, c1000};
    case MASS_FLOW:
      return {10, 0.0001 * st.Fs * c10, 10000.0 * st.Fs * c10, st.Fs * c10};
    case PUMP_EFF:
    case DR_EFF:
      return {44, 0.0001, 10.0, 1.0};
    case BHP:
    case EHP:
      return {19, 1e-6 * pw, 10000.0 * pw, pw};
    default:
      return {44, 0.0, 1.0, 1.0};
  }
}

constexpr const char* kVarNames[kNumVars + 1] = {
    "",         "SUCT_TEMP", "SUCT_MOLV", "MW",       "DISCH_TEMP", "P_RATIO", "DELTA_P",
    "P_HEAD",   "RHO",       "MASS_FLOW", "PUMP_EFF", "BHP",        "DR_EFF",  "EHP"};

constexpr const char* kPropEqnNames[4] = {"LIQENTH_SUCT", "LIQENTH_DISCH", "MOLWT",
                                          "LIQVM_SUCT"};
constexpr const char* kEqnNames[8] = {"CALC_HEAD", "P_RATIO_DEF",    "DELTA_P_DEF", "CALC_RHO",
                                      "CALC_BHP",  "CALC_MASS_FLOW", "CALC_EHP",    "ENER_BAL"};

// Set-up steps 1-8. False when the call must end (ISTAT already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  st.imode = int_param(e, s.i0);
  st.npass = int_param(e, s.i0 + 1);
  if (!setup_streams(e, s)) return false;
  for (int v = 1; v <= kNumVars; ++v) st.pos[v] = s.nstream + v;
  setup_block_id(e);
  s.sel = -1;
  setup_scales(s);
  st.Fs = s.scales[0];
  st.Ts = s.scales[1];
  st.Hs = s.scales[2];
  st.Ps = s.scales[4];
  st.Fc = st.Fs * 10.0 / 1000.0;
  st.Ph = st.Ps / 10000.0;
  return true;
}

// --- Property equations -----------------------------------------------------

// The four property sets, in the pump's order, in one mode
// (2 pattern, 3 residual, 4 Jacobian).
void property_sets(Entry& e, State& st, int32_t action, int32_t& m, int32_t& k) {
  const Setup& s = st.s;
  const StreamMap& map = s.map;
  const int32_t liquid = 2;
  auto row = [&](PropertySet set, const int32_t* comp, int32_t ip, int32_t it, int32_t iv) {
    property_equation(e, s, set, liquid, comp, ip, it, iv, st.Fs, st.Ps, action, m, k);
  };
  // Suction and discharge liquid enthalpy.
  row(PropertySet::Enthalpy, map.in_comp, map.in_pres, st.pos[SUCT_TEMP], map.in_enth);
  row(PropertySet::Enthalpy, map.out_comp, map.out_pres, st.pos[DISCH_TEMP], map.out_enth);
  // Molecular weight of the inlet.
  molecular_weight_equation(e, s, map.in_comp, st.pos[MW], action, m, k);
  // Suction liquid molar volume.
  row(PropertySet::Volume, map.in_comp, map.in_pres, st.pos[SUCT_TEMP], st.pos[SUCT_MOLV]);
}

// --- Pump equations ---------------------------------------------------------

// Pattern of the pump equations (row, column) in the order the Jacobian writes
// its values.
void pump_pattern(Entry& e, const State& st, int32_t m, int32_t& k) {
  const StreamMap& map = st.s.map;
  auto at = [&](int32_t row, int32_t col) {
    e.IJROW[k] = m + row;
    e.IJCOL[k] = col;
    ++k;
  };
  const int32_t* p = st.pos;
  at(1, p[P_HEAD]);
  at(1, p[RHO]);
  at(1, p[DELTA_P]);
  at(2, p[P_RATIO]);
  at(2, map.in_pres);
  at(2, map.out_pres);
  at(3, map.out_pres);
  at(3, map.in_pres);
  at(3, p[DELTA_P]);
  at(4, p[RHO]);
  at(4, p[SUCT_MOLV]);
  at(4, p[MW]);
  at(5, p[PUMP_EFF]);
  at(5, p[BHP]);
  at(5, p[MASS_FLOW]);
  at(5, p[P_HEAD]);
  at(6, p[MW]);
  at(6, map.in_flow);
  at(6, p[MASS_FLOW]);
  at(7, p[DR_EFF]);
  at(7, p[EHP]);
  at(7, p[BHP]);
  at(8, map.in_flow);
  at(8, map.out_enth);
  at(8, map.in_enth);
  at(8, p[BHP]);
  int32_t row = 8;
  if (*e.NINFI == 1) {
    ++row;
    at(row, map.in_info);
    at(row, p[EHP]);
  }
  if (*e.NINFOUT == 1) {
    ++row;
    at(row, map.out_info);
    at(row, p[EHP]);
  }
}

void pump_residuals(Entry& e, const State& st, int32_t& m) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double pin = Y[map.in_pres - 1], pout = Y[map.out_pres - 1];
  const double fin = Y[map.in_flow - 1];
  const double hin = Y[map.in_enth - 1], hout = Y[map.out_enth - 1];
  double* F = e.F;
  F[m++] = y(P_HEAD) * y(RHO) * kG - y(DELTA_P);
  F[m++] = y(P_RATIO) * pin - pout;
  F[m++] = pout - pin - y(DELTA_P);
  F[m++] = y(RHO) * y(SUCT_MOLV) - y(MW);
  F[m++] = y(PUMP_EFF) * y(BHP) - y(P_HEAD) * y(MASS_FLOW) * kG;
  F[m++] = y(MW) * fin - y(MASS_FLOW);
  F[m++] = y(DR_EFF) * y(EHP) - y(BHP);
  F[m++] = fin * (hout - hin) - y(BHP);
  if (*e.NINFI == 1) F[m++] = Y[map.in_info - 1] + y(EHP);
  if (*e.NINFOUT == 1) F[m++] = y(EHP) - Y[map.out_info - 1];
}

void pump_jacobian(Entry& e, const State& st, int32_t& k) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double pin = Y[map.in_pres - 1];
  const double fin = Y[map.in_flow - 1];
  const double hin = Y[map.in_enth - 1], hout = Y[map.out_enth - 1];
  double* D = e.DFDY;
  D[k++] = y(RHO) * kG;
  D[k++] = kG * y(P_HEAD);
  D[k++] = -1.0;
  D[k++] = pin;
  D[k++] = y(P_RATIO);
  D[k++] = -1.0;
  D[k++] = 1.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  D[k++] = y(SUCT_MOLV);
  D[k++] = y(RHO);
  D[k++] = -1.0;
  D[k++] = y(BHP);
  D[k++] = y(PUMP_EFF);
  D[k++] = -kG * y(P_HEAD);
  D[k++] = -kG * y(MASS_FLOW);
  D[k++] = fin;
  D[k++] = y(MW);
  D[k++] = -1.0;
  D[k++] = y(EHP);
  D[k++] = y(DR_EFF);
  D[k++] = -1.0;
  D[k++] = hout - hin;
  D[k++] = fin;
  D[k++] = -fin;
  D[k++] = -1.0;
  if (*e.NINFI == 1) {
    D[k++] = 1.0;
    D[k++] = 1.0;
  }
  if (*e.NINFOUT == 1) {
    D[k++] = -1.0;
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
  *e.NY += 4;
  RTO_ENDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_ENDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_MWDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  RTO_VMDIM(&s.ncomp, e.NF, e.NY, e.NZ);
  *e.NY += 9;
  *e.NF += 8;
  *e.NZ += 26;
  const int32_t ninfo = (*e.NINFI == 1 ? 1 : 0) + (*e.NINFOUT == 1 ? 1 : 0);
  *e.NF += ninfo;
  *e.NZ += 2 * ninfo;
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
  for (int v = 1; v <= kNumVars; ++v) hs::vnam(kVarNames[v], lname, name_slot(e.VARNAM, lname, n + v));
  for (const char* t : kPropEqnNames) hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m));
  for (const char* t : kEqnNames) hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m));
  if (*e.NINFI == 1) hs::enam("POW_BAL_IN", lname, name_slot(e.EQNNAM, lname, ++m));
  if (*e.NINFOUT == 1) hs::enam("POW_BAL_OUT", lname, name_slot(e.EQNNAM, lname, ++m));
  n += kNumVars;
  U3DNAM(e.IDBLK, e.LNAME, &n, &m, e.VARNAM, e.EQNNAM);
}

// Outlet stream variables: values, bounds, step bounds and scales paired with
// the inlet's (R3PUMP_ISO).
void R3PUMP_ISO(Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t nvar = st.s.ncomp + 3;
  const bool restart = hs::ppexec_word(6) == 2;
  for (int t = 0; t < nvar; ++t) {
    const int32_t i = map.in_flow + t - 1;  // 0-based
    const int32_t j = map.out_flow + t - 1;
    double& yj = e.Y[j];
    if (hs::is_missing(yj) || restart) {
      if (j + 1 == map.out_pres || j + 1 == map.out_enth) {
        const double v = st.saved[j + 1 == map.out_pres ? S_POUT : S_HOUT];
        yj = hs::is_missing(v) ? e.Y[i] : v;
      } else {
        yj = e.Y[i];
      }
    }
    if (hs::is_missing(e.YLB[j])) e.YLB[j] = e.YLB[i];
    if (hs::is_missing(e.YUB[j])) e.YUB[j] = e.YUB[i];
    if (hs::is_missing(e.YSBND[j]) || e.YSBND[j] == 0.0) e.YSBND[j] = e.YSBND[i];
    if (!hs::is_missing(e.YSCL[j])) {
      hs::write(hs::kStandardOutput,
                rec::ListDirected().add("!! R3PUMP_ISO - Warning: Stream variable scale ").view());
      hs::write(hs::kStandardOutput,
                rec::ListDirected().add("!! factors entered via Y sentence are ignored").view());
    }
    e.YSCL[j] = e.YSCL[i];
  }
  if (*e.NINFOUT == 1) {
    double& w = e.Y[map.out_info - 1];
    if (hs::is_missing(w) || restart) w = st.saved[saved_index(EHP)];
  }
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const double pw = State::c10 * st.Fs * st.Ph;
  // (a) Inlet streams into Y.
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  if (*e.NINFI == 1) U3_ISTRM_PLX2X(s.dinfin, e.SINFIN, e.Y);
  // (b) Inlet bounds, step bounds, scales and types.
  material_stream_defaults(e, s, s.dmatin, st.Fs, st.Hs, st.Ps);
  // Information streams carry power: bounded to +-10^4 power scales.
  const double wlb = -10000.0 * pw, wub = 10000.0 * pw, wsb = 10.0;  // step bounds are in multiples of the scale
  auto info_defaults = [&](const int32_t* d) {
    info_stream_defaults(e, d, wlb, wub, wsb, pw);
  };
  if (*e.NINFI == 1) info_defaults(s.dinfin);
  // (c) Sequential-modular use fixes the inlet.
  if (st.imode == 0) {
    U3_MSTRM_FIX(s.dmatin, e.IYATTR);
    if (*e.NINFI == 1) U3_ISTRM_FIX(s.dinfin, e.IYATTR);
  }
  // (d) Stream variable count and component-flow entries.
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
        &s.nstream);
  // (e) Sequential initialisation into the saved-value array.
  R3PUMP_INI(e, st);
  if (*e.ISTAT != 0) return;
  // (f) Outlet streams.
  R3PUMP_ISO(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  if (*e.NINFOUT == 1) info_defaults(s.dinfout);
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
  const double fscl[] = {st.Hs / 100.0, st.Hs / 100.0, State::c10, 0.01,
                         st.Ps,         st.Ps,         st.Ps,      State::c10,
                         pw,            State::c10 * st.Fs,        pw,
                         pw,            pw,            pw};
  const int32_t neq = 12 + (*e.NINFI == 1 ? 1 : 0) + (*e.NINFOUT == 1 ? 1 : 0);
  for (int32_t q = 0; q < neq; ++q, ++m) {
    if (hs::is_missing(e.FSCL[m])) e.FSCL[m] = fscl[q];
  }
  // (i) Pattern.
  m = 0;
  int32_t k = 0;
  U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW,
              e.IJCOL, &m, &k);
  property_sets(e, st, 2, m, k);
  pump_pattern(e, st, m, k);
}

void residuals(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F, &m);
  property_sets(e, st, 3, m, k);
  pump_residuals(e, st, m);
}

void jacobian(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.DFDY, &k);
  property_sets(e, st, 4, m, k);
  pump_jacobian(e, st, k);
}

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t code = 0;
  U3_MSTRM_SET_KODE(s.dmatin, &code);
  U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
         e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN, e.SMATOUT,
         e.SINFOUT);
  hs::ppexec_word(6) = 2;
}

// The pump's equations are written for one material inlet and one outlet and
// at most one information stream.
bool serves(Entry& e, State&) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI >= 0 && *e.NINFOUT >= 0 &&
         *e.NINFI + *e.NINFOUT <= 1;
}

constexpr ModelHooks<State> kHooks{
    .set_up = set_up,
    .check = [](Entry& e, State& st) { return R3PUMP_CHK(e, st); },
    .serves = serves,
    .dimensions = dimensions,
    .names = names,
    .initialise = initialise,
    .residuals = residuals,
    .jacobian = jacobian,
    .stream_update = stream_update,
    .report = [](Entry& e, State& st) { R3PUMP_REPORT(e, st); },
};

void run(Entry& e) { dispatch(e, state(), kHooks); }

}  // namespace
}  // namespace r3::pump

R3_DEFINE_ENTRY(R3PUMP, r3::pump::run)
