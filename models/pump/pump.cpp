// R3PUMP entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances: four property equations (suction
// and discharge liquid enthalpy, molecular weight, suction liquid molar
// volume), then the pump's own eight to ten equations.
#include "models/pump/pump.h"

#include "framework/balance_model.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::pump {

State& state() { return thread_state<State>(); }

namespace {

// Physical type, default bounds and scale of each block variable.
VariableDefaults var_bounds(const State& st, int v) {
  const double mw = State::kMolarMass, rho = State::kDensity;
  const double pw = mw * st.Fs * st.Ph;  // power scale
  switch (v) {
    case SUCT_TEMP:
    case DISCH_TEMP:
      return {kTypeTemperature, 0.05 * st.Ts, 0.5 * st.Ts, st.Ts};
    case SUCT_MOLV:
      return {kTypeMolarVolume, 0.001 * st.Fc / st.Fs, 1000.0 * st.Fc / st.Fs, st.Fc / st.Fs};
    case MW:
      return {kTypeDimensionless, 1.0, 10000.0, mw};
    case P_RATIO:
      return {kTypeDimensionless, 1.0, 100.0, 1.0};
    case DELTA_P:
      return {kTypePressureDifference, 0.0, 100.0 * st.Ps, st.Ps};
    case P_HEAD:
      return {kTypeHeadLength, 0.0001 * st.Ph, 10000.0 * st.Ph, st.Ph};
    case RHO:
      return {kTypeMassDensity, 0.001 * rho, 100.0 * rho, rho};
    case MASS_FLOW:
      return {kTypeMassFlow, 0.0001 * st.Fs * mw, 10000.0 * st.Fs * mw, st.Fs * mw};
    case PUMP_EFF:
    case DR_EFF:
      return {kTypeDimensionless, 0.0001, 10.0, 1.0};
    case BHP:
    case EHP:
      return {kTypePower, 1e-6 * pw, 10000.0 * pw, pw};
    default:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
  }
}

constexpr const char* kVarNames[kNumVars + 1] = {
    "",         "SUCT_TEMP", "SUCT_MOLV", "MW",       "DISCH_TEMP", "P_RATIO", "DELTA_P",
    "P_HEAD",   "RHO",       "MASS_FLOW", "PUMP_EFF", "BHP",        "DR_EFF",  "EHP"};

// The common set-up of every call. False when the call must end (ISTAT
// already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  st.imode = int_param(e, s.i0);
  st.npass = int_param(e, s.i0 + 1);
  if (!setup_streams(e, s)) return false;
  for (int v = 1; v <= kNumVars; ++v) st.pos[v] = s.nstream + v;
  setup_block_id(e);
  setup_scales(s, st);
  st.Fc = st.Fs * 10.0 / 1000.0;
  st.Ph = st.Ps / 10000.0;
  return true;
}

// --- Equations --------------------------------------------------------------

// The pump's rows after the material balances, in order: four property rows
// (suction and discharge liquid enthalpy, molecular weight of the inlet,
// suction liquid molar volume), then its own eight rows and a power balance
// for each information stream.
void pump_rows(EquationWriter& w, const Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  const int32_t liquid = 2;
  const double pw = State::kMolarMass * st.Fs * st.Ph;  // power scale
  w.property({PropertySet::Enthalpy, liquid, map.in_comp, map.in_pres, p[SUCT_TEMP], map.in_enth,
              "LIQENTH_SUCT", st.Hs / 100.0});
  w.property({PropertySet::Enthalpy, liquid, map.out_comp, map.out_pres, p[DISCH_TEMP],
              map.out_enth, "LIQENTH_DISCH", st.Hs / 100.0});
  w.property({PropertySet::MolecularWeight, liquid, map.in_comp, 0, 0, p[MW], "MOLWT", State::kMolarMass});
  w.property({PropertySet::Volume, liquid, map.in_comp, map.in_pres, p[SUCT_TEMP], p[SUCT_MOLV],
              "LIQVM_SUCT", 0.01});

  auto y = [&](int v) { return w.y(p[v]); };
  const double pin = w.y(map.in_pres), pout = w.y(map.out_pres);
  const double fin = w.y(map.in_flow);
  const double hin = w.y(map.in_enth), hout = w.y(map.out_enth);
  w.row("CALC_HEAD", st.Ps, y(P_HEAD) * y(RHO) * kG - y(DELTA_P));
  w.at(p[P_HEAD], y(RHO) * kG);
  w.at(p[RHO], kG * y(P_HEAD));
  w.at(p[DELTA_P], -1.0);
  w.row("P_RATIO_DEF", st.Ps, y(P_RATIO) * pin - pout);
  w.at(p[P_RATIO], pin);
  w.at(map.in_pres, y(P_RATIO));
  w.at(map.out_pres, -1.0);
  w.row("DELTA_P_DEF", st.Ps, pout - pin - y(DELTA_P));
  w.at(map.out_pres, 1.0);
  w.at(map.in_pres, -1.0);
  w.at(p[DELTA_P], -1.0);
  w.row("CALC_RHO", State::kMolarMass, y(RHO) * y(SUCT_MOLV) - y(MW));
  w.at(p[RHO], y(SUCT_MOLV));
  w.at(p[SUCT_MOLV], y(RHO));
  w.at(p[MW], -1.0);
  w.row("CALC_BHP", pw, y(PUMP_EFF) * y(BHP) - y(P_HEAD) * y(MASS_FLOW) * kG);
  w.at(p[PUMP_EFF], y(BHP));
  w.at(p[BHP], y(PUMP_EFF));
  w.at(p[MASS_FLOW], -kG * y(P_HEAD));
  w.at(p[P_HEAD], -kG * y(MASS_FLOW));
  w.row("CALC_MASS_FLOW", State::kMolarMass * st.Fs, y(MW) * fin - y(MASS_FLOW));
  w.at(p[MW], fin);
  w.at(map.in_flow, y(MW));
  w.at(p[MASS_FLOW], -1.0);
  w.row("CALC_EHP", pw, y(DR_EFF) * y(EHP) - y(BHP));
  w.at(p[DR_EFF], y(EHP));
  w.at(p[EHP], y(DR_EFF));
  w.at(p[BHP], -1.0);
  w.row("ENER_BAL", pw, fin * (hout - hin) - y(BHP));
  w.at(map.in_flow, hout - hin);
  w.at(map.out_enth, fin);
  w.at(map.in_enth, -fin);
  w.at(p[BHP], -1.0);
  if (*e.NINFI == 1) {
    w.row("POW_BAL_IN", pw, w.y(map.in_info) + y(EHP));
    w.at(map.in_info, 1.0);
    w.at(p[EHP], 1.0);
  }
  if (*e.NINFOUT == 1) {
    w.row("POW_BAL_OUT", pw, y(EHP) - w.y(map.out_info));
    w.at(map.out_info, -1.0);
    w.at(p[EHP], 1.0);
  }
}

// The pump as the shared requests see it: its rows and its variables' names.
constexpr BalanceModel<State> kModel{pump_rows, kVarNames, kNumVars, var_bounds};

// --- Requests ---------------------------------------------------------------

// Outlet stream variables: values, bounds, step bounds and scales paired with
// the inlet's (R3PUMP_ISO).
void R3PUMP_ISO(Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  const int32_t nvar = st.s.ncomp + 3;
  const bool restart = hs::solution_state() == hs::kSolutionWritten;
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
  const double pw = State::kMolarMass * st.Fs * st.Ph;
  // Inlet streams into Y with their defaults; information streams carry
  // power, with step bounds of 10 power scales.
  const InletPower power{pw, 10.0};
  inlet_streams(e, s, st, st.imode, &power);
  // Sequential initialisation into the saved-value array.
  R3PUMP_INI(e, st);
  if (*e.ISTAT != 0) return;
  // Outlet streams.
  R3PUMP_ISO(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  if (*e.NINFOUT == 1) {
    info_stream_defaults(e, s.dinfout, -10000.0 * power.scale, 10000.0 * power.scale, power.step,
                         power.scale);
  }
  // Block variables (their values are the saved ones), equation scales and
  // pattern.
  balance_variables_scales_and_pattern(kModel, e, st, st.saved + 2);
}

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t code = 0;
  U3_MSTRM_SET_KODE(s.dmatin, &code);
  write_streams(e, s);
  hs::solution_state() = hs::kSolutionWritten;
}

// The pump's equations are written for one material inlet and one outlet and
// at most one information stream.
bool serves(Entry& e, State&) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI >= 0 && *e.NINFOUT >= 0 &&
         *e.NINFI + *e.NINFOUT <= 1;
}

constexpr ModelHooks<State> kHooks = balance_hooks<kModel, set_up, initialise>({
    .check = reads<R3PUMP_CHK>,
    .serves = serves,
    .stream_update = stream_update,
    .report = reads<R3PUMP_REPORT>,
});

}  // namespace
}  // namespace r3::pump

R3_DEFINE_MODEL_ENTRY(R3PUMP, r3::pump::state, r3::pump::kHooks)
