// R3STOIC: stoichiometric reactor with key-reactant conversions.
#pragma once

#include <cstdint>
#include <string>

#include "framework/entry_protocol.h"

namespace r3::stoich_reactor {

// Limits of the reaction tables.
inline constexpr int kMaxReactions = 100;
inline constexpr int kMaxCoefficients = 300;  // reactant entries, and product entries, in all
inline constexpr int kMaxErrors = 8;          // refusal messages kept per call

// One stoichiometric entry: the reaction it belongs to, the component's block
// position (1-based; -1 when the component is not in the block's list) and
// the coefficient's magnitude.
struct Coef {
  int32_t rxn = 0;
  int32_t comp = 0;
  double nu = 0.0;
};

// The reactions read from INT and REAL, rebuilt at every call.
struct Tables {
  int32_t nrxn = 0;                       // reactions in the tables
  int32_t nreac = 0, nprod = 0;           // entries counted (may exceed the limit)
  Coef reac[kMaxCoefficients];            // in reaction order
  Coef prod[kMaxCoefficients];
  int32_t key[kMaxReactions + 1] = {};    // key reactant's block position, 1-based
  double nu_key[kMaxReactions + 1] = {};  // its reactant coefficient (0 = unset)
  // Per component (block position i, 1-based): its reactant and product
  // entries across all reactions, in reaction order, as indices into
  // reac/prod: entries c_reac[c_reac_start[i] .. c_reac_start[i+1]-1].
  int32_t c_reac_start[kMaxComponents + 2] = {};
  int32_t c_prod_start[kMaxComponents + 2] = {};
  int32_t c_reac[kMaxCoefficients] = {};
  int32_t c_prod[kMaxCoefficients] = {};
};

// Working state (one per thread, rebuilt at every call).
struct State : Scales {
  Setup s;
  int32_t imode = 0;
  int32_t phase = 1;   // outlet phase option
  int32_t iswitch = 0; // reaction-data switch
  Tables t;
  // Refusal of the block: messages for the message unit (empty when the block
  // is usable). Filled while the parameters and tables are read.
  int32_t nerr = 0;
  std::string err[kMaxErrors];
  bool err_overflow = false;  // more problems than lines kept
  bool heater_note = false;  // reaction-data switch not 0: no reactions read
  // Positions in Y of the block variables (1-based).
  int32_t pos_t = 0, pos_dp = 0;
  int32_t pos_ng(int32_t i) const { return pos_dp + i; }
  int32_t pos_conv(int32_t r) const { return pos_dp + s.ncomp + r; }
  int32_t pos_ext(int32_t r) const { return pos_dp + s.ncomp + t.nrxn + r; }
  int32_t nblock() const { return 2 + s.ncomp + 2 * t.nrxn; }
};

State& state();

// Reads the integer and real parameters and builds the reaction tables
// (boxes on standard output, refusals into st.err). Needs the component list.
void read_parameters(const Entry& e, State& st);

// Writes the refusal messages of the block on the message unit.
void write_refusal(const State& st);
// Writes the note of a block that reads no reactions.
void write_heater_note(const State& st);

}  // namespace r3::stoich_reactor
