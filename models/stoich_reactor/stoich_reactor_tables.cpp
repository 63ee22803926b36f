// R3STOIC: the block's parameters and the reaction tables.
//
// INT, from the first model position k: k IMODE, k+1 (read, not used),
// k+3 outlet phase option, k+4 reaction-data switch, k+5 NRXN, then per
// reaction its component count n_r and n_r host component numbers, then per
// reaction the key reactant's component number and one unused integer.
// REAL, from the first model position: per reaction its n_r stoichiometric
// coefficients (below 0 a reactant, 0 or above a product), then one unused
// value per reaction.
//
// Every position is read through int_param/real_param, so a list that ends
// early reads the missing markers and never beyond NINT or NREAL; entries
// beyond the table limits are counted but never stored.
#include <cmath>
#include <string>
#include <string_view>

#include "framework/dispatch.h"
#include "framework/host_services.h"
#include "framework/records.h"
#include "models/stoich_reactor/stoich_reactor.h"

namespace r3::stoich_reactor {

State& state() { return thread_state<State>(); }

namespace {

void out(std::string_view line) { hs::write(hs::kStandardOutput, line); }

void box_open() {
  out("");
  out("+---------------------- ERROR ---------------------+");
  out("");
}

void box_close() {
  out("");
  out("+--------------------------------------------------+");
}

// A table limit exceeded: what is counted, the count, the limit, and what
// the user can do about it.
void limit_box(std::string_view what, int64_t count, int limit, std::string_view action) {
  box_open();
  out(rec::Record().text(what).i(count, 6).view());
  out(rec::Record().text("  exceeds the maximum allowed:").i(limit, 6).view());
  out(rec::Record().text("  Action: ").text(action).view());
  box_close();
}

void key_box(int32_t r) {
  box_open();
  out(rec::Record().text("  The key reactant specified for reaction").i(r, 4).view());
  out("  is not a reactant for the specified reaction.");
  out("  The key reactant must be a reactant for the");
  out("  specified reaction.");
  box_close();
}

void refuse(State& st, std::string line) {
  if (st.nerr < kMaxErrors) {
    st.err[st.nerr++] = std::move(line);
  } else {
    st.err_overflow = true;
  }
}

std::string rxn(int32_t r) { return "Reaction " + std::to_string(r) + ": "; }

// Host component number -> block position (1-based), -1 when the component
// is not in the block's list. Kept in the model's own storage, so that the
// residual and Jacobian requests, which rebuild the tables too, take no work
// area from the host.
struct ComponentMap {
  int32_t map[kMaxComponents];
  explicit ComponentMap(const Setup& s) {
    for (int i = 0; i < kMaxComponents; ++i) map[i] = -1;
    for (int32_t i = 0; i < s.ncomp; ++i) {
      if (s.idx[i] >= 1 && s.idx[i] <= kMaxComponents) map[s.idx[i] - 1] = i + 1;
    }
  }
  int32_t operator()(int32_t c) const { return (c >= 1 && c <= kMaxComponents) ? map[c - 1] : -1; }
};

// Per-component entry lists (compressed rows over the stored entries).
void index_by_component(Tables& t, int32_t ncomp) {
  auto build = [&](const Coef* e, int32_t n, int32_t* start, int32_t* list) {
    for (int32_t i = 0; i <= ncomp + 1; ++i) start[i] = 0;
    for (int32_t j = 0; j < n; ++j) {
      if (e[j].comp >= 1 && e[j].comp <= ncomp) ++start[e[j].comp + 1];
    }
    for (int32_t i = 1; i <= ncomp + 1; ++i) start[i] += start[i - 1];
    int32_t fill[kMaxComponents + 1];
    for (int32_t i = 0; i <= ncomp; ++i) fill[i] = start[i];
    for (int32_t j = 0; j < n; ++j) {
      if (e[j].comp >= 1 && e[j].comp <= ncomp) list[fill[e[j].comp]++] = j;
    }
  };
  // start[i] .. start[i+1]-1 for component i (1-based); start[0] = start[1] = 0.
  build(t.reac, std::min(t.nreac, kMaxCoefficients), t.c_reac_start, t.c_reac);
  build(t.prod, std::min(t.nprod, kMaxCoefficients), t.c_prod_start, t.c_prod);
}

void read_reactions(const Entry& e, State& st, const ComponentMap& map) {
  Tables& t = st.t;
  const int32_t imiss = hs::imiss();
  const int64_t k = st.s.i0;
  const int32_t nrxn = int_param(e, static_cast<int32_t>(k + 5));
  if (nrxn == imiss) {
    refuse(st, "The number of reactions is not given.");
    return;
  }
  if (nrxn < 0) {
    refuse(st, "Invalid number of reactions: " + std::to_string(nrxn) + ".");
    return;
  }
  if (nrxn > kMaxReactions) {
    limit_box("  The number of reactions:", nrxn, kMaxReactions,
              "split the reactions over more than one block.");
    refuse(st, "The number of reactions, " + std::to_string(nrxn) +
                   ", exceeds the maximum allowed (100).");
    return;
  }
  int32_t first_reac[kMaxReactions + 2] = {};
  int64_t p = k + 6;                 // position of n_r in INT
  int64_t q = st.s.r0;               // position of the first coefficient in REAL
  const int64_t nint = *e.NINT;
  auto ipar = [&](int64_t pos) { return pos <= nint ? int_param(e, static_cast<int32_t>(pos)) : imiss; };
  for (int32_t r = 1; r <= nrxn; ++r) {
    const int32_t n = ipar(p);
    if (n == imiss) {
      refuse(st, rxn(r) + "the number of its components is not given.");
      return;
    }
    if (n < 0) {
      refuse(st, rxn(r) + "invalid number of components: " + std::to_string(n) + ".");
      return;
    }
    if (p + n > nint) {
      refuse(st, rxn(r) + "its component numbers run past the end of the integer data.");
      return;
    }
    first_reac[r] = t.nreac;
    bool bad_comp = false, bad_coef = false;
    for (int32_t j = 1; j <= n; ++j) {
      const int32_t c = ipar(p + j);
      const int64_t qj = q + j - 1;
      const double nu = qj <= *e.NREAL ? real_param(e, static_cast<int32_t>(qj)) : hs::rmiss();
      const int32_t pos = map(c);
      if (pos < 1 && !bad_comp) {
        bad_comp = true;
        refuse(st, rxn(r) + "component number " + std::to_string(c) +
                       " is not in the block's component list.");
      }
      if ((hs::is_missing(nu) || !std::isfinite(nu)) && !bad_coef) {
        bad_coef = true;
        refuse(st, rxn(r) + "stoichiometric coefficient " + std::to_string(j) +
                       " is missing or not a number.");
      }
      if (nu < 0.0) {
        if (t.nreac < kMaxCoefficients) t.reac[t.nreac] = Coef{r, pos, -nu};
        ++t.nreac;
      } else {
        if (t.nprod < kMaxCoefficients) t.prod[t.nprod] = Coef{r, pos, nu};
        ++t.nprod;
      }
    }
    p += static_cast<int64_t>(n) + 1;
    q += n;
    t.nrxn = r;
    bool over = false;
    if (t.nreac > kMaxCoefficients) {
      limit_box("  The number of reactant coefficients:", t.nreac, kMaxCoefficients,
                "write the reaction with fewer species.");
      over = true;
    }
    if (t.nprod > kMaxCoefficients) {
      limit_box("  The number of  product coefficients:", t.nprod, kMaxCoefficients,
                "write the reaction with fewer species.");
      over = true;
    }
    if (over) {
      refuse(st, "The reactions exceed the maximum allowed coefficients (300 reactant");
      refuse(st, "and 300 product entries in all); reading stopped at reaction " +
                     std::to_string(r) + ".");
      t.nreac = std::min(t.nreac, kMaxCoefficients);
      t.nprod = std::min(t.nprod, kMaxCoefficients);
      return;
    }
  }
  first_reac[nrxn + 1] = t.nreac;
  // Key reactants: the first reactant entry of the reaction that is the key
  // component; without one the key coefficient stays unset (0).
  for (int32_t r = 1; r <= nrxn; ++r) {
    const int32_t c = ipar(p + 2 * static_cast<int64_t>(r - 1));
    (void)ipar(p + 2 * static_cast<int64_t>(r - 1) + 1);
    const int32_t pos = map(c);
    t.key[r] = 0;
    t.nu_key[r] = 0.0;
    for (int32_t j = first_reac[r]; j < first_reac[r + 1] && pos >= 1; ++j) {
      if (t.reac[j].comp == pos) {
        t.key[r] = pos;
        t.nu_key[r] = t.reac[j].nu;
        break;
      }
    }
    if (t.key[r] == 0) {
      key_box(r);
      if (c == imiss) {
        refuse(st, rxn(r) + "the key reactant is not given.");
      } else {
        refuse(st, rxn(r) + "the key reactant (component " + std::to_string(c) +
                       ") is not a reactant of the reaction.");
      }
    }
  }
}

}  // namespace

void read_parameters(const Entry& e, State& st) {
  st.nerr = 0;
  st.err_overflow = false;
  st.heater_note = false;
  Tables& t = st.t;
  t.nrxn = 0;
  t.nreac = t.nprod = 0;
  const int32_t imiss = hs::imiss();
  const int32_t k = st.s.i0;
  // Connectivity: one material inlet and one outlet, at most one heat stream
  // on either side.
  if (*e.NMATIN != 1) {
    refuse(st, "There must be exactly one material stream connected to the inlet of");
    refuse(st, "the block.");
  }
  if (*e.NMATOUT != 1) {
    refuse(st, "There must be exactly one material stream connected to the outlet of");
    refuse(st, "the block.");
  }
  if (*e.NINFI > 1) {
    refuse(st, "There may not be more than one information stream connected to the");
    refuse(st, "inlet of the block.");
  }
  if (*e.NINFOUT > 1) {
    refuse(st, "There may not be more than one information stream connected to the");
    refuse(st, "outlet of the block.");
  }
  st.imode = int_param(e, k);
  (void)int_param(e, k + 1);
  if (st.imode != 0 && st.imode != 1) {
    refuse(st, switch_fault("IMODE").first);
  }
  st.phase = int_param(e, k + 3);
  if (st.phase == 3) {
    out(rec::ListDirected().add("Not ready for two phase outlets").view());
    refuse(st, "Two-phase outlets (outlet phase option 3) are not supported.");
    refuse(st, "The outlet phase option must be 1 (vapour) or 2 (liquid).");
  } else if (st.phase != 1 && st.phase != 2) {
    refuse(st, st.phase == imiss ? std::string("The outlet phase option is not given.")
                                 : "Invalid outlet phase option: " + std::to_string(st.phase) + ".");
    refuse(st, "The outlet phase option must be 1 (vapour) or 2 (liquid).");
  }
  st.iswitch = int_param(e, k + 4);
  if (st.iswitch != 0) {
    st.heater_note = true;
  } else {
    const ComponentMap map(st.s);
    read_reactions(e, st, map);
  }
  // The per-component lists always describe this block's entries (none when
  // no reactions were read).
  if (st.nerr == 0) index_by_component(t, st.s.ncomp);
  if (st.err_overflow) st.err[kMaxErrors - 1] = "Further errors in the block's data are not shown.";
}

void write_refusal(const State& st) {
  const int32_t u = hs::message_unit();
  hs::write(u, "");
  hs::write(u, " ERROR in subroutine R3STOIC:");
  for (int32_t i = 0; i < st.nerr; ++i) hs::write(u, "      " + st.err[i]);
}

void write_heater_note(const State& st) {
  const int32_t u = hs::message_unit();
  hs::write(u, "");
  hs::write(u, " NOTE from R3STOIC:");
  hs::write(u, st.iswitch == hs::imiss()
                   ? std::string("      The reaction-data switch is not given: no reactions are read,")
                   : "      The reaction-data switch is " + std::to_string(st.iswitch) +
                         ", not 0: no reactions are read,");
  hs::write(u, "      and the block is a heater with a pressure drop.");
}

}  // namespace r3::stoich_reactor
