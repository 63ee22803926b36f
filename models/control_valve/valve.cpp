// R3VALV entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations: the host's stream equations (component and total-flow
// balances, adiabatic enthalpy balance), then the valve's own 8 (liquid) or
// 13 (vapour) equations, then 3 or 4 property equations (vapour heat
// capacity, enthalpy, molecular weight, molar volume of the inlet).
#include <cmath>
#include <cstring>

#include "framework/dispatch.h"
#include "framework/host_services.h"
#include "framework/property_equations.h"
#include "framework/records.h"
#include "models/control_valve/valve.h"

namespace r3::valve {

State& state() {
  static State st;
  return st;
}

bool vapour(const State& st) { return st.phase == kVapour; }

namespace {

constexpr const char* kVarNames[kNumVars + 1] = {
    "",       "INLET_TEMP", "INLET_MOLV", "MW",        "INLET_DENS", "VOL_FLOW",
    "WT_FLOW", "INLET_CP",  "INLET_KRATIO", "FK",      "XT",         "Y",
    "X",      "XCHOKE",     "FP",         "CVMAX",     "CV",         "VALVE_POS",
    "VP_PRED", "VP_BIAS",   "DELTAP",     "DP_PRED",   "DP_BIAS"};

constexpr const char* kEqnNames[13] = {
    "VOLUME_FLOW", "WEIGHT_FLOW", "INLET_DENSITY", "DELTAP_DEFN", "CV_CURVE",
    "VP_OFFSET",   "DP_OFFSET",   "VALVE_EQN",     "KRATIO_DEFN", "CALC_FK",
    "CALC_Y",      "CALC_PRATIO", "CHECK_PRATIO"};

constexpr int kLiquidEqns = 8, kVapourEqns = 13;
constexpr int kLiquidNz = 26, kVapourNz = 43;

int block_eqns(const State& st) { return vapour(st) ? kVapourEqns : kLiquidEqns; }

// Parameter with its default: beyond NINT or the integer missing marker.
int32_t param(const Entry& e, int32_t pos, int32_t dflt) {
  const int32_t v = int_param(e, pos);
  return v == hs::imiss() ? dflt : v;
}

// Set-up steps 1-8. False when the call must end (ISTAT already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  st.imode = param(e, s.i0, 0);
  st.phase = param(e, s.i0 + 1, kVapour);
  st.chr = param(e, s.i0 + 2, 1);
  st.direction = param(e, s.i0 + 3, 0);
  st.choke = param(e, s.i0 + 4, 1);
  st.npass = param(e, s.i0 + 5, 1);
  if (!setup_streams(e, s)) return false;
  // The equations need exactly one material inlet and outlet, no information
  // streams, a known phase and a known characteristic.
  st.structure_ok = *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI == 0 && *e.NINFOUT == 0 &&
                    s.ncomp >= 1 && s.ncomp <= kMaxComponents &&
                    (st.phase == kVapour || st.phase == kLiquid) && st.chr >= 0 && st.chr <= 6;
  const bool vap = st.phase != kLiquid;
  int32_t next = s.nstream;
  for (int v = 1; v <= kNumVars; ++v) st.pos[v] = (vapour_only(v) && !vap) ? 0 : ++next;
  st.nvars = vap ? kNumVars : kNumVarsLiquid;
  setup_block_id(e);
  s.sel = -1;
  setup_scales(s);
  st.Fs = s.scales[0];
  st.Ts = s.scales[1];
  st.Hs = s.scales[2];
  st.Ps = s.scales[4];
  if (vap) {
    st.Ms = 10000.0 * st.Ts / st.Ps;
    st.Ds = 10.0 / st.Ms;
    st.Qs = st.Fs * 10000.0 * st.Ts / st.Ps;
  } else {
    st.Ms = 0.01;
    st.Ds = 1000.0;
    st.Qs = 10.0 * st.Fs / 1000.0;
  }
  st.table = st.chr == 0 ? read_table(e, s.r0, st.curve) : 0;
  if (st.table != 1) st.curve.n = 0;
  return true;
}

struct VarInfo {
  int32_t type;
  double lower, upper, scale;
};

VarInfo var_info(const State& st, int v, double pin) {
  const double hts = st.Hs / st.Ts;
  switch (v) {
    case INLET_TEMP: return {22, 10.0, 1000.0, st.Ts};
    case INLET_MOLV: return {43, 0.001 * st.Ms, 1000.0 * st.Ms, st.Ms};
    case MW: return {44, 1.0, 10000.0, 10.0};
    case INLET_DENS: return {38, 0.001 * st.Ds, 1000.0 * st.Ds, st.Ds};
    case VOL_FLOW: return {12, 0.001 * st.Qs, 1000.0 * st.Qs, st.Qs};
    case WT_FLOW: return {10, 0.001 * 10.0 * st.Fs, 1000.0 * 10.0 * st.Fs, 10.0 * st.Fs};
    case INLET_CP: return {15, 0.001 * hts, 1000.0 * hts, hts};
    case INLET_KRATIO: return {44, 1.0, 2.0, 1.0};
    case FK: return {44, 0.0, 2.0, 1.0};
    case XT: return {44, 0.0, 1.0, 1.0};
    case YEXP: return {44, 2.0 / 3.0, 1.0, 1.0};
    case X: return {44, 0.0, 1.0, 1.0};
    case XCHOKE: return {44, 0.0, 1.0, 1.0};
    case FP: return {44, 0.0, 1.0, 1.0};
    case CVMAX:
    case CV: return {0, 0.1, 100000.0, 100.0};
    case VALVE_POS:
    case VP_PRED:
    case VP_BIAS: return {44, 0.0, 100.0, 100.0};
    default:  // DELTAP, DP_PRED, DP_BIAS
      return {75, 0.0, pin, st.Ps};
  }
}

double curve_scale(int32_t chr) {
  switch (chr) {
    case 3:
    case 5:
    case 6: return 10000.0;
    case 4: return 1000000.0;
    default: return 100.0;
  }
}

// --- Property equations -----------------------------------------------------

// The three or four property sets in one mode (2 pattern, 3 residual,
// 4 Jacobian).
void property_sets(Entry& e, State& st, int32_t action, int32_t& m, int32_t& k) {
  const Setup& s = st.s;
  const StreamMap& map = s.map;
  const int32_t ip = map.in_pres, it = st.pos[INLET_TEMP];
  auto row = [&](PropertySet set, int32_t iv) {
    property_equation(e, s, set, st.phase, map.in_comp, ip, it, iv, st.Fs, st.Ps, action, m, k);
  };
  if (vapour(st)) row(PropertySet::HeatCapacity, st.pos[INLET_CP]);
  row(PropertySet::Enthalpy, map.in_enth);
  molecular_weight_equation(e, s, map.in_comp, st.pos[MW], action, m, k);
  row(PropertySet::Volume, st.pos[INLET_MOLV]);
}

void property_dims(Entry& e, State& st) {
  int32_t nc = st.s.ncomp;
  if (vapour(st)) RTO_CPDIM(&nc, e.NF, e.NY, e.NZ);
  RTO_ENDIM(&nc, e.NF, e.NY, e.NZ);
  RTO_MWDIM(&nc, e.NF, e.NY, e.NZ);
  RTO_VMDIM(&nc, e.NF, e.NY, e.NZ);
}

// Property equation names: the set's name extended by the suffix.
void property_names(Entry& e, State& st, int32_t& m) {
  const int32_t lname = *e.LNAME;
  const bool vap = vapour(st);
  struct Name {
    const char* base;
    const char* suffix;
  };
  const Name liquid[] = {{"LIQENTH", "_IN"}, {"MOLWT", ""}, {"LIQVM", "_IN"}};
  const Name vapours[] = {{"VAPCP", "_IN"}, {"VAPENTH", "_IN"}, {"MOLWT", ""}, {"VAPVM", "_IN"}};
  const Name* list = vap ? vapours : liquid;
  const int n = vap ? 4 : 3;
  for (int i = 0; i < n; ++i) {
    constexpr int32_t kLen = 32;
    char text[kLen];
    std::memset(text, ' ', kLen);
    std::memcpy(text, list[i].base, std::strlen(list[i].base));
    int32_t words[kLen / 4];
    int32_t nwords = kLen / 4, len = kLen;
    IU_STR2I4(text, &len, words, &nwords);
    IU_I42STR(words, &nwords, text, &len);
    const int32_t slen = static_cast<int32_t>(std::strlen(list[i].suffix));
    if (slen > 0) IU_STRCAT(text, &len, list[i].suffix, &slen);
    int32_t used = kLen;
    while (used > 0 && text[used - 1] == ' ') --used;
    hs::enam(std::string_view(text, static_cast<size_t>(used)), lname,
             name_slot(e.EQNNAM, lname, ++m));
  }
}

void property_scales(Entry& e, State& st, int32_t& m) {
  if (vapour(st)) e.FSCL[m++] = st.Hs / st.Ts;
  e.FSCL[m++] = st.Hs;
  e.FSCL[m++] = 10.0;
  e.FSCL[m++] = st.Ms;
}

// --- Valve equations --------------------------------------------------------

void valve_pattern(Entry& e, const State& st, int32_t m, int32_t& k) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  auto at = [&](int32_t row, int32_t col) {
    e.IJROW[k] = m + row;
    e.IJCOL[k] = col;
    ++k;
  };
  at(1, p[VOL_FLOW]);
  at(1, p[INLET_MOLV]);
  at(1, map.in_flow);
  at(2, p[WT_FLOW]);
  at(2, p[MW]);
  at(2, map.in_flow);
  at(3, p[INLET_DENS]);
  at(3, p[INLET_MOLV]);
  at(3, p[MW]);
  at(4, map.in_pres);
  at(4, map.out_pres);
  at(4, p[DELTAP]);
  at(5, p[CV]);
  at(5, p[CVMAX]);
  at(5, p[VP_PRED]);
  at(6, p[VALVE_POS]);
  at(6, p[VP_PRED]);
  at(6, p[VP_BIAS]);
  at(7, p[DELTAP]);
  at(7, p[DP_PRED]);
  at(7, p[DP_BIAS]);
  if (!vapour(st)) {
    at(8, p[FP]);
    at(8, p[CV]);
    at(8, p[DP_PRED]);
    at(8, p[INLET_DENS]);
    at(8, p[WT_FLOW]);
    return;
  }
  at(8, p[FP]);
  at(8, p[CV]);
  at(8, p[YEXP]);
  at(8, p[XCHOKE]);
  at(8, map.in_pres);
  at(8, p[INLET_DENS]);
  at(8, p[WT_FLOW]);
  at(9, p[INLET_KRATIO]);
  at(9, p[INLET_CP]);
  at(10, p[FK]);
  at(10, p[INLET_KRATIO]);
  at(11, p[YEXP]);
  at(11, p[FK]);
  at(11, p[XT]);
  at(11, p[XCHOKE]);
  at(12, p[X]);
  at(12, map.in_pres);
  at(12, p[DP_PRED]);
  at(13, p[XCHOKE]);
  at(13, p[X]);
  at(13, p[FK]);
  at(13, p[XT]);
}

// Residual of CV_CURVE and its derivatives by (CV, CVMAX, VP_PRED).
double cv_curve(const State& st, double cv, double cvmax, double vp, double d[3]) {
  const double vp2 = vp * vp, vp3 = vp2 * vp, vp4 = vp2 * vp2;
  const double cv2 = cv * cv, cm2 = cvmax * cvmax;
  switch (st.chr) {
    case 2:
      d[0] = 1.0;
      d[1] = -0.0001 * vp2;
      d[2] = -0.0002 * cvmax * vp;
      return cv - 0.0001 * cvmax * vp2;
    case 3:
      d[0] = 2.0 * cv;
      d[1] = -0.02 * cvmax * vp;
      d[2] = -0.01 * cm2;
      return cv2 - 0.01 * cm2 * vp;
    case 4:
      d[0] = 2.0 * cv * (1.0 + 0.0099 * vp2);
      d[1] = -0.02 * cvmax * vp2;
      d[2] = 2.0 * vp * (0.0099 * cv2 - 0.01 * cm2);
      return (1.0 + 0.0099 * vp2) * cv2 - 0.01 * cm2 * vp2;
    case 5:
      d[0] = cv * (4.0 - 2.0e-8 * vp4);
      d[1] = -2.0e-8 * vp4 * cvmax;
      d[2] = -4.0e-8 * vp3 * (cm2 + cv2);
      return 2.0 * cv2 - 1.0e-8 * vp4 * (cm2 + cv2);
    case 6:
      d[0] = 2.0 * cv * (1.0 - 9.9e-5 * vp2);
      d[1] = -2.0e-6 * cvmax * vp2;
      d[2] = -2.0 * vp * (9.9e-5 * cv2 + 1.0e-6 * cm2);
      return cv2 - vp2 * (9.9e-5 * cv2 + 1.0e-6 * cm2);
    case 0:
      if (st.curve.n >= 2) {
        double dg = 0.0;
        const double g = ratio(0, st.curve, vp, &dg);
        d[0] = 1.0;
        d[1] = -g;
        d[2] = -cvmax * dg;
        return cv - cvmax * g;
      }
      [[fallthrough]];
    default:  // linear
      d[0] = 1.0;
      d[1] = -0.01 * vp;
      d[2] = -0.01 * cvmax;
      return cv - 0.01 * cvmax * vp;
  }
}

// The choked branch of CHECK_PRATIO: X above FK*XT (at equality the
// unchoked branch applies).
bool choked(double x, double fk, double xt) { return x > fk * xt; }

void valve_residuals(Entry& e, const State& st, int32_t& m) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double fin = Y[map.in_flow - 1], pin = Y[map.in_pres - 1], pout = Y[map.out_pres - 1];
  double* F = e.F;
  double d[3];
  F[m++] = y(VOL_FLOW) - y(INLET_MOLV) * fin;
  F[m++] = y(WT_FLOW) - fin * y(MW);
  F[m++] = y(INLET_MOLV) * y(INLET_DENS) - y(MW);
  F[m++] = pin - pout - y(DELTAP);
  F[m++] = cv_curve(st, y(CV), y(CVMAX), y(VP_PRED), d);
  F[m++] = y(VALVE_POS) - y(VP_PRED) - y(VP_BIAS);
  F[m++] = y(DELTAP) - y(DP_PRED) - y(DP_BIAS);
  const double cv2 = y(CV) * y(CV), fp2 = y(FP) * y(FP), w2 = y(WT_FLOW) * y(WT_FLOW);
  if (!vapour(st)) {
    F[m++] = cv2 * fp2 * kC * y(DP_PRED) * y(INLET_DENS) - w2;
    return;
  }
  const double ye = y(YEXP);
  F[m++] = y(INLET_DENS) * cv2 * fp2 * kC * ye * ye * y(XCHOKE) * pin - w2;
  F[m++] = (y(INLET_CP) - kGasConstant) * y(INLET_KRATIO) - y(INLET_CP);
  F[m++] = 1.4 * y(FK) - y(INLET_KRATIO);
  F[m++] = (ye - 1.0) * 3.0 * y(FK) * y(XT) + y(XCHOKE);
  F[m++] = pin * y(X) - y(DP_PRED);
  F[m++] = choked(y(X), y(FK), y(XT)) ? y(XCHOKE) - y(FK) * y(XT) : y(XCHOKE) - y(X);
}

void valve_jacobian(Entry& e, const State& st, int32_t& k) {
  const StreamMap& map = st.s.map;
  const double* Y = e.Y;
  auto y = [&](int v) { return Y[st.pos[v] - 1]; };
  const double fin = Y[map.in_flow - 1], pin = Y[map.in_pres - 1];
  double* D = e.DFDY;
  D[k++] = 1.0;
  D[k++] = -fin;
  D[k++] = -y(INLET_MOLV);
  D[k++] = 1.0;
  D[k++] = -fin;
  D[k++] = -y(MW);
  D[k++] = y(INLET_MOLV);
  D[k++] = y(INLET_DENS);
  D[k++] = -1.0;
  D[k++] = 1.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  double d[3];
  cv_curve(st, y(CV), y(CVMAX), y(VP_PRED), d);
  D[k++] = d[0];
  D[k++] = d[1];
  D[k++] = d[2];
  D[k++] = 1.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  D[k++] = 1.0;
  D[k++] = -1.0;
  D[k++] = -1.0;
  const double cv = y(CV), fp = y(FP), rho = y(INLET_DENS);
  if (!vapour(st)) {
    const double dp = y(DP_PRED);
    D[k++] = k2C * fp * cv * cv * dp * rho;
    D[k++] = k2C * cv * fp * fp * dp * rho;
    D[k++] = kC * cv * cv * fp * fp * rho;
    D[k++] = kC * cv * cv * fp * fp * dp;
    D[k++] = -2.0 * y(WT_FLOW);
    return;
  }
  const double ye = y(YEXP), xc = y(XCHOKE);
  const double a = cv * cv * fp * fp * ye * ye;  // CV^2 FP^2 Y^2
  D[k++] = k2C * fp * cv * cv * ye * ye * xc * pin * rho;
  D[k++] = k2C * cv * fp * fp * ye * ye * xc * pin * rho;
  D[k++] = k2C * ye * cv * cv * fp * fp * xc * pin * rho;
  D[k++] = kC * a * pin * rho;
  D[k++] = kC * a * xc * rho;
  D[k++] = kC * a * xc * pin;
  D[k++] = -2.0 * y(WT_FLOW);
  D[k++] = y(INLET_CP) - kGasConstant;
  D[k++] = y(INLET_KRATIO) - 1.0;
  D[k++] = 1.4;
  D[k++] = -1.0;
  const double fk = y(FK), xt = y(XT);
  D[k++] = 3.0 * fk * xt;
  D[k++] = 3.0 * (ye - 1.0) * xt;
  D[k++] = 3.0 * (ye - 1.0) * fk;
  D[k++] = 1.0;
  D[k++] = pin;
  D[k++] = y(X);
  D[k++] = -1.0;
  D[k++] = 1.0;
  if (choked(y(X), fk, xt)) {
    D[k++] = 0.0;
    D[k++] = -xt;
    D[k++] = -fk;
  } else {
    D[k++] = -1.0;
    D[k++] = 0.0;
    D[k++] = 0.0;
  }
}

// --- Requests ---------------------------------------------------------------

#define R3_VALVE_GROUPS                                                                    \
  e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, st.s.dmatin, st.s.dinfin, st.s.dmatout, \
      st.s.dinfout

void dimensions(Entry& e, State& st) {
  *e.NAUX1 = *e.NF = *e.NY = *e.NAUX2 = *e.NAUX3 = *e.NZ = 0;
  U3SNY(R3_VALVE_GROUPS, e.NY);
  *e.NY += st.nvars;
  U3SNF(R3_VALVE_GROUPS, e.NF);
  *e.NF += block_eqns(st);
  U3SNNZ(R3_VALVE_GROUPS, e.NZ);
  *e.NZ += vapour(st) ? kVapourNz : kLiquidNz;
  property_dims(e, st);
}

void names(Entry& e, State& st) {
  const int32_t lname = *e.LNAME;
  U3SVL(R3_VALVE_GROUPS, RXN_IBLKID, e.LNAME, e.VARNAM);
  int32_t n = st.s.nstream;
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] != 0) hs::vnam(kVarNames[v], lname, name_slot(e.VARNAM, lname, st.pos[v]));
  }
  n += st.nvars;
  int32_t m = 0;
  U3SEL(R3_VALVE_GROUPS, RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
  for (int q = 0; q < block_eqns(st); ++q) {
    const char* t = kEqnNames[q];
    if (q == 7) t = vapour(st) ? "VAP_VALVE_EQN" : "LIQ_VALVE_EQN";
    hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m));
  }
  property_names(e, st, m);
  U3DNAM(e.IDBLK, e.LNAME, &n, &m, e.VARNAM, e.EQNNAM);
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const StreamMap& map = s.map;
  // The outlet starts as a copy of the inlet.
  U3SCPY(e.SMATIN, e.LSTRM, e.SMATOUT);
  // An outlet pressure the user put into Y survives the stream mapping.
  const double pkept = e.Y[map.out_pres - 1];
  const bool kept = pkept > 0.0 && pkept < hs::rmiss();
  U3SPTX(R3_VALVE_GROUPS, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.SMATIN, e.SINFIN, e.SMATOUT,
         e.SINFOUT, &st.imode, e.Y, e.YLB, e.YUB, e.YSCL, e.YSBND, e.IYATTR);
  // A fixed outlet pressure is the user's whatever it holds: a missing one
  // must reach the initialisation's check, not turn into the inlet's.
  if (kept || hs::fixed(e.IYATTR[map.out_pres - 1])) e.Y[map.out_pres - 1] = pkept;
  int32_t ncf = U3_MSTRM_NCF(s.dmatin);
  if (ncf < 1 || ncf > kMaxComponents) ncf = s.ncomp;
  R3VCFI(e, st, ncf);
  if (*e.ISTAT != 0) return;
  if (!kept) e.Y[map.out_pres - 1] = st.pout;
  // Block variables: values, bounds, step bounds and scales where missing.
  const double pin = e.Y[map.in_pres - 1];
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] == 0) continue;
    const int32_t j = st.pos[v] - 1;
    const VarInfo b = var_info(st, v, pin);
    if (hs::is_missing(e.Y[j])) e.Y[j] = st.w[v];
    if (hs::is_missing(e.YLB[j])) e.YLB[j] = b.lower;
    if (hs::is_missing(e.YUB[j])) e.YUB[j] = b.upper;
    if (hs::is_missing(e.YSBND[j])) e.YSBND[j] = 1.0;
    if (hs::is_missing(e.YSCL[j])) e.YSCL[j] = b.scale;
    hs::set_type(e.IYATTR[j], b.type);
  }
  // Equation scales: the valve always writes its own.
  int32_t m = 0;
  U3SETF(R3_VALVE_GROUPS, e.FSCL, &m);
  const double fs10 = 10.0 * st.Fs;
  const double scl[kVapourEqns] = {st.Qs,         fs10,  st.Ds, st.Ps, curve_scale(st.chr),
                                   100.0,         st.Ps, fs10 * fs10,  st.Hs / st.Ts,
                                   1.0,           1.0,   st.Ps, 1.0};
  for (int q = 0; q < block_eqns(st); ++q) e.FSCL[m++] = scl[q];
  property_scales(e, st, m);
  // Pattern: stream equations, valve equations, property equations.
  m = 0;
  int32_t k = 0;
  U3SPAT(R3_VALVE_GROUPS, e.IJROW, e.IJCOL, &m, &k);
  valve_pattern(e, st, m, k);
  m += block_eqns(st);
  property_sets(e, st, 2, m, k);
}

void residuals(Entry& e, State& st) {
  int32_t m = 0, k = 0;
  U3SRES(R3_VALVE_GROUPS, e.Y, e.F, &m);
  valve_residuals(e, st, m);
  property_sets(e, st, 3, m, k);
}

void jacobian(Entry& e, State& st) {
  int32_t m = 0, k = 0;
  U3SJAC(R3_VALVE_GROUPS, e.Y, e.DFDY, &k);
  valve_jacobian(e, st, k);
  property_sets(e, st, 4, m, k);
}

void stream_update(Entry& e, State& st) {
  U3SXTP(R3_VALVE_GROUPS, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN,
         e.SINFIN, e.SMATOUT, e.SINFOUT);
  hs::ppexec_word(6) = 2;
}

constexpr ModelHooks<State> kHooks{
    .set_up = set_up,
    .check = [](Entry& e, State& st) { return r3vchk(e, st); },
    .serves = [](Entry&, State& st) { return st.structure_ok; },
    .dimensions = dimensions,
    .names = names,
    .initialise = initialise,
    .residuals = residuals,
    .jacobian = jacobian,
    .stream_update = stream_update,
    .report = [](Entry& e, State& st) { R3VALV_REPORT(e, st); },
    .refused = [](Entry& e, State& st) { r3vchk(e, st); },
};

void run(Entry& e) { dispatch(e, state(), kHooks); }

}  // namespace
}  // namespace r3::valve

R3_DEFINE_ENTRY(R3VALV, r3::valve::run)
