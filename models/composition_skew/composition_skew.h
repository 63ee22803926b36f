// R3SKEW: composition skew. The outlet composition is the inlet composition
// multiplied, component by component, by a skew factor interpolated
// piecewise-linearly between knot points at the component's interpolation
// temperature, and normalised; the outlet is flashed at its temperature and
// pressure by the host's phase-equilibrium equation set.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3::composition_skew {

// Groups of block variables, in their order after the stream variables.
enum Group : int {
  G_MASSIN = 0,
  G_STDVIN,
  G_SKEW,     // NC
  G_TKNOT,    // nknots, only with open knot temperatures
  G_XKNOT,    // nknots
  G_COMPIN,   // NC
  G_COMPOUT,  // NC
  G_CNORM,
  G_MASSOUT,
  G_STDVOUT,
  G_DELTAP,
  G_DUTY,
  G_TOUT,
  kNumGroups
};

// Integer work area (words from 1): a marker that the numbering is valid, the
// shape it was built for, the first position of each group, the layout of the
// outlet phase-equilibrium set and the counts.
enum IWork : int {
  IW_MARK = 1,
  IW_NC,
  IW_NKNOTS,
  IW_IKNOT,
  IW_NSTREAM,
  IW_IOPT,
  IW_IMBAL,  // the mass-balance flag, which adds an equation
  IW_GROUP,                           // kNumGroups words
  IW_LAYOUT = IW_GROUP + kNumGroups,  // 9 words
  IW_SIZE = IW_LAYOUT + 9,
};
inline constexpr int32_t kNumberingMark = 0x534B4557;  // "SKEW"

// Real work area: molecular weights, standard liquid volumes, and the two
// per-component arrays the phase-equilibrium set keeps (each kMaxComponents).
enum RWork : int { RW_MW = 0, RW_SV = 1, RW_SA = 2, RW_SB = 3, RW_COUNT = 4 };
inline constexpr int32_t kRealWorkSize = RW_COUNT * kMaxComponents;

// Standard conditions of the standard liquid volume: 60 F, one atmosphere.
inline constexpr double kStdT = 288.70556;
inline constexpr double kStdP = 101325.0;

// Working state of the skew (one per thread), rebuilt at every call from the
// arguments and the block's work areas.
struct State : Scales {
  Setup s;
  int32_t k = 4, q = 1;  // first model integer and real positions
  int32_t imode = 0, nknots = 0, icomp = 0, iknot = 0, imbal = 0, iopt = 4;
  int32_t roff = 0, ioff = 0;  // work-area offsets (0 = none)
  int32_t nc = 0;
  // Numbering read back from the integer work area.
  bool numbered = false;
  int32_t first[kNumGroups] = {};
  int32_t layout[9] = {};
  char cid[kMaxComponents][8] = {};
  int32_t interval[kMaxComponents] = {};
};

State& state();

// Position in Y of the n-th (1-based) variable of a group.
inline int32_t pos(const State& st, Group g, int n = 1) {
  return st.first[g] + n - 1;
}

// The knot interval of every component for the current knot temperatures:
// false (message written, IEVAL words 999) when a component has none.
bool r3skew_findknot(Entry& e, State& st);
// Knot temperature j (1-based): the parameter or the open variable.
double knot_temperature(const Entry& e, const State& st, int j);
// Interpolation temperature of component i (1-based).
double tint(const Entry& e, const State& st, int i);

// The block report on the report unit.
void R3SKEW_REPORT(const Entry& e, const State& st);

}  // namespace r3::composition_skew
