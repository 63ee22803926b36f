// R3HTUA: heat exchanger rated by F*U*A and a mean temperature difference,
// with an optional partly submerged tube bundle.
//
// The block maps no stream variables: its variables are its own, numbered
// 1..21 (1..25 with the bundle) from the start of Y. The terminal
// temperatures are tied to stream temperatures by the flowsheet; the material
// inlet is copied unchanged to the outlet, and an inlet and an outlet heat
// stream may carry the duty.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::heat_exchanger {

// Block variables, in their order in Y.
enum Var : int {
  T_HOT_IN = 1,
  T_HOT_OUT,
  T_COLD_IN,
  T_COLD_OUT,
  T_APPR_MIN_HOT_IN,
  T_APPR_VARY_HOT_IN,
  T_APPR_MIN_HOT_OUT,
  T_APPR_VARY_HOT_OUT,
  T_APPR_PRODUCT,
  Q_DUTY_HOT,  // q10: named after a heat stream when there are heat streams
  Q_DUTY_COLD, // q11: likewise
  Q_UA,
  FUA,
  FT,
  U,
  AREA,
  DTMEAN,
  DT_HOT_IN,
  DT_HOT_OUT,
  T_HOT_FALL,
  T_COLD_RISE,
  HTAREA,  // bundle only, 22-25
  LEVEL,
  FAC,
  THETA,
};
inline constexpr int kVarsPlain = 21;
inline constexpr int kVarsBundle = 25;

// Equations, in their order.
enum Eqn : int {
  HEAT_BALANCE = 1,
  DEFINE_QUA,
  HEAT_TRANS_EQN,
  EFFECT_EQN,
  HOT_IN_DT,
  HOT_OUT_DT,
  MEAN_TEMP_DIFF,
  HOT_IN_TEMP_APPROACH,
  HOT_OUT_TEMP_APPROACH,
  HOT_T_FALL,
  COLD_T_RISE,
  DEFINE_DTPROD,
  DEFINE_AREA,  // bundle only, 13-15
  DEFINE_FAC,
  DEFINE_THETA,
};
inline constexpr int kEqnsPlain = 12;
inline constexpr int kEqnsBundle = 15;
inline constexpr int kNnzPlain = 35;
inline constexpr int kNnzBundle = 42;

// 2*pi as the model has always written it (ten digits), in the submerged
// fraction equation, its derivative and the bound of THETA.
inline constexpr double kTwoPi10 = 6.283185308;
// One third and two thirds as single-precision values: the exponents of the
// signed cube-root mean and of its derivative.
inline constexpr double kThird = 0.3333333432674408;
inline constexpr double kTwoThirds = 0.6666666865348816;
// Smallest end difference (K) used in the cube-root derivative: the
// derivative of |x|^(1/3) is unbounded at 0, so the entry is capped there.
inline constexpr double kDtFloor = 1.0e-6;

// How the last initial-value step obtained its values.
enum class Start { None, Guess, Reuse };

// Working state, one per thread, rebuilt from the arguments at every call
// except the saved variable values.
struct State {
  int32_t h1 = 0, h2 = 0, h3 = 0, i0 = 1, r0 = 1;
  // Integer parameters.
  int32_t imode = 0, iprmst = 0, irunmd = 0, ifldir = 0, inlsid = 0;
  bool bundle = false;
  double real1 = 0.0;  // read from REAL, not used
  // Scales: temperature and duty from the host, the rest fixed.
  double Ts = 1000.0, Qs = 1.0e8;
  static constexpr double Ds = 10.0, As = 100.0, Us = 100.0;
  // Variable numbers (block position plus the offset), 1-based.
  int32_t offset = 0;
  int32_t num[kVarsBundle + 1] = {};
  // Saved copy of the variable values (1-based), kept for the report.
  double val[kVarsBundle + 1] = {};
  Start start = Start::None;

  int nvar() const { return bundle ? kVarsBundle : kVarsPlain; }
  int neq() const { return bundle ? kEqnsBundle : kEqnsPlain; }
  int nnz() const { return bundle ? kNnzBundle : kNnzPlain; }
};

State& state();

// Parameter checks; lines on the standard output. 0 all good, 1 any failed.
int32_t I3HCHK(int32_t imode, int32_t iprmst, int32_t irunmd, int32_t ifldir, int32_t inlsid,
               int32_t ninfi, int32_t ninfout);
// Initial values into the saved copy: re-use of Y or the initial guesses, as
// IPRMST and IRUNMD choose (IRUNMD may be reset to 0).
void R3HTUA_START(const Entry& e, State& st);
// The initial guesses from the user's values in Y into g (1-based).
void R3HTUA_GUESS(const Entry& e, const State& st, double* g);
// Results report on the report unit, from the saved copy.
void R3HTUA_REPORT(const State& st);

// The signed cube-root mean of two end differences: s^3 with
// s = c(a) + c(b), c(x) = 0.5*sign(x)*|x|^(1/3).
double cube_root_mean(double a, double b);

}  // namespace r3::heat_exchanger
