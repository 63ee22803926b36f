// R3RCMP: reciprocating (piston) gas compressor with clearance and
// volumetric-efficiency loss.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::recip_compressor {

// Block variables, in their order after the stream variables. The first seven
// are the property variables.
enum Var : int {
  SUCT_TEMP = 1,
  SUCT_CP,
  SUCT_MOLV,
  MW,
  DISCH_TEMP,
  DISCH_CP,
  DISCH_MOLV,
  SUCT_Z,
  DISCH_Z,
  Z_MEAN,
  CP_MEAN,
  KRATIO,
  ALPHA,
  MPOLY,
  PRATIO,
  LN_PRATIO,
  LN_PR_EXP,
  PR_EXP,
  POLY_EFF,
  HEAD,
  WT_FLOW,
  IHP,
  MECH_EFF,
  BHP,
  CLEARFRAC,
  LOSSTERM,
  VOL_EFF,
  VOL_FLOW,
  DISPLACE,
};
inline constexpr int kNumVars = 29;
inline constexpr int kNumPropVars = 7;

// Saved-value array: outlet molar enthalpy, outlet pressure, then the 29
// block variables (index v + 2 for block variable v; 1-based).
enum Saved : int { S_HOUT = 1, S_POUT = 2 };
inline constexpr int kNumSaved = 31;
inline constexpr int saved_index(Var v) {
  return v + 2;
}

inline constexpr double kR = 8314.4;  // J/(kmol K)

// Initialisation defaults.
inline constexpr double kDefMechEff = 1.0;
inline constexpr double kDefClearFrac = 0.5;
inline constexpr double kDefLossTerm = 0.04;
inline constexpr double kDefAlpha = 0.4;
inline constexpr double kDefMpoly = 0.5;
inline constexpr double kDefPratio = 5.0;
inline constexpr double kDefPolyEff = 0.72;

// Working state (one per thread, rebuilt at every call) and the saved values
// of the last initialisation.
struct State : Scales {
  Setup s;
  int32_t imode = 0, npass = 0, izavg = 0;
  int32_t pos[kNumVars + 1] = {};  // Y position of each block variable
  // Scale constants.
  double Vs = 1, Th = 1;
  // Typical magnitudes behind the scales: a molar mass (kg/kmol) and the
  // gas constant rounded to its order (J/(kmol K)).
  static constexpr double kMolarMass = 10.0, kGasConstantOrder = 10000.0;
  double saved[kNumSaved + 1] = {};
  // Selected pair of given quantities (1-6) of the last initialisation, 0 if none.
  int last_case = 0;
};

State& state();

// Input check: 0 valid, 1 invalid (messages on the message unit).
int32_t R3RCMP_CHK(const Entry& e, const State& st);
// Sequential initialisation into the saved-value array; sets ISTAT.
void R3RCMP_INI(Entry& e, State& st);
// Results report on the report unit.
void R3RCMP_REPORT(const Entry& e, const State& st);

}  // namespace r3::recip_compressor
