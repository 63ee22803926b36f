// Extended single-phase properties used by the steam property method: the
// state plus the derivatives a molar property method needs. Internal to
// host/steam.
#pragma once

#include "host/steam/if97.h"

namespace r3::steam::detail {

struct Props {
  State st;
  double g = 0;       // specific Gibbs energy, J/kg
  double dv_dT = 0;   // (dv/dT)_p
  double dv_dp = 0;   // (dv/dp)_T
  double dcp_dT = 0;  // (dcp/dT)_p (only when asked for)
  double dcp_dp = 0;  // (dcp/dp)_T (only when asked for)
};

// Basic equations with derivatives; third derivatives (for dcp) only when
// with_cp_derivatives is set. region2 with metastable = true uses the
// metastable-vapour formulation.
bool region1(double p, double T, Props& out, bool with_cp_derivatives);
bool region2(double p, double T, bool metastable, Props& out, bool with_cp_derivatives);
bool region5(double p, double T, Props& out, bool with_cp_derivatives);
bool region3(double rho, double T, Props& out, bool with_cp_derivatives);
// The stable state at (p, T) (the region choice of state_pT), and the state
// of one phase where that phase is stable or saturated (at p = psat(T) the
// liquid branch gives the saturated liquid, the vapour branch the saturated
// vapour). Both fail outside the range of validity.
bool stable_props(double p, double T, Props& o, bool third);
bool phase_props(double p, double T, Branch branch, Props& o, bool third);
// Density root of region 3 at (p, T) on a branch.
bool region3_density(double p, double T, Branch branch, double& rho);

// Ideal-gas Gibbs energy g_ig/(R T) and enthalpy h_ig of steam at (p, T) from
// the ideal-gas part of the region-2 equation (region 5's above 1073.15 K):
// the reference for fugacity.
void ideal_gas(double p, double T, double& g_over_RT, double& h_ig);

}  // namespace r3::steam::detail
