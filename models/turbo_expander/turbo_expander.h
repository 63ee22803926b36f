// R3TREX: turbo-expander between one inlet and one outlet material stream,
// with an optional outlet work stream.
//
// Two formulations, chosen by IPHASE:
//  1  vapour only: the block carries the inlet and outlet mole fractions and
//     evaluates enthalpies and entropies with the host's single-row sets;
//  0  two-phase (default): the isentropic and the actual outlet states are each
//     a phase-equilibrium set of the host, so either may be partly liquid.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::turbo_expander {

// Roles of the block's quantities. Each maps to a position in Y (0 = the
// formulation has no such variable). For IPHASE = 0 the isentropic and the
// actual outlet temperatures are the two phase-equilibrium sets' own.
enum Role : int {
  DHACT = 1,
  DHISEN,
  SEFF,
  IHP,
  BHP,
  MEFF,
  TIN,
  SMOL,
  SV,
  SL,  // IPHASE = 0 only
  HSOUT,
  TSOUT,  // IPHASE = 1: block variable; IPHASE = 0: the isentropic set's temperature
  TOUT,   // IPHASE = 1: OUT_PROD_TEMP; IPHASE = 0: the actual-outlet set's temperature
  kNumRoles = TOUT,
};

// Block variables in their order after the stream variables.
inline constexpr Role kVapourVars[] = {DHACT, DHISEN, SEFF, IHP,   BHP,   MEFF,
                                       TIN,   SMOL,   SV,   HSOUT, TSOUT, TOUT};
inline constexpr Role kTwoPhaseVars[] = {DHACT, DHISEN, SEFF, IHP, BHP,  MEFF,
                                         TIN,   SMOL,   SV,   SL,  HSOUT};
inline constexpr int kNumVapourVars = 12;
inline constexpr int kNumTwoPhaseVars = 11;

// Largest variable vector the block can have: two material streams and a
// work stream (2n + 7), the eleven block variables and two sets of 4n + 13.
inline constexpr int kMaxY = 10 * kMaxComponents + 64;

// Number of words of the position store in INT after the first model
// integer (p+4 ... p+26) and the minimum NINT beyond p the check asks for.
inline constexpr int kStoreWords = 23;
inline constexpr int kIntRoom = 36;

// Working state of the expander, rebuilt at every call (one per thread),
// with the values kept for initialisation and report.
struct State : Scales {
  Setup s;
  // Parameters (defaults applied).
  int32_t imode = 0, icurv = 0, npass = 1, iphase = 0;
  double rlo = 0.1, rhi = 1.0;
  // Positions.
  int32_t pos[kNumRoles + 1] = {};
  int32_t first = 0;                     // first block variable b
  int32_t xin1 = 0, xout1 = 0;           // first inlet / outlet fraction (IPHASE = 1)
  int32_t lay_s[9] = {}, lay_o[9] = {};  // layouts of the two sets (IPHASE = 0)
  int32_t vstart_s = 0, vstart_o = 0;    // variable counts at which the sets start
  int32_t eq_s = 0, eq_o = 0;            // equation counts at which the sets start
  int32_t ny = 0, nf = 0, nz = 0;        // the block's dimensions
  int32_t ninfout = 0;
  // Per-component saved arrays of the two sets.
  double S1[kMaxComponents] = {}, S2[kMaxComponents] = {}, S3[kMaxComponents] = {},
         S4[kMaxComponents] = {};
  // Initialisation vector X (1-based over Y, X[NY+1] the inlet Cp) and the
  // scratch copy used by the temperature bracket.
  double X[kMaxY + 2] = {};
  double scratch[kMaxY + 2] = {};
  // The last dimension request failed its check: the report prints the
  // efficiency, power and actual-outlet lines as missing.
  bool dimen_failed = false;
};

State& state();

// Structure that addressing depends on is sound (connectivity, component
// count, formulation); no message.
bool structure_ok(const Entry& e, const State& st);

// Input check: 0 valid, 1 invalid (messages on the message unit).
int32_t R3X_ICHK(const Entry& e, const State& st);
// Sequential initialisation into st.X; sets ISTAT.
void R3X_INI(Entry& e, State& st);
// Outlet stream variables from the inlet's and from X.
void R3X_MSTRM_IN2OUT(Entry& e, State& st);
// Results report on the report unit.
void R3X_REPORT(const Entry& e, const State& st);

}  // namespace r3::turbo_expander
