// Single-row property equations handed their state as values: the enthalpy
// (ENC), entropy (SMC) and heat-capacity (CPRES) rows of the turbo-expander.
//
// Each row is property(T, P, x) - value = 0 with the composition handed in
// as fractions that need not be normalised (the engine evaluates at x/sum x
// and differentiates by the entries handed in). The residual
// calls also have an evaluation mode that stores the property itself at the
// row instead of a residual, which the expander uses to fill its starting
// values. Pattern and Jacobian follow the order of RTO_ENSET: the n
// composition columns, the pressure, the temperature, the property variable.
#include <array>
#include <cmath>
#include <span>

#include "framework/host_services.h"
#include "host/properties/properties.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"

namespace {

using r3::host::kMaxComponents;
using r3::host::kRmiss;
using r3::thermo::Phase;
using r3::thermo::Status;

enum class RowProp { Enthalpy, Entropy, HeatCapacity };

// Per-call scratch, one copy per thread.
thread_local std::array<double, kMaxComponents> g_dx;

bool phase_ok(int32_t phase) {
  return phase == 1 || phase == 2;
}

// The property at the handed state, with its gradient when g is given.
// False (nothing usable) on any bad input or a failed evaluation.
bool row_property(RowProp prop, const int32_t* ncomp, const int32_t* phase, const int32_t* ipropset,
                  const int32_t* idx, const double* x, const double* p, const double* t,
                  double& value, r3::thermo::Gradient* g) {
  const int n = *ncomp;
  if (n < 1 || n > kMaxComponents || !phase_ok(*phase)) return false;
  const r3::thermo::Model* m = r3::host::model_for(*ipropset, {idx, static_cast<size_t>(n)});
  if (m == nullptr) return false;
  const std::span<const double> xs(x, static_cast<size_t>(n));
  const Phase ph = static_cast<Phase>(*phase);
  Status s = Status::Failed;
  switch (prop) {
    case RowProp::Enthalpy:
      s = m->enthalpy(ph, *t, *p, xs, value, g);
      break;
    case RowProp::Entropy:
      s = m->entropy(ph, *t, *p, xs, value, g);
      break;
    case RowProp::HeatCapacity:
      s = m->heat_capacity(ph, *t, *p, xs, value, g);
      break;
  }
  if (s == Status::Failed || !std::isfinite(value)) return false;
  if (g != nullptr) {
    if (!std::isfinite(g->dT) || !std::isfinite(g->dP)) return false;
    for (double d : g->dx) {
      if (!std::isfinite(d)) return false;
    }
  }
  return true;
}

// Mode 0: the residual at row m+1, m advanced. Mode 1 (evaluation): the
// property itself at F(m), m being the 1-based position of the slot, left as
// it is. A failed evaluation writes RMISS in either mode.
void row_residual(RowProp prop, const int32_t* ncomp, const int32_t* phase, const int32_t* ipropset,
                  const int32_t* idx, const double* x, const double* p, const double* t,
                  const double* value, const int32_t* mode, int32_t* m, double* F) {
  double v = 0.0;
  const bool ok = row_property(prop, ncomp, phase, ipropset, idx, x, p, t, v, nullptr);
  if (*mode == 1) {
    if (*m >= 1) F[*m - 1] = ok ? v : kRmiss;
    return;
  }
  F[*m] = ok ? v - *value : kRmiss;
  ++*m;
}


// Jacobian values in pattern order; zero derivatives (never NaN) when the
// state cannot be evaluated, so the structure stays.
void row_jacobian(RowProp prop, const int32_t* ncomp, const int32_t* phase, const int32_t* ipropset,
                  const int32_t* idx, const double* x, const double* p, const double* t, int32_t* k,
                  double* DFDY) {
  const int n = *ncomp;
  if (n < 1 || n > kMaxComponents) return;
  r3::thermo::Gradient g;
  g.dx = std::span<double>(g_dx.data(), static_cast<size_t>(n));
  double v = 0.0;
  const bool ok = row_property(prop, ncomp, phase, ipropset, idx, x, p, t, v, &g);
  for (int i = 0; i < n; ++i) DFDY[(*k)++] = ok ? g.dx[static_cast<size_t>(i)] : 0.0;
  DFDY[(*k)++] = ok ? g.dP : 0.0;
  DFDY[(*k)++] = ok ? g.dT : 0.0;
  DFDY[(*k)++] = -1.0;
}

}  // namespace

extern "C" {

void RTO_ENCDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 3;
}

void RTO_SMCDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 3;
}

void RTO_ENCRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F) {
  (void)pword;
  row_residual(RowProp::Enthalpy, ncomp, phase, ipropset, idx, x, p, t, prop, mode, m, F);
}

void RTO_SMCRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F) {
  (void)pword;
  row_residual(RowProp::Entropy, ncomp, phase, ipropset, idx, x, p, t, prop, mode, m, F);
}

void RTO_CPRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F) {
  (void)pword;
  row_residual(RowProp::HeatCapacity, ncomp, phase, ipropset, idx, x, p, t, prop, mode, m, F);
}

void RTO_ENCSPR(R3_RTO_ROW_PARAMS, const int32_t* ix, const int32_t* ip, const int32_t* it,
                const int32_t* iprop, int32_t* m, int32_t* k, int32_t* IJROW, int32_t* IJCOL) {
  (void)phase, (void)ipropset, (void)idx, (void)x, (void)p, (void)t, (void)prop, (void)pword;
  if (*ncomp >= 1 && *ncomp <= kMaxComponents) {
    r3::host::property_row_pattern(*ncomp, *ix, *ip, *it, *iprop, *m, *k, IJROW, IJCOL);
  }
}

void RTO_SMCSPR(R3_RTO_ROW_PARAMS, const int32_t* ix, const int32_t* ip, const int32_t* it,
                const int32_t* iprop, int32_t* m, int32_t* k, int32_t* IJROW, int32_t* IJCOL) {
  (void)phase, (void)ipropset, (void)idx, (void)x, (void)p, (void)t, (void)prop, (void)pword;
  if (*ncomp >= 1 && *ncomp <= kMaxComponents) {
    r3::host::property_row_pattern(*ncomp, *ix, *ip, *it, *iprop, *m, *k, IJROW, IJCOL);
  }
}

void RTO_ENCJAC(R3_RTO_ROW_PARAMS, const double* fs, const double* ps, int32_t* k, double* DFDY) {
  (void)prop, (void)pword, (void)fs, (void)ps;
  row_jacobian(RowProp::Enthalpy, ncomp, phase, ipropset, idx, x, p, t, k, DFDY);
}

void RTO_SMCJAC(R3_RTO_ROW_PARAMS, const double* fs, const double* ps, int32_t* k, double* DFDY) {
  (void)prop, (void)pword, (void)fs, (void)ps;
  row_jacobian(RowProp::Entropy, ncomp, phase, ipropset, idx, x, p, t, k, DFDY);
}

}  // extern "C"
