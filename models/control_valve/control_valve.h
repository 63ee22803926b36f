// R3VALV: control valve for a vapour or a liquid inlet, with seven flow
// characteristics and bias variables on the valve position and the pressure
// drop.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::control_valve {

// Block variables in table order. Rows INLET_CP..XCHOKE exist only for a
// vapour inlet; a liquid block numbers its variables without them.
enum Var : int {
  INLET_TEMP = 1,
  INLET_MOLV,
  MW,
  INLET_DENS,
  VOL_FLOW,
  WT_FLOW,
  INLET_CP,
  INLET_KRATIO,
  FK,
  XT,
  YEXP,  // expansion factor Y
  X,
  XCHOKE,
  FP,
  CVMAX,
  CV,
  VALVE_POS,
  VP_PRED,
  VP_BIAS,
  DELTAP,
  DP_PRED,
  DP_BIAS,
};
inline constexpr int kNumVars = 22;
inline constexpr int kNumVarsLiquid = 15;

inline constexpr bool vapour_only(int v) { return v >= INLET_CP && v <= XCHOKE; }

enum Phase : int32_t { kVapour = 1, kLiquid = 2 };

// Flow-equation constant c = K^2 (mass flow in kg/s, pressures in Pa,
// density in kg/m3, CV in US gallons per minute at 1 psi).
inline constexpr double kC = 5.75088361e-10;
inline constexpr double k2C = 1.150176722e-9;
// Sizing constant of the initialisation, K = sqrt(c).
inline constexpr double kSizing = 2.3981e-05;
inline constexpr double kGasConstant = 8314.4;

// The user's characteristic table for characteristic 0: pairs of valve
// position (%) and CV/CVMAX in REAL.
inline constexpr int kMaxTablePairs = 50;

struct Curve {
  int n = 0;                      // points in use (0: the linear curve)
  double x[kMaxTablePairs + 2] = {};  // positions, %, with the anchors
  double y[kMaxTablePairs + 2] = {};  // CV/CVMAX
  double m[kMaxTablePairs + 2] = {};  // tangents dy/dx (monotone Hermite)
};

// Result of reading the table: 0 none given, 1 valid, -1 invalid.
int read_table(const Entry& e, int32_t r0, Curve& c);

// CV/CVMAX of characteristic `code` at position vp, and its derivative.
double ratio(int32_t code, const Curve& c, double vp, double* dratio = nullptr);
// Position at which the characteristic gives CV/CVMAX = r; false when no
// position gives it.
bool position(int32_t code, const Curve& c, double r, double& vp);

// Working state, rebuilt at every call; one per thread.
struct State : Scales {
  Setup s;
  // Parameters, defaults applied.
  int32_t imode = 0, phase = kVapour, chr = 1, direction = 0, choke = 1, npass = 1;
  // Raw values for the check (defaults applied too).
  bool structure_ok = true;
  int nvars = kNumVars;
  int32_t pos[kNumVars + 1] = {};  // Y position of each block variable, 0 if absent
  // Derived scales: molar volume, mass density; Qs holds the volume-flow
  // scale in place of the host's duty scale, which the valve does not use.
  double Ms = 1, Ds = 1;
  // Characteristic 0's table.
  Curve curve;
  int table = 0;  // read_table's result
  // Working values of the initialisation (1-based by Var) and the outlet
  // pressure.
  double w[kNumVars + 1] = {};
  double pout = 0.0;
};

State& state();

bool vapour(const State& st);

// Input check: 1 when at least one error was found, else 0.
int32_t r3vchk(const Entry& e, const State& st);
// Sequential initialisation into the working values; sets ISTAT.
void R3VCFI(Entry& e, State& st, int32_t ncf);
// Results report on the report unit.
void R3VALV_REPORT(const Entry& e, const State& st);

}  // namespace r3::control_valve
