// IAPWS Industrial Formulation 1997 for the thermodynamic properties of water
// and steam, with the supplementary backward equations for region 3.
//
// A plain C++ API in SI units: Pa, K, J/kg, J/(kg K), m3/kg, m/s. Reference
// state as in the steam tables: internal energy and entropy are zero for the
// saturated liquid at the triple point.
//
// Regions: 1 compressed liquid (T <= 623.15 K), 2 superheated vapour,
// 3 near-critical (623.15 K <= T <= B23), 4 the saturation line / two-phase
// mixture, 5 high-temperature steam (1073.15 K < T <= 2273.15 K, p <= 50 MPa).
//
// Nothing here throws, and no call yields a silent NaN: every call returns a
// Status, and the outputs are only meaningful when it is Status::Ok.
#pragma once

namespace r3::steam {

enum class Status : int {
  Ok = 0,
  OutOfRange = -1,     // input non-finite or outside the range of validity
  NoConvergence = -2,  // an iteration did not converge (should not happen in range)
};

inline constexpr double kR = 461.526;         // J/(kg K), specific gas constant
inline constexpr double kTc = 647.096;        // K, critical temperature
inline constexpr double kPc = 22.064e6;       // Pa, critical pressure
inline constexpr double kRhoc = 322.0;        // kg/m3, critical density
inline constexpr double kTmin = 273.15;       // K, lower temperature limit
inline constexpr double kTminTolerance = 0.01;  // K accepted below kTmin
inline constexpr double kTmax = 2273.15;      // K, upper temperature limit
inline constexpr double kT25 = 1073.15;       // K, boundary between regions 2 and 5
inline constexpr double kT13 = 623.15;        // K, boundary between regions 1 and 3
inline constexpr double kPmax = 100e6;        // Pa
inline constexpr double kPmax5 = 50e6;        // Pa, upper pressure of region 5

struct State {
  double T = 0;    // K
  double p = 0;    // Pa
  double v = 0;    // m3/kg
  double h = 0;    // J/kg
  double s = 0;    // J/(kg K)
  double u = 0;    // J/kg
  double cp = 0;   // J/(kg K); 0 for a two-phase mixture (undefined there)
  double w = 0;    // m/s, speed of sound; 0 for a two-phase mixture
  // Vapour mass fraction. In region 4 (two-phase) it is the quality in [0, 1];
  // single-phase states report 0 for liquid-like (region 1, region 3 denser
  // than critical) and 1 for vapour-like states (regions 2, 5, region 3 less
  // dense than critical), as a clipped vapour fraction.
  double quality = 0;
  int region = 0;  // 1, 2, 3, 4 (two-phase) or 5
};

// ---- Saturation line (region 4) -------------------------------------------
// Saturation pressure for 273.15 K <= T <= Tc, and its temperature derivative.
Status psat(double T, double& p);
Status dpsat_dT(double T, double& dp_dT);
// Saturation temperature for psat(273.15 K) <= p <= pc.
Status tsat(double p, double& T);

// ---- Boundary equations ----------------------------------------------------
// Boundary between regions 2 and 3: pressure from temperature (623.15 K to
// 863.15 K) and its inverse.
Status b23_p(double T, double& p);
Status b23_T(double p, double& T);
// Boundary between subregions 2b and 2c (p in Pa, h in J/kg).
Status b2bc_h(double p, double& h);
Status b2bc_p(double h, double& p);
// Boundary between subregions 3a and 3b in (p, h) (J/kg); in (p, s) it is the
// critical entropy kS3ab.
Status b3ab_h(double p, double& h);
inline constexpr double kS3ab = 4.41202148223476e3;  // J/(kg K)

// ---- Basic equations, one region at a time --------------------------------
// These evaluate the named region's equation at the given point without
// checking that the point belongs to the region (metastable extensions are
// allowed); they fail only for non-physical input (non-finite, p <= 0, T <= 0)
// or a non-finite result.
Status region1_pT(double p, double T, State& st);
Status region2_pT(double p, double T, State& st);
// The metastable-vapour formulation of region 2 (supercooled vapour at
// p <= 10 MPa, down to the 5 % equilibrium-moisture line).
Status region2_metastable_pT(double p, double T, State& st);
Status region5_pT(double p, double T, State& st);
// Region 3 in its own variables (density, temperature).
Status region3_rhoT(double rho, double T, State& st);
// Region 3 at (p, T): iterates the basic equation for the density on the
// requested branch. Liquid: the dense root, Vapour: the light root; above the
// critical temperature there is one root and both give it. Fails when the
// branch has no root at (p, T).
enum class Branch : int { Liquid = 0, Vapour = 1 };
Status region3_pT(double p, double T, Branch branch, State& st);

// ---- Raw backward equations ----------------------------------------------
// Temperature from (p, h) and (p, s) for region 1, 2 (the subregion 2a, 2b or
// 2c is chosen from the boundary equations) or 3 (3a or 3b likewise); region 3
// also gives specific volume. These are the explicit equations only: their
// results differ from the basic equations by up to a few tens of mK (use
// state_ph / state_ps for consistent states).
Status backward_T_ph(int region, double p, double h, double& T);
Status backward_T_ps(int region, double p, double s, double& T);
Status backward_v3_ph(double p, double h, double& v);
Status backward_v3_ps(double p, double s, double& v);
// In subregion 3a, v(p, s) is the dense root of the basic equation at the
// backward temperature T3a(p, s) rather than an explicit equation.

// Saturation pressure from h on the region-3 part of the saturation line
// (explicit equation, 1.6 MJ/kg <= h <= 2.7 MJ/kg).
Status backward_psat3_h(double h, double& p);
// Saturation pressure on the region-3 part of the line (psat(623.15 K) to pc)
// at which the saturated liquid (s <= kS3ab) or vapour (s > kS3ab) of the
// basic equation has entropy s; found by bisection on the pressure.
Status saturation_pressure_s3(double s, double& p);

// ---- States over the whole range ------------------------------------------
// Range: 0 < p <= 100 MPa; 273.15 K (less kTminTolerance) <= T <= 1073.15 K,
// and 1073.15 K < T <= 2273.15 K for p <= 50 MPa.
// state_pT gives the stable single phase (on the saturation line itself, the
// liquid). state_ph and state_ps also give two-phase states (region 4).
// Backward equations are only starting values here: the temperature (and in
// region 3 the density) is refined by Newton iteration on the basic equation,
// so h(state_ph(p, h)) == h and s(state_ps(p, s)) == s to round-off.
// Within about 0.1 K of a region boundary the neighbouring equations overlap
// in h and s by their small inconsistency; there the answer is given by a
// region whose own temperature lies on its side of the boundary.
Status state_pT(double p, double T, State& st);
Status state_ph(double p, double h, State& st);
Status state_ps(double p, double s, State& st);
// Temperature only, the fast path of state_ph: the same iteration without
// the final evaluation and its polish (so within a few 1e-9 K of state_ph's
// temperature).
Status temperature_ph(double p, double h, double& T);
// Temperature from (p, s), likewise the fast path of state_ps.
Status temperature_ps(double p, double s, double& T);

// The stable single-phase state at (p, T) without cp, w and the second
// derivatives they need: for callers that want only volume, enthalpy,
// entropy (and u). Same range, region choice and values as state_pT.
struct StateVHS {
  double T = 0, p = 0;
  double v = 0, h = 0, s = 0, u = 0;  // m3/kg, J/kg, J/(kg K), J/kg
  double quality = 0;                 // as State::quality
  int region = 0;
};
Status state_pT_vhs(double p, double T, StateVHS& st);

// ---- Derivatives for equipment models -------------------------------------
// Specific volume on a (p, h) state and its derivatives (dv/dh)_p and
// (dv/dp)_h, in single-phase and two-phase states alike.
struct VolumeDerivatives {
  double v = 0;      // m3/kg
  double dv_dh = 0;  // (dv/dh) at constant p, m3/J
  double dv_dp = 0;  // (dv/dp) at constant h, m3/(kg Pa)
};
Status volume_derivatives_ph(double p, double h, VolumeDerivatives& d);

// Isentropic work of a flow G (kg/s) expanding (or compressed) from (Pa, h)
// to Pb: W = G (h - h(Pb, s(Pa, h))), in W, with its partial derivatives.
// In single-phase states dh = T ds + v dp gives dW/dPa = G Ts va / Ta,
// dW/dPb = -G vs, dW/dh = G (1 - Ts / Ta), dW/dG = h - hs; in two-phase states
// the mixture's own partials are used (exact derivatives of W as computed).
struct IsentropicWork {
  double W = 0;
  double dW_dPa = 0, dW_dPb = 0, dW_dh = 0, dW_dG = 0;
  double h_out = 0;  // isentropic outlet enthalpy h(Pb, s(Pa, h)), J/kg
  State out;         // isentropic outlet state
};
Status isentropic_work(double Pa, double Pb, double h, double G, IsentropicWork& w);

}  // namespace r3::steam
