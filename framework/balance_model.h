// A model whose equations are the host's material balances followed by its
// own rows (the pump and the two compressors): the requests that only count,
// name, scale, pattern and evaluate those rows are the same for every such
// model and are answered here from the model's one description of its rows.
//
// The block variables follow the stream variables; the material balances
// come first among the equations.
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"

namespace r3 {

// The host's material balances' part of a pass, from the start of the
// arrays, leaving m and k where the model's rows continue. The count pass
// zeroes NY, NF and NZ first and counts the stream variables too; the names
// pass names the stream variables and writes the balances' names. As the
// host's routines do, the residual pass leaves k and the Jacobian pass
// leaves m untouched.
void balance_pass(Entry& e, Setup& s, RowPass pass, int32_t& m, int32_t& k);

// The names of the block variables: variable v (1..n) is names[v] and
// stands at Y position pos[v], absent where that is 0.
void name_block_variables(Entry& e, const char* const* names, const int32_t* pos, int32_t n);
// How many of the block variables 1..n are present (pos[v] != 0).
int32_t present_variables(const int32_t* pos, int32_t n);

// What a balance model tells the shared requests: its rows after the
// balances (written by one EquationWriter over the flow and pressure scales
// of the state) and its block variables, var_names[1..num_vars], each at Y
// position st.pos[v] (absent where 0), after the stream variables, with
// their default bounds, scales and types.
template <class S>
struct BalanceModel {
  using State = S;
  void (*rows)(EquationWriter& w, const Entry& e, const S& st);
  const char* const* var_names;
  int32_t num_vars;
  VariableDefaults (*defaults)(const S& st, int v);
  // Whether the dimension request writes the auxiliary counts (as zero) or
  // leaves them as the host passed them.
  bool writes_auxiliary_counts = true;

  // One pass over the balances and the model's rows. The count pass writes
  // NY, NF and NZ; the names pass writes every variable and equation name.
  void pass(Entry& e, S& st, RowPass p) const {
    int32_t m = 0, k = 0;
    if (p == RowPass::Count && writes_auxiliary_counts) *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
    balance_pass(e, st.s, p, m, k);
    if (p == RowPass::Names) name_block_variables(e, var_names, st.pos, num_vars);
    EquationWriter w(e, st.s, p, m, k, st.Fs, st.Ps);
    rows(w, e, st);
    if (p == RowPass::Count) {
      *e.NY += present_variables(st.pos, num_vars);
      *e.NF += w.rows();
      *e.NZ += w.nonzeros();
    } else if (p == RowPass::Names) {
      hand_over_names(e, st.s.nstream + present_variables(st.pos, num_vars), w.rows());
    }
  }
};

// The hooks of a balance model M: the dimension, names, residual and
// Jacobian requests are answered from its rows, the set-up and the
// initialisation by the model's functions; the model's table `h` lists the
// rest (check, connection test, stream update, report).
template <const auto& M, auto SetUp, auto Initialise,
          class S = typename std::remove_cvref_t<decltype(M)>::State>
constexpr ModelHooks<S> balance_hooks(std::type_identity_t<ModelHooks<S>> h) {
  h.set_up = SetUp;
  h.initialise = Initialise;
  h.dimensions = [](Entry& e, S& st) { M.pass(e, st, RowPass::Count); };
  h.names = [](Entry& e, S& st) { M.pass(e, st, RowPass::Names); };
  h.residuals = [](Entry& e, S& st) { M.pass(e, st, RowPass::Residuals); };
  h.jacobian = [](Entry& e, S& st) { M.pass(e, st, RowPass::Jacobian); };
  return h;
}

// The end of a balance model's initialisation: each present block
// variable's value (values[v]), bounds, step bound, scale and type where the
// host's arrays hold none, then the equation scales (where FSCL holds the
// missing value) and the sparsity pattern.
template <class S>
void balance_variables_scales_and_pattern(const BalanceModel<S>& model, Entry& e, S& st,
                                          const double* values) {
  for (int v = 1; v <= model.num_vars; ++v) {
    if (st.pos[v] != 0) block_variable_defaults(e, st.pos[v], values[v], model.defaults(st, v));
  }
  model.pass(e, st, RowPass::Scales);
  model.pass(e, st, RowPass::Pattern);
}

}  // namespace r3
