// One request dispatcher for every model entry. A model supplies its hooks
// (set-up, input check, connection test, counts, names, initialisation,
// residuals, Jacobian, stream update, report); the dispatcher owns the order
// of the requests and the guards that protect the host's arrays:
//
//   - the set-up runs first; when it fails the call ends;
//   - a request code the model does not answer is left alone (ISTAT as
//     passed in, nothing written), and so is a code that is no request,
//     unless the model hands such codes on;
//   - the dimension request runs the input check first and writes the
//     counts only when it passes;
//   - every other request that reads or writes the variable arrays is
//     refused (ISTAT = 1, nothing written) for a block whose connections the
//     model cannot serve, or whose arrays are smaller than the counts the
//     model would declare now (a request before the dimension request, or
//     after one made for another configuration).
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/entry_protocol.h"

namespace r3 {

// How a model's array-size guard compares the host's counts with its own.
enum class SizeRule {
  AtLeast,  // the host's arrays hold at least what the block declares
  Exactly,  // the host's counts equal what the block declares
  Own,      // the model checks the arrays itself: it keeps the numbering of
            // its dimension request, or hands the requests on to a model that
            // keeps its own
};

namespace dispatch_detail {

// The stream update most models answer: the block's stream variables in Y
// back into the host's stream arrays. None for a state without the common
// set-up.
template <class S>
constexpr void (*streams_written_back())(Entry&, S&) {
  if constexpr (requires(Entry& e, S& st) { write_streams(e, st.s); }) {
    return [](Entry& e, S& st) { write_streams(e, st.s); };
  } else {
    return nullptr;
  }
}

}  // namespace dispatch_detail

// The hooks of one model over its per-call state S. A null hook is a request
// the model does not answer (its code is then left alone).
template <class S>
struct ModelHooks {
  // Builds the per-call state from the arguments; false ends the call (the
  // hook has set ISTAT where that is the model's rule).
  bool (*set_up)(Entry&, S&) = nullptr;
  // The input check: 0 valid, otherwise the status to return. It runs at the
  // dimension request (before any count is written) and the check request.
  int32_t (*check)(Entry&, S&) = nullptr;
  // The check request itself, where it does something other than the check.
  void (*check_request)(Entry&, S&) = nullptr;
  // Whether the model can serve this block's connections and data; false
  // refuses every request but the dimension and check requests (whose input
  // check explains the refusal). May write the model's own explanation.
  bool (*serves)(Entry&, S&) = nullptr;
  // Writes NY, NF, NZ (and the auxiliary counts) after a passed check.
  void (*dimensions)(Entry&, S&) = nullptr;
  // The counts the block declares now, where the dimension request does
  // more than count (stores a numbering, writes messages); without it the
  // guard runs `dimensions` on local counts.
  void (*counts)(Entry&, S&, int32_t& ny, int32_t& nf, int32_t& nz) = nullptr;
  void (*names)(Entry&, S&) = nullptr;
  void (*initialise)(Entry&, S&) = nullptr;
  void (*residuals)(Entry&, S&) = nullptr;
  void (*jacobian)(Entry&, S&) = nullptr;
  // By default the stream update writes the block's stream variables back
  // into the host's stream arrays (where the state has the common set-up).
  void (*stream_update)(Entry&, S&) = dispatch_detail::streams_written_back<S>();
  void (*report)(Entry&, S&) = nullptr;

  // Writes the model's explanation of a refused request.
  void (*refused)(Entry&, S&) = nullptr;

  // A code that is none of the protocol's requests; null leaves it alone (a
  // layer that wraps another model hands such codes on).
  void (*not_a_request)(Entry&, S&) = nullptr;

  // Named differences between models.
  SizeRule sizes = SizeRule::AtLeast;
  // The report reads no variables (it prints the values kept by the model),
  // so it is answered whatever the arrays' sizes.
  bool report_without_variables = false;
};

namespace dispatch_detail {
template <class F>
struct HookState;
template <class S>
struct HookState<bool (*)(Entry&, S&)> {
  using type = S;
};
}  // namespace dispatch_detail

// The hooks of a model that answers the set-up and the equation requests
// with its functions named after them, in this order: set-up, dimensions,
// names, initialisation, residuals, Jacobian. The table `h` lists the rest
// (check, connection test, stream update, report, ...).
template <auto SetUp, auto Dimensions, auto Names, auto Initialise, auto Residuals, auto Jacobian,
          class S = typename dispatch_detail::HookState<decltype(SetUp)>::type>
constexpr ModelHooks<S> named_hooks(std::type_identity_t<ModelHooks<S>> h) {
  h.set_up = SetUp;
  h.dimensions = Dimensions;
  h.names = Names;
  h.initialise = Initialise;
  h.residuals = Residuals;
  h.jacobian = Jacobian;
  return h;
}

// A model's per-call state: one per thread, shared by the blocks the model
// serves on that thread.
template <class S>
S& thread_state() {
  thread_local S st;
  return st;
}

// A model function that only reads the call's arguments and state (const
// references) as a hook: `.check = reads<R3PUMP_CHK>`.
template <auto F>
inline constexpr auto reads = [](Entry& e, auto& st) { return F(e, st); };

// Whether a code is one of the protocol's requests.
bool is_request(int32_t kode);

namespace dispatch_detail {

// What a request reads or writes among the counted arrays.
struct Needs {
  bool variables, equations, nonzeros;
};
Needs needs(int32_t kode);

// Whether the host's counts cover the counts the block declares now.
bool sizes_fit(const Entry& e, Needs need, int32_t ny, int32_t nf, int32_t nz, SizeRule rule);

}  // namespace dispatch_detail

template <class S>
void dispatch(Entry& e, S& st, const ModelHooks<S>& h) {
  if (!h.set_up(e, st)) return;
  const int32_t kode = *e.KODE;
  switch (kode) {
    case KODE_DIMEN:
      if (h.check) {
        const int32_t rc = h.check(e, st);
        *e.ISTAT = rc;
        if (rc != 0) return;
      }
      h.dimensions(e, st);
      return;
    case KODE_CHECK:
      if (h.check_request) {
        h.check_request(e, st);
      } else if (h.check) {
        *e.ISTAT = h.check(e, st);
      }
      return;
    case KODE_NAMES:
    case KODE_INIT:
    case KODE_RESID:
    case KODE_JACOB:
    case KODE_STRMUPD:
    case KODE_REPORT:
      break;
    default:  // not a request: nothing beyond the set-up, unless handed on
      if (h.not_a_request) h.not_a_request(e, st);
      return;
  }
  void (*const hooks[])(Entry&, S&) = {h.names,     h.initialise,    h.residuals,
                                       h.jacobian,  h.stream_update, h.report};
  const int32_t codes[] = {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD,
                           KODE_REPORT};
  void (*hook)(Entry&, S&) = nullptr;
  for (int i = 0; i < 6; ++i) {
    if (codes[i] == kode) hook = hooks[i];
  }
  if (hook == nullptr) return;  // a request this model does not answer
  auto refuse = [&] {
    if (h.refused) h.refused(e, st);
    *e.ISTAT = 1;
  };
  if (h.serves && !h.serves(e, st)) return refuse();
  if (h.sizes != SizeRule::Own && !(kode == KODE_REPORT && h.report_without_variables)) {
    int32_t ny = 0, nf = 0, nz = 0;
    if (h.counts) {
      h.counts(e, st, ny, nf, nz);
    } else {
      Entry probe = e;
      int32_t a1 = 0, a2 = 0, a3 = 0;
      probe.NY = &ny, probe.NF = &nf, probe.NZ = &nz;
      probe.NAUX1 = &a1, probe.NAUX2 = &a2, probe.NAUX3 = &a3;
      h.dimensions(probe, st);
    }
    if (!dispatch_detail::sizes_fit(e, dispatch_detail::needs(kode), ny, nf, nz, h.sizes)) {
      return refuse();
    }
  }
  hook(e, st);
}

}  // namespace r3

// Defines a model entry that answers every request through the model's hooks
// over the state STATE() returns.
#define R3_DEFINE_MODEL_ENTRY(NAME, STATE, HOOKS)            \
  extern "C" R3_EXPORT void R3_STDCALL NAME(R3_ENTRY_PARAMS) { \
    r3::Entry e{R3_ENTRY_ARGS};                                \
    r3::dispatch(e, STATE(), HOOKS);                           \
  }
