#include "framework/property_equations.h"

#include "framework/host_services.h"

namespace r3 {
namespace {

// The composition gathered from Y, and the sets' derivative work space, of
// one call.
struct Work {
  double comp[kMaxComponents];
  double work[4 * kMaxComponents + 16];
};

void gather(Work& w, const Entry& e, const int32_t* positions, int32_t n) {
  for (int32_t i = 0; i < n; ++i) w.comp[i] = e.Y[positions[i] - 1];
}

}  // namespace

void property_equation(Entry& e, const Setup& s, PropertySet set, int32_t phase,
                       const int32_t* comp, int32_t ip, int32_t it, int32_t iprop, double fs,
                       double ps, int32_t action, int32_t& m, int32_t& k) {
  int32_t ncomp = s.ncomp;
  Work w;
  gather(w, e, comp, ncomp);
  int32_t ix = comp[0];
  int32_t zero = 0;
  double rzero = 0.0, pert = 1e-6;
  int32_t* pword = &PPEXEC_USER[8];
  const double* Y = e.Y;
  switch (set) {
    case PropertySet::Enthalpy:
      RTO_ENSET(&ncomp, &phase, e.IPROPSET, s.idx, w.comp, &Y[ip - 1], &Y[it - 1], &Y[iprop - 1],
                &ix, &ip, &it, &iprop, &pert, &fs, &ps, pword, &zero, &action, &m, &zero, &k,
                w.work, &zero, &zero, &zero, e.IJROW, e.IJCOL, e.F, e.DFDY);
      return;
    case PropertySet::Volume:
      RTO_VMSET(&ncomp, &phase, e.IPROPSET, s.idx, w.comp, &Y[ip - 1], &Y[it - 1], &Y[iprop - 1],
                &ix, &ip, &it, &iprop, &pert, &fs, &ps, pword, &zero, &action, &m, &zero, &k,
                w.work, &zero, &zero, &zero, e.IJROW, e.IJCOL, e.F, e.DFDY);
      return;
    case PropertySet::HeatCapacity:
      RTO_CPSET(&ncomp, &phase, e.IPROPSET, s.idx, w.comp, &Y[ip - 1], &Y[it - 1], &Y[iprop - 1],
                &ix, &ip, &it, &iprop, &pert, &fs, &ps, &rzero, pword, &zero, &action, &m, &zero,
                &k, w.work, &zero, &zero, &zero, e.IJROW, e.IJCOL, e.F, e.DFDY);
      return;
    case PropertySet::MolecularWeight:
      return molecular_weight_equation(e, s, comp, iprop, action, m, k);
  }
}

void molecular_weight_equation(Entry& e, const Setup& s, const int32_t* comp, int32_t imw,
                               int32_t action, int32_t& m, int32_t& k) {
  int32_t ncomp = s.ncomp;
  Work w;
  gather(w, e, comp, ncomp);
  int32_t ix = comp[0];
  int32_t zero = 0;
  RTO_MWSET(&ncomp, s.idx, w.comp, &e.Y[imw - 1], &ix, &imw, &zero, &action, &m, &zero, &k, w.work,
            &zero, &zero, &zero, e.IJROW, e.IJCOL, e.F, e.DFDY);
}

}  // namespace r3
