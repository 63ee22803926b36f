// R3CSEP: component separator. One material inlet is split into up to 20
// material outlets; each component goes to each outlet in a fixed fraction
// (its separation factor, alpha), each outlet has its own pressure drop,
// temperature and phase, and one heat duty closes the energy balance.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::component_separator {

inline constexpr int32_t kMaxOutlets = 20;
inline constexpr int32_t kVapour = 1;
inline constexpr int32_t kLiquid = 2;

// Working state, rebuilt at every call; one per thread.
struct State : Scales {
  Setup s;
  int32_t nc = 0;  // components in the block's list
  int32_t no = 0;  // material outlets
  // Integer parameters.
  int32_t imode = 0, iprmst = 0, irunmd = 0, renorm = 0;
  int32_t phase[kMaxOutlets + 1] = {};  // 1 vapour, 2 liquid (1-based)
  double flow_floor = 1e-6;             // lower limit of the inlet flow in dalpha terms
  // Identifiers: outlet streams (8 characters) and components (8 characters).
  char sid[kMaxOutlets + 1][8] = {};
  bool reuse = false;  // the last initialisation re-used previous block values

  // Positions in Y (1-based). Outlet k's stream block is consecutive:
  // total flow, NC component flows, enthalpy, pressure.
  int32_t stride() const { return nc + 3; }
  int32_t out_flow(int32_t k) const { return s.map.out_flow + (k - 1) * stride(); }
  int32_t out_comp(int32_t k, int32_t i) const {
    return s.map.out_comp[i - 1] + (k - 1) * stride();
  }
  int32_t out_enth(int32_t k) const { return s.map.out_enth + (k - 1) * stride(); }
  int32_t out_pres(int32_t k) const { return s.map.out_pres + (k - 1) * stride(); }
  int32_t in_comp(int32_t i) const { return s.map.in_comp[i - 1]; }
  // Block variables: pressure drops, alphas (component-major), outlet
  // temperatures, duty.
  int32_t pos_dp(int32_t k) const { return s.nstream + k; }
  int32_t pos_alpha(int32_t i, int32_t k) const { return s.nstream + no + (i - 1) * no + k; }
  int32_t pos_temp(int32_t k) const { return s.nstream + no + nc * no + k; }
  int32_t pos_duty() const { return s.nstream + no * (nc + 2) + 1; }
  int32_t num_block_vars() const { return no * (nc + 2) + 1; }
  // Equations before the enthalpy sets, and their non-zeros.
  int32_t num_own_eqns() const { return nc + nc * no + 2 * no + 1; }
  int32_t num_own_nz() const { return 4 * nc * no + 6 * no + (no - 1) * (nc + 1) + 4; }
};

State& state();

// Input check: messages to both message units; returns the status.
int32_t i3cchk(const Entry& e, const State& st);
// Separation-factor and feasibility checks after the initialisation.
void alpha_checks(Entry& e, State& st);
// Results report on the report unit.
void R3CSEP_REPORT(const Entry& e, const State& st);

// An 8-character component identifier of list entry i (1-based), blank-padded.
void component_id(const State& st, int32_t i, char out[8]);

}  // namespace r3::component_separator
