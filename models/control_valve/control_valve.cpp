// R3VALV entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations: the host's stream equations (component and total-flow
// balances, adiabatic enthalpy balance), then the valve's own 8 (liquid) or
// 13 (vapour) equations, then 3 or 4 property equations (vapour heat
// capacity, enthalpy, molecular weight, molar volume of the inlet).
#include <cmath>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"
#include "models/control_valve/control_valve.h"

namespace r3::control_valve {

State& state() { return thread_state<State>(); }

bool vapour(const State& st) { return st.phase == kVapour; }

namespace {

constexpr const char* kVarNames[kNumVars + 1] = {
    "",       "INLET_TEMP", "INLET_MOLV", "MW",        "INLET_DENS", "VOL_FLOW",
    "WT_FLOW", "INLET_CP",  "INLET_KRATIO", "FK",      "XT",         "Y",
    "X",      "XCHOKE",     "FP",         "CVMAX",     "CV",         "VALVE_POS",
    "VP_PRED", "VP_BIAS",   "DELTAP",     "DP_PRED",   "DP_BIAS"};

// Parameter with its default: beyond NINT or the integer missing marker.
int32_t param(const Entry& e, int32_t pos, int32_t dflt) {
  const int32_t v = int_param(e, pos);
  return v == hs::imiss() ? dflt : v;
}

// The common set-up of every call. False when the call must end (ISTAT
// already set).
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
  setup_scales(s, st);
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

VariableDefaults var_info(const State& st, int v, double pin) {
  const double hts = st.Hs / st.Ts;
  switch (v) {
    case INLET_TEMP: return {kTypeTemperature, 10.0, 1000.0, st.Ts};
    case INLET_MOLV: return {kTypeMolarVolume, 0.001 * st.Ms, 1000.0 * st.Ms, st.Ms};
    case MW: return {kTypeDimensionless, 1.0, 10000.0, 10.0};
    case INLET_DENS: return {kTypeMassDensity, 0.001 * st.Ds, 1000.0 * st.Ds, st.Ds};
    case VOL_FLOW: return {kTypeVolumeFlow, 0.001 * st.Qs, 1000.0 * st.Qs, st.Qs};
    case WT_FLOW: return {kTypeMassFlow, 0.001 * 10.0 * st.Fs, 1000.0 * 10.0 * st.Fs, 10.0 * st.Fs};
    case INLET_CP: return {kTypeMolarHeatCapacity, 0.001 * hts, 1000.0 * hts, hts};
    case INLET_KRATIO: return {kTypeDimensionless, 1.0, 2.0, 1.0};
    case FK: return {kTypeDimensionless, 0.0, 2.0, 1.0};
    case XT: return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case YEXP: return {kTypeDimensionless, 2.0 / 3.0, 1.0, 1.0};
    case X: return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case XCHOKE: return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case FP: return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case CVMAX:
    case CV: return {kTypeNone, 0.1, 100000.0, 100.0};
    case VALVE_POS:
    case VP_PRED:
    case VP_BIAS: return {kTypeDimensionless, 0.0, 100.0, 100.0};
    default:  // DELTAP, DP_PRED, DP_BIAS
      return {kTypePressureDifference, 0.0, pin, st.Ps};
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

// --- Valve equations --------------------------------------------------------

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

// --- Equations ----------------------------------------------------------------

// The valve's rows after the stream equations, in order: its own eight
// (liquid) or thirteen (vapour) rows, then its three or four property rows.
void valve_rows(EquationWriter& w, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  auto y = [&](int v) { return w.y(p[v]); };
  const double fin = w.y(map.in_flow), pin = w.y(map.in_pres), pout = w.y(map.out_pres);
  const double fs10 = 10.0 * st.Fs;
  w.row("VOLUME_FLOW", st.Qs, y(VOL_FLOW) - y(INLET_MOLV) * fin);
  w.at(p[VOL_FLOW], 1.0);
  w.at(p[INLET_MOLV], -fin);
  w.at(map.in_flow, -y(INLET_MOLV));
  w.row("WEIGHT_FLOW", fs10, y(WT_FLOW) - fin * y(MW));
  w.at(p[WT_FLOW], 1.0);
  w.at(p[MW], -fin);
  w.at(map.in_flow, -y(MW));
  w.row("INLET_DENSITY", st.Ds, y(INLET_MOLV) * y(INLET_DENS) - y(MW));
  w.at(p[INLET_DENS], y(INLET_MOLV));
  w.at(p[INLET_MOLV], y(INLET_DENS));
  w.at(p[MW], -1.0);
  w.row("DELTAP_DEFN", st.Ps, pin - pout - y(DELTAP));
  w.at(map.in_pres, 1.0);
  w.at(map.out_pres, -1.0);
  w.at(p[DELTAP], -1.0);
  double d[3];
  w.row("CV_CURVE", curve_scale(st.chr), cv_curve(st, y(CV), y(CVMAX), y(VP_PRED), d));
  w.at(p[CV], d[0]);
  w.at(p[CVMAX], d[1]);
  w.at(p[VP_PRED], d[2]);
  w.row("VP_OFFSET", 100.0, y(VALVE_POS) - y(VP_PRED) - y(VP_BIAS));
  w.at(p[VALVE_POS], 1.0);
  w.at(p[VP_PRED], -1.0);
  w.at(p[VP_BIAS], -1.0);
  w.row("DP_OFFSET", st.Ps, y(DELTAP) - y(DP_PRED) - y(DP_BIAS));
  w.at(p[DELTAP], 1.0);
  w.at(p[DP_PRED], -1.0);
  w.at(p[DP_BIAS], -1.0);
  const double cv = y(CV), fp = y(FP), rho = y(INLET_DENS);
  const double cv2 = cv * cv, fp2 = fp * fp, w2 = y(WT_FLOW) * y(WT_FLOW);
  if (!vapour(st)) {
    const double dp = y(DP_PRED);
    w.row("LIQ_VALVE_EQN", fs10 * fs10, cv2 * fp2 * kC * dp * rho - w2);
    w.at(p[FP], k2C * fp * cv * cv * dp * rho);
    w.at(p[CV], k2C * cv * fp * fp * dp * rho);
    w.at(p[DP_PRED], kC * cv * cv * fp * fp * rho);
    w.at(p[INLET_DENS], kC * cv * cv * fp * fp * dp);
    w.at(p[WT_FLOW], -2.0 * y(WT_FLOW));
  } else {
    const double ye = y(YEXP), xc = y(XCHOKE);
    const double a = cv * cv * fp * fp * ye * ye;  // CV^2 FP^2 Y^2
    w.row("VAP_VALVE_EQN", fs10 * fs10, rho * cv2 * fp2 * kC * ye * ye * xc * pin - w2);
    w.at(p[FP], k2C * fp * cv * cv * ye * ye * xc * pin * rho);
    w.at(p[CV], k2C * cv * fp * fp * ye * ye * xc * pin * rho);
    w.at(p[YEXP], k2C * ye * cv * cv * fp * fp * xc * pin * rho);
    w.at(p[XCHOKE], kC * a * pin * rho);
    w.at(map.in_pres, kC * a * xc * rho);
    w.at(p[INLET_DENS], kC * a * xc * pin);
    w.at(p[WT_FLOW], -2.0 * y(WT_FLOW));
    w.row("KRATIO_DEFN", st.Hs / st.Ts, (y(INLET_CP) - kGasConstant) * y(INLET_KRATIO) - y(INLET_CP));
    w.at(p[INLET_KRATIO], y(INLET_CP) - kGasConstant);
    w.at(p[INLET_CP], y(INLET_KRATIO) - 1.0);
    const double fk = y(FK), xt = y(XT);
    w.row("CALC_FK", 1.0, 1.4 * fk - y(INLET_KRATIO));
    w.at(p[FK], 1.4);
    w.at(p[INLET_KRATIO], -1.0);
    w.row("CALC_Y", 1.0, (ye - 1.0) * 3.0 * fk * xt + xc);
    w.at(p[YEXP], 3.0 * fk * xt);
    w.at(p[FK], 3.0 * (ye - 1.0) * xt);
    w.at(p[XT], 3.0 * (ye - 1.0) * fk);
    w.at(p[XCHOKE], 1.0);
    w.row("CALC_PRATIO", st.Ps, pin * y(X) - y(DP_PRED));
    w.at(p[X], pin);
    w.at(map.in_pres, y(X));
    w.at(p[DP_PRED], -1.0);
    const bool ch = choked(y(X), fk, xt);
    w.row("CHECK_PRATIO", 1.0, ch ? xc - fk * xt : xc - y(X));
    w.at(p[XCHOKE], 1.0);
    w.at(p[X], ch ? 0.0 : -1.0);
    w.at(p[FK], ch ? -xt : 0.0);
    w.at(p[XT], ch ? -fk : 0.0);
  }
  const int32_t ip = map.in_pres, it = p[INLET_TEMP];
  const bool vap = vapour(st);
  if (vap) {
    w.property({PropertySet::HeatCapacity, st.phase, map.in_comp, ip, it, p[INLET_CP], "VAPCP_IN",
                st.Hs / st.Ts});
  }
  w.property({PropertySet::Enthalpy, st.phase, map.in_comp, ip, it, map.in_enth,
              vap ? "VAPENTH_IN" : "LIQENTH_IN", st.Hs});
  w.property({PropertySet::MolecularWeight, st.phase, map.in_comp, 0, 0, p[MW], "MOLWT", 10.0});
  w.property({PropertySet::Volume, st.phase, map.in_comp, ip, it, p[INLET_MOLV],
              vap ? "VAPVM_IN" : "LIQVM_IN", st.Ms});
}

// The rows in one pass, after the stream equations' m rows and k entries.
// The valve always writes its equation scales.
void write_rows(Entry& e, const State& st, RowPass pass, int32_t m, int32_t k) {
  EquationWriter w(e, st.s, pass, m, k, st.Fs, st.Ps);
  w.scales_always = true;
  valve_rows(w, st);
  if (pass == RowPass::Count) {
    *e.NF += w.rows();
    *e.NZ += w.nonzeros();
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
  U3SNNZ(R3_VALVE_GROUPS, e.NZ);
  write_rows(e, st, RowPass::Count, 0, 0);
}

void names(Entry& e, State& st) {
  const int32_t lname = *e.LNAME;
  const int32_t n = name_stream_variables(e, st.s) + st.nvars;
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v] != 0) hs::vnam(kVarNames[v], lname, name_slot(e.VARNAM, lname, st.pos[v]));
  }
  int32_t m = 0;
  U3SEL(R3_VALVE_GROUPS, RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
  EquationWriter w(e, st.s, RowPass::Names, m, 0);
  valve_rows(w, st);
  hand_over_names(e, n, w.rows());
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
    if (st.pos[v] != 0) block_variable_defaults(e, st.pos[v], st.w[v], var_info(st, v, pin));
  }
  // Equation scales: the valve always writes its own.
  int32_t m = 0;
  U3SETF(R3_VALVE_GROUPS, e.FSCL, &m);
  write_rows(e, st, RowPass::Scales, m, 0);
  // Pattern: stream equations, valve equations, property equations.
  m = 0;
  int32_t k = 0;
  U3SPAT(R3_VALVE_GROUPS, e.IJROW, e.IJCOL, &m, &k);
  write_rows(e, st, RowPass::Pattern, m, k);
}

void residuals(Entry& e, State& st) {
  int32_t m = 0, k = 0;
  U3SRES(R3_VALVE_GROUPS, e.Y, e.F, &m);
  write_rows(e, st, RowPass::Residuals, m, k);
}

void jacobian(Entry& e, State& st) {
  int32_t m = 0, k = 0;
  U3SJAC(R3_VALVE_GROUPS, e.Y, e.DFDY, &k);
  write_rows(e, st, RowPass::Jacobian, m, k);
}

void stream_update(Entry& e, State& st) {
  write_streams(e, st.s);
  hs::solution_state() = hs::kSolutionWritten;
}

constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = reads<r3vchk>,
    .serves = [](Entry&, State& st) { return st.structure_ok; },
    .stream_update = stream_update,
    .report = reads<R3VALV_REPORT>,
    .refused = [](Entry& e, State& st) { r3vchk(e, st); },
});

}  // namespace
}  // namespace r3::control_valve

R3_DEFINE_MODEL_ENTRY(R3VALV, r3::control_valve::state, r3::control_valve::kHooks)
