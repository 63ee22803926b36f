// R3STRB: steam turbine on the host's steam tables — standard (1), condensing
// (2) or admission (3).
//
// The block lays out its own variables: four per material stream (water
// flow, total flow, molar enthalpy, pressure), one per work stream, then its
// block variables. Every property comes from the host's steam-table services
// (isentropic work and its derivatives, efficiencies, saturation, volume).
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"
#include "framework/host_services.h"

namespace r3::steam_turbine {

inline constexpr int kMaxCurve = 100;  // points per curve table
// Outlet streams the layout numbers (the block uses the first; each takes
// four variables).
inline constexpr int kMaxOutlets = 1000;
inline constexpr int kMaxStages = 2;

// Positions of the variables in Y (1-based; 0 = absent).
struct Layout {
  int32_t Fi[kMaxStages] = {}, Gi[kMaxStages] = {}, hi[kMaxStages] = {}, Pi[kMaxStages] = {};
  int32_t Fo = 0, Go = 0, ho = 0, Po = 0;
  int32_t Win = 0, Wout = 0;
  int32_t dP[kMaxStages] = {}, eta[kMaxStages] = {};
  int32_t L = 0, Pt = 0, spec1 = 0;
  int32_t pu = 0, ml = 0, el = 0, A = 0;                     // condensing
  int32_t spec2 = 0, S1 = 0, S2 = 0, hx = 0, hm = 0, a = 0;  // admission
  int32_t ny = 0, nf = 0, nz = 0;
  // Equation rows (1-based; 0 = absent).
  int32_t e_mbal = 0, e_tot = 0, e_ener = 0, e_ener1 = 0, e_ener2 = 0, e_work = 0, e_pres1 = 0,
          e_pres2 = 0, e_wvf1 = 0, e_wvf2 = 0, e_eff1 = 0, e_area = 0, e_wloss = 0, e_eff2 = 0,
          e_wcalc = 0, e_adm = 0;
};

// Working state, one per thread, rebuilt at every call. The host's global
// scales by name (flow, molar enthalpy, pressure) and their power scale.
struct State : Scales {
  int32_t h1 = 0, h2 = 0, h3 = 0, i0 = 1, r0 = 1;
  // Integer parameters.
  int32_t imode = 0, irunmd = 0, units = 0, npass = 1, iturb = 0, ne = 0, nw = 0, nmax = 0;
  int32_t code[kMaxStages] = {};
  // Stream counts of the call.
  int32_t s = 0, nout = 0, ninfi = 0, ninfout = 0;
  // Real parameters (converted to SI).
  double t_out = 0, t_in[kMaxStages] = {};
  double relpar[7] = {};
  double effx[kMaxCurve] = {}, effy[kMaxCurve] = {}, wrx[kMaxCurve] = {}, wry[kMaxCurve] = {};
  // Water: its component index, the components of a stream vector and the
  // molecular weight.
  int32_t w = 0, ncf = 0;
  double M = 18.015;
  double PWs = 1.0;  // flow scale times molar-enthalpy scale
  Layout lay;
  bool laid_out = false;  // the layout holds for the counts of this call
};

State& state();

// The turbine's test of a missing real: at or above the data manager's
// missing threshold (not only the host's missing value).
inline bool missing(double v) {
  return !(v < DMS_RGLOB[kRglobMissingFrom]);
}

// Stage k's efficiency code as the block holds it (1-5).
inline bool has_spec(int32_t code) {
  return code == 1 || code == 2;
}

// Input check: 0 valid, 1 invalid. With `quiet` nothing is written (used to
// refuse the other requests of a block that cannot be laid out).
int32_t i3tchk(const Entry& e, const State& st, bool quiet);

// The modelled efficiency of a stage (1 or 2) through the host's
// efficiency service: RMISS when the service cannot answer.
double stage_efficiency(const State& st, int stage, double power, double hin, double pin,
                        double pout, double setting);

// Initial values, bounds, scales and attributes (the equation scales are
// the rows').
void R3STRB_INI(Entry& e, State& st);

}  // namespace r3::steam_turbine
