// Property services: the flash of a stream vector, the property monitors and
// the property-equation sets, all answered by the thermo engine for the
// method the block selects (IPROPSET) and the block's component list.
//
// Stream vector (LSTRM = NCF + 9): component flows, total flow, T, P, mass
// enthalpy, molar vapour fraction, molar liquid fraction, mass entropy, mass
// density, molecular weight.
#include "host/properties/properties.h"

#include <array>
#include <cmath>
#include <numeric>
#include <span>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"

namespace r3::host {
namespace {

using thermo::Phase;
using thermo::Status;

// Per-call scratch, one copy per thread: blocks may be served from several
// threads at once.
thread_local std::array<double, kMaxComponents> g_dx;
thread_local std::array<int32_t, kMaxComponents> g_all_idx;

std::span<const int32_t> all_components() {
  const int n = run().ncomp();
  for (int i = 0; i < n; ++i) g_all_idx[static_cast<size_t>(i)] = i + 1;
  return {g_all_idx.data(), static_cast<size_t>(n)};
}

int32_t flash_code(Status s) {
  switch (s) {
    case Status::Ok:
      return 0;
    case Status::Extrapolated:
      return -2;
    default:
      return -1;
  }
}

// Writes the bulk properties of a flash result into a stream vector.
void store_flash(const thermo::Model& m, const thermo::FlashResult& r, int ncf, double* v) {
  const std::span<const double> z(v, static_cast<size_t>(ncf));
  double mw = 0.0;
  m.molecular_weight(z, mw);
  v[ncf + 1] = r.T;
  v[ncf + 2] = r.P;
  v[ncf + 3] = r.H / mw;
  v[ncf + 4] = r.beta;
  v[ncf + 5] = 1.0 - r.beta;
  v[ncf + 6] = r.S / mw;
  double vol = 0.0;
  if (r.beta > 0.0) {
    double vv = 0.0;
    if (m.molar_volume(Phase::Vapour, r.T, r.P, r.y, vv) != Status::Failed) vol += r.beta * vv;
  }
  if (r.beta < 1.0) {
    double vl = 0.0;
    if (m.molar_volume(Phase::Liquid, r.T, r.P, r.x, vl) != Status::Failed) {
      vol += (1.0 - r.beta) * vl;
    }
  }
  v[ncf + 7] = vol > 0.0 ? mw / vol : kRmiss;
  v[ncf + 8] = mw;
}

bool usable(double x) { return x != kRmiss && std::isfinite(x); }

bool composition_ok(std::span<const double> x) {
  double sum = 0.0;
  for (double xi : x) {
    if (!std::isfinite(xi) || xi < 0.0) return false;
    sum += xi;
  }
  return sum > 0.0;
}

}  // namespace

namespace {

// Sets flows, total and pressure of a vector, everything else missing; the
// model for the run's components, or null when the composition is unusable.
const thermo::Model* start_vector(int32_t ipropset, const std::vector<double>& flows, double P,
                                  double* v) {
  const int ncf = run().ncomp();
  if (static_cast<int>(flows.size()) != ncf) return nullptr;
  for (int i = 0; i < ncf + 9; ++i) v[i] = kRmiss;
  double total = 0.0;
  for (int i = 0; i < ncf; ++i) {
    v[i] = flows[static_cast<size_t>(i)];
    total += flows[static_cast<size_t>(i)];
  }
  v[ncf] = total;
  v[ncf + 2] = P;
  if (!composition_ok({v, static_cast<size_t>(ncf)}) || !(P > 0.0)) return nullptr;
  return model_for(ipropset, all_components());
}

}  // namespace

bool fill_stream_vector(int32_t ipropset, const std::vector<double>& flows, double T, double P,
                        double* v) {
  const thermo::Model* m = start_vector(ipropset, flows, P, v);
  if (m == nullptr) return false;
  const int ncf = run().ncomp();
  v[ncf + 1] = T;
  thermo::FlashResult r;
  if (thermo::flash_tp(*m, T, P, {v, static_cast<size_t>(ncf)}, r) == Status::Failed) {
    return false;
  }
  store_flash(*m, r, ncf, v);
  return true;
}

bool fill_stream_vector_pv(int32_t ipropset, const std::vector<double>& flows, double P,
                           double beta, double* v) {
  const thermo::Model* m = start_vector(ipropset, flows, P, v);
  if (m == nullptr) return false;
  const int ncf = run().ncomp();
  thermo::FlashResult r;
  if (thermo::flash_pv(*m, P, beta, {v, static_cast<size_t>(ncf)}, 300.0, r) == Status::Failed) {
    return false;
  }
  store_flash(*m, r, ncf, v);
  return true;
}

bool fill_stream_vector_ph(int32_t ipropset, const std::vector<double>& flows, double P,
                           double h_mass, double* v) {
  const thermo::Model* m = start_vector(ipropset, flows, P, v);
  if (m == nullptr) return false;
  const int ncf = run().ncomp();
  double mw = 0.0;
  m->molecular_weight({v, static_cast<size_t>(ncf)}, mw);
  thermo::FlashResult r;
  if (thermo::flash_ph(*m, P, h_mass * mw, {v, static_cast<size_t>(ncf)}, 300.0, r) ==
      Status::Failed) {
    return false;
  }
  store_flash(*m, r, ncf, v);
  return true;
}

void property_row_pattern(int32_t ncomp, int32_t ix, int32_t ip, int32_t it, int32_t iprop,
                          int32_t& m, int32_t& k, int32_t* IJROW, int32_t* IJCOL) {
  const int32_t row = ++m;
  for (int32_t i = 0; i < ncomp; ++i) {
    IJROW[k] = row;
    IJCOL[k] = ix + i;
    ++k;
  }
  for (const int32_t col : {ip, it, iprop}) {
    IJROW[k] = row;
    IJCOL[k] = col;
    ++k;
  }
}

int32_t complete_from_ph(int32_t ipropset, double* v, double h_molar) {
  const int ncf = run().ncomp();
  const thermo::Model* m = model_for(ipropset, all_components());
  const std::span<const double> z(v, static_cast<size_t>(ncf));
  if (m == nullptr || !composition_ok(z) || !usable(h_molar) || !usable(v[ncf + 2]) ||
      v[ncf + 2] <= 0.0) {
    return -1;
  }
  const double tguess = usable(v[ncf + 1]) && v[ncf + 1] > 0.0 ? v[ncf + 1] : 300.0;
  thermo::FlashResult r;
  const Status s = thermo::flash_ph(*m, v[ncf + 2], h_molar, z, tguess, r);
  if (s == Status::Failed) return -1;
  store_flash(*m, r, ncf, v);
  return flash_code(s);
}

}  // namespace r3::host

using namespace r3::host;
using r3::thermo::Phase;
using r3::thermo::Status;

namespace {

// Evaluates one single-phase property with its gradient.
enum class Prop { Enthalpy, Volume, HeatCapacity };

Status evaluate(const r3::thermo::Model& m, Prop prop, Phase phase, double T, double P,
                std::span<const double> x, double& value, r3::thermo::Gradient* g) {
  switch (prop) {
    case Prop::Enthalpy:
      return m.enthalpy(phase, T, P, x, value, g);
    case Prop::Volume:
      return m.molar_volume(phase, T, P, x, value, g);
    case Prop::HeatCapacity:
      return m.heat_capacity(phase, T, P, x, value, g);
  }
  return Status::Failed;
}

// The enthalpy, volume and heat-capacity sets share one body: one equation
// property(T, P, x) - value = 0 whose pattern is the composition variables,
// the pressure, the temperature and the property variable, in that order.
void property_set(Prop prop, const int32_t* ncomp, const int32_t* phase, const int32_t* ipropset,
                  const int32_t* idx, const double* x, const double* p, const double* t,
                  const double* value, const int32_t* ix, const int32_t* ip, const int32_t* it,
                  const int32_t* iprop, const int32_t* action, int32_t* m, int32_t* k,
                  int32_t* IJROW, int32_t* IJCOL, double* F, double* DFDY) {
  const int n = *ncomp;
  if (n < 1 || n > kMaxComponents) return;
  switch (*action) {
    case 2:  // pattern
      property_row_pattern(n, *ix, *ip, *it, *iprop, *m, *k, IJROW, IJCOL);
      return;
    case 3: {  // residual
      const r3::thermo::Model* model = model_for(*ipropset, {idx, static_cast<size_t>(n)});
      double h = 0.0;
      const bool ok = model != nullptr &&
                      evaluate(*model, prop, static_cast<Phase>(*phase), *t, *p,
                               {x, static_cast<size_t>(n)}, h, nullptr) != Status::Failed &&
                      std::isfinite(h);
      F[*m] = ok ? h - *value : kRmiss;
      ++*m;
      return;
    }
    case 4: {  // Jacobian
      const r3::thermo::Model* model = model_for(*ipropset, {idx, static_cast<size_t>(n)});
      double h = 0.0;
      r3::thermo::Gradient g;
      g.dx = std::span<double>(g_dx.data(), static_cast<size_t>(n));
      const bool ok = model != nullptr &&
                      evaluate(*model, prop, static_cast<Phase>(*phase), *t, *p,
                               {x, static_cast<size_t>(n)}, h, &g) != Status::Failed;
      for (int i = 0; i < n; ++i) DFDY[(*k)++] = ok ? g.dx[static_cast<size_t>(i)] : 0.0;
      DFDY[(*k)++] = ok ? g.dP : 0.0;
      DFDY[(*k)++] = ok ? g.dT : 0.0;
      DFDY[(*k)++] = -1.0;
      return;
    }
    default:
      return;
  }
}

void flash_failed(int32_t* ret) { *ret = -1; }

}  // namespace

extern "C" {

void FLSH_FLASH(double* strm, const int32_t* nsstrm, const int32_t*, const int32_t* isstyp,
                const int32_t* ipropset, const int32_t*, const int32_t*, const int32_t*,
                const int32_t*, const double*, const double* p, const double*, const double* test,
                const int32_t*, const int32_t*, int32_t*, int32_t*, int32_t*, int32_t*,
                int32_t* ret) {
  *ret = 0;
  if (take_failure("FLSH_FLASH")) return flash_failed(ret);
  const int ncf = U3_MSTRM__NCF(nsstrm, isstyp);
  const r3::thermo::Model* m = model_for(*ipropset, all_components());
  const std::span<const double> z(strm, static_cast<size_t>(ncf));
  if (m == nullptr || !composition_ok(z)) return flash_failed(ret);
  double P = strm[ncf + 2];
  if (p != nullptr && usable(*p) && *p > 0.0) P = *p;
  if (!usable(P) || P <= 0.0) return flash_failed(ret);
  strm[ncf + 2] = P;
  double total = 0.0;
  for (int i = 0; i < ncf; ++i) total += strm[i];
  strm[ncf] = total;
  const double T = strm[ncf + 1];
  const double hmass = strm[ncf + 3];
  r3::thermo::FlashResult r;
  Status s;
  if (!usable(T) && usable(hmass)) {
    double mw = 0.0;
    m->molecular_weight(z, mw);
    const double tguess = (test != nullptr && usable(*test) && *test > 0.0) ? *test : 300.0;
    s = r3::thermo::flash_ph(*m, P, hmass * mw, z, tguess, r);
  } else if (usable(T) && T > 0.0) {
    s = r3::thermo::flash_tp(*m, T, P, z, r);
  } else {
    return flash_failed(ret);
  }
  if (s == Status::Failed) return flash_failed(ret);
  store_flash(*m, r, ncf, strm);
  *ret = flash_code(s);
}

static void monitor_enthalpy(Phase phase, const double* T, const double* P, const double* x,
                             const int32_t* ncomp, const int32_t* idx, const int32_t* ipropset,
                             const int32_t* code, double* h, double* cp) {
  const r3::thermo::Model* m =
      (*ncomp >= 1 && *ncomp <= kMaxComponents)
          ? model_for(*ipropset, {idx, static_cast<size_t>(*ncomp)})
          : nullptr;
  const std::span<const double> xs(x, static_cast<size_t>(m ? *ncomp : 0));
  const bool ok_input = m != nullptr && composition_ok(xs) && usable(*T) && usable(*P);
  if (*code == 1 || *code == 3) {
    double v = 0.0;
    *h = ok_input && m->enthalpy(phase, *T, *P, xs, v) != Status::Failed && std::isfinite(v)
             ? v
             : kRmiss;
  }
  if (*code == 2 || *code == 3) {
    double v = 0.0;
    *cp = ok_input && m->heat_capacity(phase, *T, *P, xs, v) != Status::Failed &&
                  std::isfinite(v)
              ? v
              : kRmiss;
  }
}

void PPMON_ENTHL(const double* T, const double* P, const double* x, const int32_t* ncomp,
                 const int32_t* idx, const int32_t* ipropset, const int32_t*, const int32_t*,
                 const int32_t* code, double* h, double* cp, int32_t*) {
  if (take_failure("PPMON_ENTHL")) {
    *h = *cp = kRmiss;
    return;
  }
  monitor_enthalpy(Phase::Liquid, T, P, x, ncomp, idx, ipropset, code, h, cp);
}

void PPMON_ENTHV(const double* T, const double* P, const double* x, const int32_t* ncomp,
                 const int32_t* idx, const int32_t* ipropset, const int32_t*, const int32_t*,
                 const int32_t* code, double* h, double* cp, int32_t*) {
  if (take_failure("PPMON_ENTHV")) {
    *h = *cp = kRmiss;
    return;
  }
  monitor_enthalpy(Phase::Vapour, T, P, x, ncomp, idx, ipropset, code, h, cp);
}

static void monitor_volume(Phase phase, const double* T, const double* P, const double* x,
                           const int32_t* ncomp, const int32_t* idx, const int32_t* ipropset,
                           double* v) {
  const r3::thermo::Model* m =
      (*ncomp >= 1 && *ncomp <= kMaxComponents)
          ? model_for(*ipropset, {idx, static_cast<size_t>(*ncomp)})
          : nullptr;
  const std::span<const double> xs(x, static_cast<size_t>(m ? *ncomp : 0));
  double vol = 0.0;
  *v = m != nullptr && composition_ok(xs) && usable(*T) && usable(*P) &&
               m->molar_volume(phase, *T, *P, xs, vol) != Status::Failed && std::isfinite(vol)
           ? vol
           : kRmiss;
}

void PPMON_VOLL(const double* T, const double* P, const double* x, const int32_t* ncomp,
                const int32_t* idx, const int32_t* ipropset, const int32_t*, const int32_t*,
                double* v, double*, int32_t*) {
  if (take_failure("PPMON_VOLL")) {
    *v = kRmiss;
    return;
  }
  monitor_volume(Phase::Liquid, T, P, x, ncomp, idx, ipropset, v);
}

void PPMON_VOLV(const double* T, const double* P, const double* x, const int32_t* ncomp,
                const int32_t* idx, const int32_t* ipropset, const int32_t*, const int32_t*,
                double* v, double*, int32_t*) {
  if (take_failure("PPMON_VOLV")) {
    *v = kRmiss;
    return;
  }
  monitor_volume(Phase::Vapour, T, P, x, ncomp, idx, ipropset, v);
}

void RTO_ENSET(R3_RTO_SET_PARAMS, R3_RTO_SET_TAIL) {
  (void)pert, (void)fs, (void)ps, (void)pword, (void)z17, (void)z20, (void)work, (void)z23,
      (void)z24, (void)z25;
  property_set(Prop::Enthalpy, ncomp, phase, ipropset, idx, x, p, t, prop, ix, ip, it, iprop,
               action, m, k, IJROW, IJCOL, F, DFDY);
}

void RTO_VMSET(R3_RTO_SET_PARAMS, R3_RTO_SET_TAIL) {
  (void)pert, (void)fs, (void)ps, (void)pword, (void)z17, (void)z20, (void)work, (void)z23,
      (void)z24, (void)z25;
  property_set(Prop::Volume, ncomp, phase, ipropset, idx, x, p, t, prop, ix, ip, it, iprop,
               action, m, k, IJROW, IJCOL, F, DFDY);
}

void RTO_CPSET(R3_RTO_SET_PARAMS, const double* z16, R3_RTO_SET_TAIL) {
  (void)pert, (void)fs, (void)ps, (void)z16, (void)pword, (void)z17, (void)z20, (void)work,
      (void)z23, (void)z24, (void)z25;
  property_set(Prop::HeatCapacity, ncomp, phase, ipropset, idx, x, p, t, prop, ix, ip, it, iprop,
               action, m, k, IJROW, IJCOL, F, DFDY);
}

void RTO_MWSET(const int32_t* ncomp, const int32_t* idx, const double* x, const double* mw,
               const int32_t* ix, const int32_t* imw, const int32_t*, const int32_t* action,
               int32_t* m, const int32_t*, int32_t* k, double*, const int32_t*, const int32_t*,
               const int32_t*, int32_t* IJROW, int32_t* IJCOL, double* F, double* DFDY) {
  const int n = *ncomp;
  if (n < 1 || n > kMaxComponents) return;
  // Molecular weight of list entry i (zero for an index outside the run).
  auto mw_of = [&](int i) {
    const int32_t c = idx[i];
    return c >= 1 && c <= run().ncomp() ? run().components[static_cast<size_t>(c - 1)]->mw : 0.0;
  };
  switch (*action) {
    case 2: {
      const int32_t row = ++*m;
      for (int i = 0; i < n; ++i) {
        IJROW[*k] = row;
        IJCOL[*k] = *ix + i;
        ++*k;
      }
      IJROW[*k] = row;
      IJCOL[*k] = *imw;
      ++*k;
      return;
    }
    case 3: {
      // Mean molecular weight of the (possibly unnormalised) composition.
      double sum = 0.0, s = 0.0;
      for (int i = 0; i < n; ++i) {
        sum += x[i];
        s += x[i] * mw_of(i);
      }
      F[*m] = sum != 0.0 ? s / sum - *mw : kRmiss;
      ++*m;
      return;
    }
    case 4: {
      double sum = 0.0, s = 0.0;
      for (int i = 0; i < n; ++i) {
        sum += x[i];
        s += x[i] * mw_of(i);
      }
      const double mean = sum != 0.0 ? s / sum : 0.0;
      for (int i = 0; i < n; ++i) {
        const double mwi = mw_of(i);
        DFDY[(*k)++] = sum != 0.0 ? (mwi - mean) / sum : 0.0;
      }
      DFDY[(*k)++] = -1.0;
      return;
    }
    default:
      return;
  }
}

void RTO_ENDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 3;
}
void RTO_VMDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 3;
}
void RTO_CPDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 3;
}
void RTO_MWDIM(const int32_t* ncomp, int32_t* nf, int32_t*, int32_t* nz) {
  *nf += 1;
  *nz += *ncomp + 1;
}

}  // extern "C"
