// R3CCMP: centrifugal compressor with polytropic compression and optional
// head, efficiency and surge curves (fan-law form, each bridged to the actual
// value by a correction factor).
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::centrifugal_compressor {

// Block variables in their order after the stream variables. The curve
// variables exist only when their curve is on; positions close up over the
// absent ones.
enum Var : int {
  SUCT_TEMP = 1,
  SUCT_CP,
  SUCT_MOLV,
  MW,
  DISCH_TEMP,
  DISCH_CP,
  DISCH_MOLV,
  QACT,
  Q_BY_N,  // head or efficiency curve
  SURGE_Q,  // surge curve
  SPEED,    // any curve
  HEAD,
  SUCT_Z,
  DISCH_Z,
  Z_MEAN,
  CP_MEAN,
  POLY_EFF,
  PRATIO,
  KRATIO,
  MPOLY,
  IHP,
  BHP,
  MECH_EFF,
  WT_FLOW,
  LN_PRATIO,
  LN_PR_EXP,
  PR_EXP,
  HEAD_PRED,    // head curve
  EFF_PRED,     // efficiency curve
  SURGE_PRED,   // surge curve
  HEAD_FACT,    // head curve
  EFF_FACT,     // efficiency curve
  SURGE_FACT,   // surge curve
  ALPHA,
  SURGE_RATIO,  // surge curve
};
inline constexpr int kNumVars = 35;

// Block equations in their order after the material balances.
enum Eqn : int {
  ENERBAL = 1,
  QN_RATIO,
  HEAD_CURVE,
  EFF_CURVE,
  SURGE_CURVE,
  ACT_VFLOW,
  CALC_K,
  CALC_Z_SUCT,
  CALC_Z_DISCH,
  AVG_Z,
  AVG_CP,
  PRESS_RATIO,
  POLY_COMP,
  ALPHA_DEF,
  WTFLOW_DEF,
  CALC_IHP,
  CALC_BHP,
  PRATIO_POW,
  PRATIO_EXP,
  POWER_EXP,
  EFF_CORR,
  HEAD_CORR,
  SURGE_CORR,
  MPOLY_DEF,
  SURGE_RATIO_EQ,
  INLET_WORK,
};
inline constexpr int kNumEqns = 26;

// Gas constant, J/(kmol K): the single-precision value of 8314.4.
inline constexpr double kR = static_cast<double>(8314.4f);

// Parameters read from INT(4)..INT(11) and REAL(1)..REAL(10) at every call.
struct Params {
  int32_t imode = 0, npass = 1, zsel = 0, units = 0;
  int32_t head = 1, eff = 1, surge = 1, rpm = 0;
  double a[3] = {}, b[3] = {}, s[2] = {};  // curve coefficients (converted)
  double nlow = 1250.0, nhigh = 20000.0;   // speed range of the initialisation
  bool head_on() const { return head == 1; }
  bool eff_on() const { return eff == 1; }
  bool surge_on() const { return surge == 1; }
  bool qn_on() const { return head_on() || eff_on(); }
  bool any_on() const { return head_on() || eff_on() || surge_on(); }
  double c() const { return rpm == 1 ? 60.0 : 1.0; }  // speed factor
};

// Working state, rebuilt at every call; one per thread, shared by the
// compressor blocks called on that thread.
struct State : Scales {
  Setup s;
  Params p;
  int32_t pos[kNumVars + 1] = {};  // Y position of each block variable, 0 = absent
  bool eqn_on[kNumEqns + 1] = {};
  int32_t nvars = 0;  // block variables present
  double Vs = 1;
  // Results of the initialisation: one value per block variable (speed in
  // block units), the outlet enthalpy and pressure and the work-stream power.
  double w[kNumVars + 1] = {};
  double hout = 0, pout = 0, work = 0;
};

State& state();

// Input check: 0 valid, 1 invalid; findings are signalled to the host.
int32_t I3KCHK(const Entry& e, const State& st);
// True when the block's streams are those the equations are written for.
bool streams_ok(const Entry& e);
// Sequential initialisation into st.w / hout / pout / work; sets ISTAT.
void R3KCFI(Entry& e, State& st);
// Completes the outlet stream variables from the inlet's and the
// initialisation's results.
void R3KISO(Entry& e, const State& st);
// Results report on the report unit.
void R3CCMP_REPORT(const Entry& e, const State& st);

}  // namespace r3::centrifugal_compressor
