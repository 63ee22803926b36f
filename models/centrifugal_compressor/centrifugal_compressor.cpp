// R3CCMP entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances: the compressor's own 17 to 26
// equations (by curve switches and work stream), then seven vapour property
// equations (heat capacity, enthalpy and molar volume at suction and
// discharge, molecular weight of the feed).
#include <cmath>

#include "framework/balance_model.h"
#include "framework/host_services.h"
#include "models/centrifugal_compressor/centrifugal_compressor.h"

namespace r3::centrifugal_compressor {

State& state() { return thread_state<State>(); }

namespace {

constexpr double f32(float v) { return static_cast<double>(v); }

// Physical type, default bounds and scale of each block variable.
VariableDefaults var_bounds(const State& st, int v) {
  const double Ts = st.Ts, Hs = st.Hs, Ps = st.Ps, Fs = st.Fs, Vs = st.Vs;
  const double cp = Hs / Ts, mv = 10000.0 * Ts / Ps;
  const double c005 = f32(0.05f), c0001 = f32(0.001f), c001 = f32(0.01f);
  switch (v) {
    case SUCT_TEMP:
    case DISCH_TEMP:
      return {kTypeTemperature, c005 * Ts, 10.0 * Ts, Ts};
    case SUCT_CP:
    case DISCH_CP:
    case CP_MEAN:
      return {kTypeMolarHeatCapacity, c0001 * cp, 1000.0 * cp, cp};
    case SUCT_MOLV:
    case DISCH_MOLV:
      return {kTypeMolarVolume, c0001 * mv, 1000.0 * mv, mv};
    case MW:
      return {kTypeDimensionless, 1.0, 10000.0, 10.0};
    case QACT:
    case SURGE_Q:
      return {kTypeVolumeFlow, c0001 * Vs, 1000.0 * Vs, Vs};
    case Q_BY_N:
      return {kTypeNone, c0001, 1000.0, 1.0};
    case SPEED:
      return {st.p.rpm != 0 ? 28 : 0, 10.0, 100000.0, 1000.0};
    case HEAD:
      return {kTypeSpecificHead, 1.0, 1.0e8, 10000.0};
    case SUCT_Z:
    case DISCH_Z:
    case Z_MEAN:
      return {kTypeDimensionless, c001, 100.0, 1.0};
    case POLY_EFF:
    case MECH_EFF:
    case EFF_PRED:
      return {kTypeDimensionless, c001, 10.0, 1.0};
    case PRATIO:
    case PR_EXP:
      return {kTypeDimensionless, 1.0, 100.0, 1.0};
    case KRATIO:
      return {kTypeDimensionless, 1.0, 2.0, 1.0};
    case MPOLY:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case IHP:
    case BHP:
      return {kTypePower, 0.0001 * Hs, 10000.0 * Hs, Hs};
    case WT_FLOW:
      return {kTypeMassFlow, c0001 * 10.0 * Fs, 1000.0 * 10.0 * Fs, 10.0 * Fs};
    case LN_PRATIO:
    case LN_PR_EXP:
      return {kTypeDimensionless, 0.0, 5.0, 1.0};
    case HEAD_PRED:
      return {kTypeSpecificHead, 10.0, 1.0e7, 10000.0};
    case SURGE_PRED:
      return {kTypeVolumeFlow, 0.0001 * Vs, 10000.0 * Vs, Vs};
    case HEAD_FACT:
    case EFF_FACT:
    case SURGE_FACT:
      return {kTypeDimensionless, c001, 100.0, 1.0};
    case ALPHA:
      return {kTypeDimensionless, 0.0, 0.5, 1.0};
    case SURGE_RATIO:
      return {kTypeDimensionless, 1.0, 1000.0, 1.0};
    default:
      return {kTypeNone, 0.0, 1.0, 1.0};
  }
}

constexpr const char* kVarNames[kNumVars + 1] = {
    "",          "SUCT_TEMP",  "SUCT_CP",    "SUCT_MOLV", "MW",         "DISCH_TEMP",
    "DISCH_CP",  "DISCH_MOLV", "QACT",       "Q_BY_N",    "SURGE_Q",    "SPEED",
    "HEAD",      "SUCT_Z",     "DISCH_Z",    "Z_MEAN",    "CP_MEAN",    "POLY_EFF",
    "PRATIO",    "KRATIO",     "MPOLY",      "IHP",       "BHP",        "MECH_EFF",
    "WT_FLOW",   "LN_PRATIO",  "LN_PR_EXP",  "PR_EXP",    "HEAD_PRED",  "EFF_PRED",
    "SURGE_PRED", "HEAD_FACT", "EFF_FACT",   "SURGE_FACT", "ALPHA",     "SURGE_RATIO"};

constexpr const char* kEqnNames[kNumEqns + 1] = {
    "",           "ENERBAL",     "QN_RATIO",   "HEAD_CURVE",  "EFF_CURVE",   "SURGE_CURVE",
    "ACT_VFLOW",  "CALC_K",      "CALC_Z_SUCT", "CALC_Z_DISCH", "AVG_Z",      "AVG_CP",
    "PRESS_RATIO", "POLY_COMP",  "ALPHA_DEF",  "WTFLOW_DEF",  "CALC_IHP",    "CALC_BHP",
    "PRATIO_POW", "PRATIO_EXP",  "POWER_EXP",  "EFF_CORR",    "HEAD_CORR",   "SURGE_CORR",
    "MPOLY_DEF",  "SURGE_RATIO", "INLET_WORK"};

// Reads the parameters: defaults for missing integers, speed range defaults,
// curve coefficients converted from ft-lbf/lbm and ft3/min when INT(7) asks.
void read_params(const Entry& e, Params& p) {
  const int32_t im = hs::imiss();
  auto ip = [&](int32_t pos, int32_t def) {
    const int32_t v = int_param(e, pos);
    return v == im ? def : v;
  };
  p.imode = ip(4, 0);
  p.npass = ip(5, 1);
  p.zsel = ip(6, 0);
  p.units = int_param(e, 7);  // no default: the check rejects a missing value
  p.head = ip(8, 1);
  p.eff = ip(9, 1);
  p.surge = ip(10, 1);
  p.rpm = ip(11, 0);
  for (int i = 0; i < 3; ++i) p.a[i] = real_param(e, 1 + i);
  for (int i = 0; i < 3; ++i) p.b[i] = real_param(e, 4 + i);
  for (int i = 0; i < 2; ++i) p.s[i] = real_param(e, 7 + i);
  if (p.units != 0) {
    const double f = f32(2.9891f), g = f32(0.58858f), h = f32(1.699f);
    const double rm = hs::rmiss();
    // A missing coefficient stays missing (scaling it would make it look like data).
    auto conv = [&](double& v, std::initializer_list<double> factors) {
      if (hs::is_missing(v) || !(v <= rm)) return;
      for (double x : factors) v *= x;
    };
    conv(p.a[0], {f});
    conv(p.a[1], {f, g});
    conv(p.a[2], {f, g, g});
    conv(p.b[1], {g});
    conv(p.b[2], {g, g});
    conv(p.s[0], {h});
    conv(p.s[1], {h});
  }
  p.nlow = real_param(e, 9);
  if (hs::is_missing(p.nlow)) p.nlow = 1250.0;
  p.nhigh = real_param(e, 10);
  if (hs::is_missing(p.nhigh)) p.nhigh = 20000.0;
}

// Which variables and equations exist, their positions and the block counts.
void number_block(const Entry& e, State& st) {
  const Params& p = st.p;
  bool on[kNumVars + 1];
  for (int v = 1; v <= kNumVars; ++v) on[v] = true;
  on[Q_BY_N] = p.qn_on();
  on[SPEED] = p.any_on();
  on[HEAD_PRED] = on[HEAD_FACT] = p.head_on();
  on[EFF_PRED] = on[EFF_FACT] = p.eff_on();
  on[SURGE_Q] = on[SURGE_PRED] = on[SURGE_FACT] = on[SURGE_RATIO] = p.surge_on();
  int32_t n = st.s.nstream;
  st.nvars = 0;
  for (int v = 1; v <= kNumVars; ++v) {
    st.pos[v] = on[v] ? ++n : 0;
    if (on[v]) ++st.nvars;
  }
  bool* q = st.eqn_on;
  for (int i = 1; i <= kNumEqns; ++i) q[i] = true;
  q[QN_RATIO] = p.qn_on();
  q[HEAD_CURVE] = q[HEAD_CORR] = p.head_on();
  q[EFF_CURVE] = q[EFF_CORR] = p.eff_on();
  q[SURGE_CURVE] = q[SURGE_CORR] = q[SURGE_RATIO_EQ] = p.surge_on();
  q[INLET_WORK] = *e.NINFI == 1;
}

// The common set-up of every call. False when the call must end (ISTAT
// already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  read_params(e, st.p);
  if (!setup_streams(e, s)) return false;
  number_block(e, st);
  setup_block_id(e);
  setup_scales(s, st);
  st.Vs = st.Fs * 10000.0 * st.Ts / st.Ps;
  return true;
}

// --- Compressor equations ---------------------------------------------------

// Default scale of each block equation.
double eqn_scale(const State& st, int eq) {
  const double Ts = st.Ts, Hs = st.Hs;
  switch (eq) {
    case ENERBAL:
    case CALC_IHP:
    case CALC_BHP:
    case INLET_WORK:
      return Hs;
    case QN_RATIO:
    case SURGE_CURVE:
      return 1000.0;
    case HEAD_CURVE:
      return 1.0e7;
    case EFF_CURVE:
      return 100.0;
    case ACT_VFLOW:
    case SURGE_CORR:
    case SURGE_RATIO_EQ:
      return st.Vs;
    case CALC_K:
    case AVG_CP:
      return Hs / Ts;
    case CALC_Z_SUCT:
    case CALC_Z_DISCH:
    case POLY_COMP:
      return 10000.0 * Ts;
    case PRESS_RATIO:
      return st.Ps;
    case WTFLOW_DEF:
      return 10.0 * st.Fs;
    case HEAD_CORR:
      return 10000.0;
    default:
      return 1.0;
  }
}

// The compressor's rows after the material balances, in order: its own
// equations that are on, then the seven vapour property rows (heat capacity
// and enthalpy at suction and discharge, molecular weight of the feed, molar
// volume at suction and discharge).
void compressor_rows(EquationWriter& w, const Entry&, const State& st) {
  const StreamMap& map = st.s.map;
  const Params& p = st.p;
  const int32_t* pos = st.pos;
  auto y = [&](int v) { return w.y(pos[v]); };
  const double R = kR, c = p.c();
  const double fin = w.y(map.in_flow), hin = w.y(map.in_enth), hout = w.y(map.out_enth);
  const double pin = w.y(map.in_pres), pout = w.y(map.out_pres);
  const double q = p.qn_on() ? y(Q_BY_N) : 0.0;
  const double N = p.any_on() ? y(SPEED) : 0.0;
  const int zvar = p.zsel == 1 ? SUCT_Z : Z_MEAN;
  for (int eq = 1; eq <= kNumEqns; ++eq) {
    if (!st.eqn_on[eq]) continue;
    auto row = [&](double residual) { w.row(kEqnNames[eq], eqn_scale(st, eq), residual); };
    auto mean = [&](int m, int a, int b) {
      mean_row(w, kEqnNames[eq], eqn_scale(st, eq), pos[m], pos[a], pos[b]);
    };
    auto exponential = [&](int v, int l) {
      exp_row(w, kEqnNames[eq], eqn_scale(st, eq), pos[v], pos[l]);
    };
    auto product = [&](int a, int b, int c) {
      product_row(w, kEqnNames[eq], eqn_scale(st, eq), pos[a], pos[b], pos[c]);
    };
    switch (eq) {
      case ENERBAL:
        row((hin - hout) * fin + y(IHP));
        w.at(map.in_flow, hin - hout);
        w.at(map.in_enth, fin);
        w.at(map.out_enth, -fin);
        w.at(pos[IHP], 1.0);
        break;
      case QN_RATIO:
        row(q * N * c - 3600.0 * y(QACT));
        w.at(pos[Q_BY_N], c * N);
        w.at(pos[SPEED], c * q);
        w.at(pos[QACT], -3600.0);
        break;
      case HEAD_CURVE: {
        row((p.a[0] + p.a[1] * q + p.a[2] * q * q) * (c * N) * (c * N) - 1000.0 * y(HEAD_PRED));
        const double poly = p.a[0] + p.a[1] * q + p.a[2] * q * q;
        w.at(pos[SPEED], 2.0 * c * c * N * poly);
        w.at(pos[Q_BY_N], c * c * N * N * (p.a[1] + 2.0 * p.a[2] * q));
        w.at(pos[HEAD_PRED], -1000.0);
        break;
      }
      case EFF_CURVE:
        row(p.b[0] + p.b[1] * q + p.b[2] * q * q - 100.0 * y(EFF_PRED));
        w.at(pos[Q_BY_N], p.b[1] + 2.0 * p.b[2] * q);
        w.at(pos[EFF_PRED], -100.0);
        break;
      case SURGE_CURVE:
        row(p.s[0] + p.s[1] * c * N - 3600.0 * y(SURGE_PRED));
        w.at(pos[SPEED], c * p.s[1]);
        w.at(pos[SURGE_PRED], -3600.0);
        break;
      case ACT_VFLOW:
        row(fin * y(SUCT_MOLV) - y(QACT));
        w.at(map.in_flow, y(SUCT_MOLV));
        w.at(pos[SUCT_MOLV], fin);
        w.at(pos[QACT], -1.0);
        break;
      case CALC_K:
        row(y(KRATIO) * (y(CP_MEAN) - R) - y(CP_MEAN));
        w.at(pos[KRATIO], y(CP_MEAN) - R);
        w.at(pos[CP_MEAN], y(KRATIO) - 1.0);
        break;
      case CALC_Z_SUCT:
        row(y(SUCT_MOLV) * pin - y(SUCT_TEMP) * y(SUCT_Z) * R);
        w.at(map.in_pres, y(SUCT_MOLV));
        w.at(pos[SUCT_MOLV], pin);
        w.at(pos[SUCT_Z], -y(SUCT_TEMP) * R);
        w.at(pos[SUCT_TEMP], -y(SUCT_Z) * R);
        break;
      case CALC_Z_DISCH:
        row(y(DISCH_MOLV) * pout - y(DISCH_Z) * R * y(DISCH_TEMP));
        w.at(map.out_pres, y(DISCH_MOLV));
        w.at(pos[DISCH_MOLV], pout);
        w.at(pos[DISCH_Z], -R * y(DISCH_TEMP));
        w.at(pos[DISCH_TEMP], -y(DISCH_Z) * R);
        break;
      case AVG_Z:
        mean(Z_MEAN, SUCT_Z, DISCH_Z);
        break;
      case AVG_CP:
        mean(CP_MEAN, SUCT_CP, DISCH_CP);
        break;
      case PRESS_RATIO:
        row(pin * y(PRATIO) - pout);
        w.at(pos[PRATIO], pin);
        w.at(map.in_pres, y(PRATIO));
        w.at(map.out_pres, -1.0);
        break;
      case POLY_COMP: {
        const double pe1 = y(PR_EXP) - 1.0, t1 = y(SUCT_TEMP), z = y(zvar);
        row((y(PR_EXP) - 1.0) * R * y(SUCT_TEMP) * z - y(MPOLY) * y(HEAD) * y(MW));
        w.at(pos[SUCT_TEMP], pe1 * R * z);
        w.at(pos[zvar], pe1 * R * t1);
        w.at(pos[PR_EXP], R * t1 * z);
        w.at(pos[MPOLY], -y(HEAD) * y(MW));
        w.at(pos[HEAD], -y(MPOLY) * y(MW));
        w.at(pos[MW], -y(MPOLY) * y(HEAD));
        break;
      }
      case ALPHA_DEF:
        row(1.0 + y(KRATIO) * (y(ALPHA) - 1.0));
        w.at(pos[KRATIO], y(ALPHA) - 1.0);
        w.at(pos[ALPHA], y(KRATIO));
        break;
      case WTFLOW_DEF:
        row(y(WT_FLOW) - y(MW) * fin);
        w.at(pos[WT_FLOW], 1.0);
        w.at(map.in_flow, -y(MW));
        w.at(pos[MW], -fin);
        break;
      case CALC_IHP:
        row(y(IHP) * y(POLY_EFF) - y(WT_FLOW) * y(HEAD));
        w.at(pos[IHP], y(POLY_EFF));
        w.at(pos[POLY_EFF], y(IHP));
        w.at(pos[WT_FLOW], -y(HEAD));
        w.at(pos[HEAD], -y(WT_FLOW));
        break;
      case CALC_BHP:
        row(y(MECH_EFF) * y(BHP) - y(IHP));
        w.at(pos[BHP], y(MECH_EFF));
        w.at(pos[MECH_EFF], y(BHP));
        w.at(pos[IHP], -1.0);
        break;
      case PRATIO_POW:
        row(y(MPOLY) * y(LN_PRATIO) - y(LN_PR_EXP));
        w.at(pos[MPOLY], y(LN_PRATIO));
        w.at(pos[LN_PRATIO], y(MPOLY));
        w.at(pos[LN_PR_EXP], -1.0);
        break;
      case PRATIO_EXP:
        exponential(PRATIO, LN_PRATIO);
        break;
      case POWER_EXP:
        exponential(PR_EXP, LN_PR_EXP);
        break;
      case EFF_CORR:
        product(POLY_EFF, EFF_PRED, EFF_FACT);
        break;
      case HEAD_CORR:
        product(HEAD, HEAD_PRED, HEAD_FACT);
        break;
      case SURGE_CORR:
        product(SURGE_Q, SURGE_PRED, SURGE_FACT);
        break;
      case MPOLY_DEF:
        product(ALPHA, POLY_EFF, MPOLY);
        break;
      case SURGE_RATIO_EQ:
        row(y(SURGE_RATIO) * y(SURGE_Q) - y(QACT));
        w.at(pos[SURGE_RATIO], y(SURGE_Q));
        w.at(pos[SURGE_Q], y(SURGE_RATIO));
        w.at(pos[QACT], -1.0);
        break;
      case INLET_WORK:
        row(w.y(map.in_info) + y(BHP));
        w.at(map.in_info, 1.0);
        w.at(pos[BHP], 1.0);
        break;
      default:
        break;
    }
  }
  const int32_t vapour = 1;
  const double cp = st.Hs / st.Ts, mv = 10000.0 * st.Ts / st.Ps;
  w.property({PropertySet::HeatCapacity, vapour, map.in_comp, map.in_pres, pos[SUCT_TEMP],
              pos[SUCT_CP], "VAPCP_SUCT", cp});
  w.property({PropertySet::HeatCapacity, vapour, map.out_comp, map.out_pres, pos[DISCH_TEMP],
              pos[DISCH_CP], "VAPCP_DISCH", cp});
  w.property({PropertySet::Enthalpy, vapour, map.in_comp, map.in_pres, pos[SUCT_TEMP],
              map.in_enth, "VAPENTH_SUCT", st.Hs});
  w.property({PropertySet::Enthalpy, vapour, map.out_comp, map.out_pres, pos[DISCH_TEMP],
              map.out_enth, "VAPENTH_DISCH", st.Hs});
  w.property({PropertySet::MolecularWeight, vapour, map.in_comp, 0, 0, pos[MW], "MOLWT", 10.0});
  w.property({PropertySet::Volume, vapour, map.in_comp, map.in_pres, pos[SUCT_TEMP],
              pos[SUCT_MOLV], "VAPVM_SUCT", mv});
  w.property({PropertySet::Volume, vapour, map.out_comp, map.out_pres, pos[DISCH_TEMP],
              pos[DISCH_MOLV], "VAPVM_DISCH", mv});
}

// The compressor as the shared requests see it: its rows and its variables'
// names; its dimension request leaves the auxiliary counts as they came.
constexpr BalanceModel<State> kModel{.rows = compressor_rows,
                                     .var_names = kVarNames,
                                     .num_vars = kNumVars,
                                     .defaults = var_bounds,
                                     .writes_auxiliary_counts = false};

// --- Requests ---------------------------------------------------------------

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  U3SCPY(e.SMATIN, e.LSTRM, e.SMATOUT);
  // Inlet streams into Y with their bounds, step bounds, scales and types.
  // The work stream carries the shaft power (negative into the compressor).
  const InletPower power{st.Hs, 1.0};
  inlet_streams(e, s, st, st.p.imode, &power);
  // Sequential initialisation (speed in curve units inside).
  R3KCFI(e, st);
  if (*e.ISTAT != 0) return;
  if (*e.NINFI == 1) {
    double& w = e.Y[s.map.in_info - 1];
    if (hs::is_missing(w)) w = st.work;
  }
  R3KISO(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  // Block variables, equation scales and pattern (balances, block equations,
  // property equations).
  balance_variables_scales_and_pattern(kModel, e, st, st.w);
}

// Writes Y back to the streams and records whether the residuals are small:
// word 6 becomes 1 when the scaled sum of squares exceeds 1e-4, else 2.
void stream_update(Entry& e, State& st) {
  write_streams(e, st.s);
  const int32_t n = *e.NF;
  const double rm = hs::rmiss();
  double sum = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double fi = e.F[i], si = e.FSCL[i];
    // A residual at or above RMISS, or one that is not a number, means no
    // usable solution.
    if (!std::isfinite(fi) || fi >= rm) {
      sum = rm;
      break;
    }
    if (!(si > 0.0)) {
      if (i == 0) sum = rm;
      break;
    }
    const double r = fi / si;
    sum += r * r;
  }
  if (!std::isfinite(sum)) sum = rm;
  hs::solution_state() = (n > 0 && sum > 0.0001) ? 1 : 2;
}

constexpr ModelHooks<State> kHooks = balance_hooks<kModel, set_up, initialise>({
    .check = reads<I3KCHK>,
    .serves = [](Entry& e, State&) { return streams_ok(e); },
    .stream_update = stream_update,
    .report = reads<R3CCMP_REPORT>,
});

}  // namespace
}  // namespace r3::centrifugal_compressor

R3_DEFINE_MODEL_ENTRY(R3CCMP, r3::centrifugal_compressor::state, r3::centrifugal_compressor::kHooks)
