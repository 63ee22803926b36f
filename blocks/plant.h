// The host's own plant blocks: heater and cooler, isenthalpic valve, mixer,
// splitter and flash drum. They are equation-oriented blocks over the same
// entry protocol as the model library, loaded from their own plugin.
//
// Every block but the splitter carries one phase-equilibrium set (the host's
// flash written as equations) that gives its outlet state a temperature and
// a vapour fraction, whatever the phases.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <utility>

#include "framework/entry_protocol.h"

namespace r3::plant {

enum class Kind { Heater, Valve, Mixer, Splitter, Flash };

// Working state of a block, rebuilt at every call.
struct State {
  Kind kind = Kind::Heater;
  const char* entry = "";
  Setup s;
  int32_t n = 0;                       // components
  int32_t nin = 0, nout = 0, ninfi = 0, ninfout = 0;
  int32_t per = 0;                     // variables of one material stream (n + 3)
  int32_t own = 0;                     // Y position before the block's own variables
  int32_t nown = 0;                    // number of own variables
  bool has_set = false;
  int32_t lay[9] = {};                 // layout of the phase-equilibrium set
  int32_t set_start = 0;               // Y position before the set's variables
  int32_t set_eq = 0;                  // rows before the set's rows
  int32_t ny = 0, nf = 0, nz = 0;      // the counts of the dimension request
  double sa[kMaxComponents] = {}, sb[kMaxComponents] = {};
  double Fs = 1, Ts = 1, Hs = 1, Ps = 1;
  // The values each block's report prints (by block identifier), kept at
  // its stream update.
  std::map<std::pair<int32_t, int32_t>, std::array<double, 5>> reports;

  // Y positions: total flow of material inlet/outlet k (0-based); the other
  // variables of a stream follow it (components, enthalpy, pressure).
  int32_t in_flow(int k) const { return s.map.in_flow + k * per; }
  int32_t out_flow(int k) const { return s.map.out_flow + k * per; }
  int32_t in_enth(int k) const { return in_flow(k) + n + 1; }
  int32_t out_enth(int k) const { return out_flow(k) + n + 1; }
  int32_t in_pres(int k) const { return in_flow(k) + n + 2; }
  int32_t out_pres(int k) const { return out_flow(k) + n + 2; }
  // Positions in the phase-equilibrium set.
  int32_t temp() const { return lay[0] < 0 ? -lay[0] : lay[0]; }
  int32_t vfrac() const { return lay[1] < 0 ? -lay[1] : lay[1]; }
  int32_t duty() const { return lay[2] < 0 ? -lay[2] : lay[2]; }
  int32_t vflow() const { return lay[4] < 0 ? -lay[4] : lay[4]; }
  int32_t lflow() const { return lay[5] < 0 ? -lay[5] : lay[5]; }
  int32_t z0() const { return lay[8]; }
  int32_t y_frac(int i) const { return z0() + n + 9 + i; }      // vapour, 0-based i
  int32_t x_frac(int i) const { return z0() + 3 * n + 14 + i; }  // liquid, 0-based i
  // Where the set reads its flows, enthalpy and pressure.
  const int32_t* set_flows() const;
  int32_t set_enth() const;
  int32_t set_pres() const;
};

}  // namespace r3::plant
