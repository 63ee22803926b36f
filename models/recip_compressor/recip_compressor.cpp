// R3RCMP entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances: seven vapour property equations
// (suction and discharge heat capacity and enthalpy, molecular weight,
// suction and discharge molar volume), then the compressor's own 19 equations
// and, with an inlet work stream, the power balance.
#include "models/recip_compressor/recip_compressor.h"

#include <cmath>

#include "framework/balance_model.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::recip_compressor {

State& state() { return thread_state<State>(); }

namespace {

// Physical type, default bounds and scale of each block variable.
VariableDefaults var_bounds(const State& st, int v) {
  const double cps = st.Hs / st.Ts;      // molar heat capacity scale
  const double vms = st.Vs / st.Fs;      // molar volume scale
  const double pw = st.Hs * st.Fs;       // power scale
  const double mf = st.Fs * State::kMolarMass;  // mass flow scale
  switch (v) {
    case SUCT_TEMP:
    case DISCH_TEMP:
      return {kTypeTemperature, 0.05 * st.Ts, 0.5 * st.Ts, st.Ts};
    case SUCT_CP:
    case DISCH_CP:
    case CP_MEAN:
      return {kTypeMolarHeatCapacity, 0.001 * cps, 1000.0 * cps, cps};
    case SUCT_MOLV:
    case DISCH_MOLV:
      return {kTypeMolarVolume, 0.001 * vms, 1000.0 * vms, vms};
    case MW:
      return {kTypeDimensionless, 1.0, 10000.0, State::kMolarMass};
    case SUCT_Z:
    case DISCH_Z:
    case Z_MEAN:
      return {kTypeDimensionless, 0.01, 100.0, 1.0};
    case KRATIO:
      return {kTypeDimensionless, 1.0, 2.0, 1.0};
    case ALPHA:
      return {kTypeDimensionless, 0.0, 0.5, 1.0};
    case MPOLY:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case PRATIO:
      return {kTypeDimensionless, 1.0, 100.0, 1.0};
    case LN_PRATIO:
    case LN_PR_EXP:
      return {kTypeDimensionless, 0.0, 2.0, 1.0};
    case PR_EXP:
      return {kTypeDimensionless, 1.0, 10.0, 1.0};
    case POLY_EFF:
    case MECH_EFF:
    case VOL_EFF:
      return {kTypeDimensionless, 0.01, 10.0, 1.0};
    case HEAD:
      return {kTypeSpecificHead, 0.0001 * st.Th, 10000.0 * st.Th, st.Th};
    case WT_FLOW:
      return {kTypeMassFlow, 0.001 * mf, 1000.0 * mf, mf};
    case IHP:
    case BHP:
      return {kTypePower, 1e-6 * pw, 10000.0 * pw, pw};
    case CLEARFRAC:
    case LOSSTERM:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case VOL_FLOW:
    case DISPLACE:
      return {kTypeVolumeFlow, 0.001 * st.Vs, 1000.0 * st.Vs, st.Vs};
    default:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
  }
}

constexpr const char* kVarNames[kNumVars + 1] = {
    "",         "SUCT_TEMP",  "SUCT_CP",  "SUCT_MOLV", "MW",        "DISCH_TEMP",
    "DISCH_CP", "DISCH_MOLV", "SUCT_Z",   "DISCH_Z",   "Z_MEAN",    "CP_MEAN",
    "KRATIO",   "ALPHA",      "MPOLY",    "PRATIO",    "LN_PRATIO", "LN_PR_EXP",
    "PR_EXP",   "POLY_EFF",   "HEAD",     "WT_FLOW",   "IHP",       "MECH_EFF",
    "BHP",      "CLEARFRAC",  "LOSSTERM", "VOL_EFF",   "VOL_FLOW",  "DISPLACE"};

// Set-up: header and parameters first, then the common set-up.
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
  setup_scales(s, st);
  st.Vs = st.Fs * State::kGasConstantOrder * st.Ts / st.Ps;
  st.Th = 1000.0 * st.Ts;
  return true;
}

// Position of the compressibility the head equation uses.
int32_t zsel_pos(const State& st) {
  return st.pos[st.izavg == 1 ? SUCT_Z : Z_MEAN];
}

// The compressor's rows after the material balances, in order: seven vapour
// property rows, its own nineteen rows and, with an inlet work stream, the
// power balance.
void compressor_rows(EquationWriter& w, const Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  const int32_t vapour = 1;
  const double pw = st.Hs * st.Fs;
  const double cps = st.Hs / st.Ts, vm = State::kGasConstantOrder * st.Ts / st.Ps;
  const double zs = State::kGasConstantOrder * st.Ts, vms = st.Vs / st.Fs;
  w.property({PropertySet::HeatCapacity, vapour, map.in_comp, map.in_pres, p[SUCT_TEMP],
              p[SUCT_CP], "VAPCP_SUCT", cps});
  w.property({PropertySet::HeatCapacity, vapour, map.out_comp, map.out_pres, p[DISCH_TEMP],
              p[DISCH_CP], "VAPCP_DISCH", cps});
  w.property({PropertySet::Enthalpy, vapour, map.in_comp, map.in_pres, p[SUCT_TEMP], map.in_enth,
              "VAPENTH_SUCT", st.Hs});
  w.property({PropertySet::Enthalpy, vapour, map.out_comp, map.out_pres, p[DISCH_TEMP],
              map.out_enth, "VAPENTH_DISCH", st.Hs});
  w.property({PropertySet::MolecularWeight, vapour, map.in_comp, 0, 0, p[MW], "MOLWT", State::kMolarMass});
  w.property({PropertySet::Volume, vapour, map.in_comp, map.in_pres, p[SUCT_TEMP], p[SUCT_MOLV],
              "VAPVM_SUCT", vm});
  w.property({PropertySet::Volume, vapour, map.out_comp, map.out_pres, p[DISCH_TEMP],
              p[DISCH_MOLV], "VAPVM_DISCH", vm});

  auto y = [&](int v) { return w.y(p[v]); };
  const double pin = w.y(map.in_pres), pout = w.y(map.out_pres);
  const double fin = w.y(map.in_flow);
  const double hin = w.y(map.in_enth), hout = w.y(map.out_enth);
  const double zsel = w.y(zsel_pos(st));
  w.row("CALC_SUCT_Z", zs, pin * y(SUCT_MOLV) - y(SUCT_TEMP) * y(SUCT_Z) * kR);
  w.at(map.in_pres, y(SUCT_MOLV));
  w.at(p[SUCT_MOLV], pin);
  w.at(p[SUCT_Z], -kR * y(SUCT_TEMP));
  w.at(p[SUCT_TEMP], -kR * y(SUCT_Z));
  w.row("CALC_DISCH_Z", zs, y(DISCH_MOLV) * pout - y(DISCH_Z) * kR * y(DISCH_TEMP));
  w.at(map.out_pres, y(DISCH_MOLV));
  w.at(p[DISCH_MOLV], pout);
  w.at(p[DISCH_Z], -kR * y(DISCH_TEMP));
  w.at(p[DISCH_TEMP], -kR * y(DISCH_Z));
  mean_row(w, "AVG_Z", 1.0, p[Z_MEAN], p[SUCT_Z], p[DISCH_Z]);
  mean_row(w, "AVG_CP", cps, p[CP_MEAN], p[SUCT_CP], p[DISCH_CP]);
  w.row("CALC_K", cps, (y(CP_MEAN) - kR) * y(KRATIO) - y(CP_MEAN));
  w.at(p[KRATIO], y(CP_MEAN) - kR);
  w.at(p[CP_MEAN], y(KRATIO) - 1.0);
  w.row("ALPHA_DEF", 1.0, 1.0 + (y(ALPHA) - 1.0) * y(KRATIO));
  w.at(p[KRATIO], y(ALPHA) - 1.0);
  w.at(p[ALPHA], y(KRATIO));
  w.row("PRESS_RATIO", st.Ps, pin * y(PRATIO) - pout);
  w.at(p[PRATIO], pin);
  w.at(map.in_pres, y(PRATIO));
  w.at(map.out_pres, -1.0);
  exp_row(w, "PRATIO_EXP", 1.0, p[PRATIO], p[LN_PRATIO]);
  w.row("PRATIO_POW", 1.0, y(LN_PRATIO) * y(MPOLY) - y(LN_PR_EXP));
  w.at(p[MPOLY], y(LN_PRATIO));
  w.at(p[LN_PRATIO], y(MPOLY));
  w.at(p[LN_PR_EXP], -1.0);
  exp_row(w, "POWER_EXP", 1.0, p[PR_EXP], p[LN_PR_EXP]);
  product_row(w, "MPOLY_DEF", 1.0, p[ALPHA], p[POLY_EFF], p[MPOLY]);
  w.row("POLY_COMP", zs,
        zsel * kR * y(SUCT_TEMP) * (y(PR_EXP) - 1.0) - y(MPOLY) * y(HEAD) * y(MW));
  w.at(p[SUCT_TEMP], kR * zsel * (y(PR_EXP) - 1.0));
  w.at(zsel_pos(st), kR * y(SUCT_TEMP) * (y(PR_EXP) - 1.0));
  w.at(p[PR_EXP], kR * zsel * y(SUCT_TEMP));
  w.at(p[MPOLY], -y(HEAD) * y(MW));
  w.at(p[HEAD], -y(MPOLY) * y(MW));
  w.at(p[MW], -y(MPOLY) * y(HEAD));
  w.row("WTFLOW_DEF", st.Fs * State::kMolarMass, y(WT_FLOW) - y(MW) * fin);
  w.at(p[WT_FLOW], 1.0);
  w.at(map.in_flow, -y(MW));
  w.at(p[MW], -fin);
  w.row("IHP", pw, y(POLY_EFF) * y(IHP) - y(HEAD) * y(WT_FLOW));
  w.at(p[IHP], y(POLY_EFF));
  w.at(p[POLY_EFF], y(IHP));
  w.at(p[WT_FLOW], -y(HEAD));
  w.at(p[HEAD], -y(WT_FLOW));
  w.row("BHP", pw, y(MECH_EFF) * y(BHP) - y(IHP));
  w.at(p[BHP], y(MECH_EFF));
  w.at(p[MECH_EFF], y(BHP));
  w.at(p[IHP], -1.0);
  w.row("ENERBAL", pw, (hout - hin) * fin - y(IHP));
  w.at(map.in_flow, hout - hin);
  w.at(map.out_enth, fin);
  w.at(map.in_enth, -fin);
  w.at(p[IHP], -1.0);
  w.row("VOL_EFF", vms,
        (0.01 * y(PRATIO) + y(VOL_EFF) - 1.0 + y(LOSSTERM) - y(CLEARFRAC)) * y(DISCH_MOLV) +
            y(CLEARFRAC) * y(SUCT_MOLV));
  w.at(p[DISCH_MOLV], 0.01 * y(PRATIO) + y(VOL_EFF) - 1.0 + y(LOSSTERM) - y(CLEARFRAC));
  w.at(p[VOL_EFF], y(DISCH_MOLV));
  w.at(p[LOSSTERM], y(DISCH_MOLV));
  w.at(p[PRATIO], 0.01 * y(DISCH_MOLV));
  w.at(p[CLEARFRAC], y(SUCT_MOLV) - y(DISCH_MOLV));
  w.at(p[SUCT_MOLV], y(CLEARFRAC));
  w.row("VOL_FLOW", st.Vs, fin * y(SUCT_MOLV) - y(VOL_FLOW));
  w.at(map.in_flow, y(SUCT_MOLV));
  w.at(p[SUCT_MOLV], fin);
  w.at(p[VOL_FLOW], -1.0);
  product_row(w, "DISPLACE", st.Vs, p[VOL_FLOW], p[DISPLACE], p[VOL_EFF]);
  if (*e.NINFI == 1) {
    w.row("POWERBAL", pw, y(BHP) + w.y(map.in_info));
    w.at(map.in_info, 1.0);
    w.at(p[BHP], 1.0);
  }
}

// The compressor as the shared requests see it: its rows and its variables' names.
constexpr BalanceModel<State> kModel{compressor_rows, kVarNames, kNumVars, var_bounds};

// --- Requests ---------------------------------------------------------------

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
  // Inlet streams into Y with their defaults; the work stream carries the
  // shaft power (negative: supplied to the compressor), with step bounds of
  // 10 power scales.
  const InletPower power{pw, 10.0};
  inlet_streams(e, s, st, st.imode, &power);
  // Sequential initialisation into the saved-value array.
  R3RCMP_INI(e, st);
  if (*e.ISTAT != 0) return;
  // Outlet stream.
  R3RCMP_ISO(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  // Block variables (their values are the saved ones), equation scales and
  // pattern.
  balance_variables_scales_and_pattern(kModel, e, st, st.saved + 2);
}

// The connections the equations are written for: one material inlet, one
// material outlet, at most one inlet work stream. Without them the stream
// positions are absent and nothing may be read or written through them.
bool connected(const Entry& e) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI >= 0 && *e.NINFI <= 1 && *e.NINFOUT == 0;
}

constexpr ModelHooks<State> kHooks = balance_hooks<kModel, set_up, initialise>({
    .check = reads<R3RCMP_CHK>,
    .serves = [](Entry& e, State&) { return connected(e); },
    .report = reads<R3RCMP_REPORT>,
    .refused = [](Entry& e, State& st) { R3RCMP_CHK(e, st); },
});

}  // namespace
}  // namespace r3::recip_compressor

R3_DEFINE_MODEL_ENTRY(R3RCMP, r3::recip_compressor::state, r3::recip_compressor::kHooks)
