// R3PUMP: liquid pump with efficiency correlation and driver.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::pump {

// Block variables, in their order after the stream variables.
enum Var : int {
  SUCT_TEMP = 1,
  SUCT_MOLV,
  MW,
  DISCH_TEMP,
  P_RATIO,
  DELTA_P,
  P_HEAD,
  RHO,
  MASS_FLOW,
  PUMP_EFF,
  BHP,
  DR_EFF,
  EHP,
};
inline constexpr int kNumVars = 13;

// Saved-value array: outlet molar enthalpy, outlet pressure, then the 13
// block variables (index v + 2 for block variable v, 1-based as below).
enum Saved : int { S_HOUT = 1, S_POUT = 2 };
inline constexpr int kNumSaved = 15;
inline constexpr int saved_index(Var v) { return v + 2; }

inline constexpr double kG = 9.80665;

// Working state of the pump, rebuilt at every call (one per thread), and the
// values kept for the initialisation and the report.
struct State : Scales {
  Setup s;
  int32_t imode = 0, npass = 0;
  int32_t pos[kNumVars + 1] = {};  // Y position of each block variable
  // Scale constants.
  double Fc = 1, Ph = 1;
  // Typical magnitudes behind the scales: a molar mass (kg/kmol) and a
  // liquid density (kg/m3).
  static constexpr double kMolarMass = 10.0, kDensity = 1000.0;
  // Saved values (1-based), kept between calls.
  double saved[kNumSaved + 1] = {};
  double eff_corr = 0.7;  // correlation efficiency of the last suction calculation
};

State& state();

// Input check: 0 valid, 1 invalid (messages on the message unit).
int32_t R3PUMP_CHK(const Entry& e, const State& st);
// Sequential initialisation into the saved-value array; sets ISTAT.
void R3PUMP_INI(Entry& e, State& st);
// Results report on the report unit.
void R3PUMP_REPORT(const Entry& e, const State& st);

}  // namespace r3::pump
