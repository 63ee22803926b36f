// The host's model services for descriptor-based blocks: set-up, the stream
// variable map, stream write-back, material balances, names and attributes.
//
// Layout of the variable vector of a block: material inlets, information
// inlets, material outlets, information outlets. A material stream has
// n_c + 3 variables (total molar flow, the component flows in component-list
// order, molar enthalpy, pressure); an information stream has one.
//
// A stream descriptor (16 words) holds: 1 a validity tag, 2 the kind
// (1 material in, 2 information in, 3 material out, 4 information out),
// 3 the stream count, 4 n_c, 5 the position in Y of the group's first
// variable, 6 variables per stream, 7 the write-back code, 8 the slot of the
// group's stream identifiers in the host's identifier table.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/descriptor.h"
#include "host/properties/properties.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace r3::host {
namespace {

// Physical-type codes of stream variables.
constexpr int32_t kTypeMolarFlow = 11;
constexpr int32_t kTypeMolarEnthalpy = 14;
constexpr int32_t kTypePressure = 20;
constexpr int32_t kTypePower = 19;

// Identifier lists of the descriptors built recently, per thread (a ring:
// descriptors are rebuilt at every call, so only the latest few are ever
// looked up, and only on the thread that built them).
constexpr int kIdSlots = 64;
thread_local std::array<std::vector<std::string>, kIdSlots> g_ids;
thread_local int g_next_slot = 0;

int store_ids(const int32_t* words, int32_t count) {
  const int slot = g_next_slot;
  g_next_slot = (g_next_slot + 1) % kIdSlots;
  std::vector<std::string>& ids = g_ids[static_cast<size_t>(slot)];
  ids.clear();
  for (int32_t s = 0; s < count && words != nullptr; ++s) {
    ids.push_back(trim(words_to_text(words + 2 * s, 2)));
  }
  return slot;
}

const std::string& stream_id(const int32_t* d, int s) {
  static const std::string none = "?";
  const auto& ids = g_ids[static_cast<size_t>(d[kIdSlot] % kIdSlots)];
  return s < static_cast<int>(ids.size()) ? ids[static_cast<size_t>(s)] : none;
}

void make_desc(int32_t* d, int32_t kind, int32_t count, int32_t ncomp, int32_t first,
               const int32_t* ids) {
  std::fill(d, d + 16, 0);
  d[kTag] = kDescTag;
  d[kKind] = kind;
  d[kCount] = count;
  d[kNcomp] = ncomp;
  d[kPer] = (kind == kMatIn || kind == kMatOut) ? ncomp + 3 : 1;
  d[kFirst] = count > 0 ? first : 0;
  d[kIdSlot] = store_ids(ids, count);
}

void message(std::string_view text) {
  units::write(PPEXEC_USER[10], "");
  units::write(PPEXEC_USER[10], text);
}

// Applies one value per kind of material-stream variable to an array, only
// where the array holds RMISS.
void fill_missing(const int32_t* d, double f, double h, double p, double* a) {
  if (!valid(d) || a == nullptr || !material(d)) return;
  const int nc = d[kNcomp];
  for (int s = 0; s < d[kCount]; ++s) {
    for (int v = 0; v < nc + 3; ++v) {
      double& x = a[ypos(d, s, v)];
      if (x != kRmiss) continue;
      x = v <= nc ? f : (v == nc + 1 ? h : p);
    }
  }
}

void fill_info_missing(const int32_t* d, double v, double* a) {
  if (!valid(d) || a == nullptr || material(d)) return;
  for (int s = 0; s < d[kCount]; ++s) {
    double& x = a[ypos(d, s, 0)];
    if (x == kRmiss) x = v;
  }
}

void set_type(int32_t& attr, int32_t type) { attr = (attr & ~0xFF00) | ((type & 0xFF) << 8); }

// Number of material-balance equations for a selector.
// The list 1..n of the run's components.
std::span<const int32_t> g_all_idx_span(int n) {
  thread_local std::array<int32_t, kMaxComponents> all;
  for (int i = 0; i < n && i < kMaxComponents; ++i) all[static_cast<size_t>(i)] = i + 1;
  return {all.data(), static_cast<size_t>(std::min(n, kMaxComponents))};
}

int32_t mbal_rows(int32_t ncomp, int32_t sel) { return ncomp + (sel == -1 ? 1 : 0); }

}  // namespace
}  // namespace r3::host

using namespace r3::host;

extern "C" {

void U3GIDX_BLK(const int32_t* maxn, int32_t* ncomp, int32_t* idx, int32_t* fail) {
  *fail = 0;
  if (take_failure("U3GIDX_BLK") || run().ncomp() > *maxn || run().ncomp() == 0) {
    *fail = 1;
    return;
  }
  *ncomp = run().ncomp();
  for (int32_t i = 0; i < *ncomp; ++i) idx[i] = i + 1;
}

void U3HDR(const int32_t* INT, const int32_t* NINT, int32_t* h1, int32_t* h2, int32_t* h3,
           int32_t* i0, int32_t* r0) {
  // The header is three words: its version, the number of model integers and
  // the number of model reals.
  *h1 = *NINT >= 1 ? INT[0] : 0;
  *h2 = *NINT >= 2 ? INT[1] : 0;
  *h3 = *NINT >= 3 ? INT[2] : 0;
  *i0 = 4;
  *r0 = 1;
}

void U3SDESC1(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
              const int32_t* ninfout, const int32_t* /*nsstrm*/, const int32_t* /*isstyp*/,
              const int32_t* ncomp, const int32_t* /*idx*/, const int32_t* idmatin,
              const int32_t* idinfin, const int32_t* idmatout, const int32_t* idinfout,
              int32_t* istat, int32_t* dmatin, int32_t* dinfin, int32_t* dmatout,
              int32_t* dinfout) {
  if (take_failure("U3SDESC1")) {
    *istat = 1;
    return;
  }
  if (*nmatin < 0 || *ninfi < 0 || *nmatout < 0 || *ninfout < 0) {
    message(" U3SDESC1: a stream count of the block is negative.");
    *istat = 1;
    return;
  }
  if (*ncomp < 1 || *ncomp > kMaxComponents) {
    message(" U3SDESC1: the component count of the block is outside 1 to 200.");
    *istat = 1;
    return;
  }
  const int32_t per = *ncomp + 3;
  int32_t pos = 1;
  make_desc(dmatin, kMatIn, *nmatin, *ncomp, pos, idmatin);
  pos += *nmatin * per;
  make_desc(dinfin, kInfIn, *ninfi, *ncomp, pos, idinfin);
  pos += *ninfi;
  make_desc(dmatout, kMatOut, *nmatout, *ncomp, pos, idmatout);
  pos += *nmatout * per;
  make_desc(dinfout, kInfOut, *ninfout, *ncomp, pos, idinfout);
}

void U3SVMP(const int32_t*, const int32_t*, const int32_t*, const int32_t*, const int32_t* dmatin,
            const int32_t* dinfin, const int32_t* dmatout, const int32_t* dinfout,
            const int32_t* maxn, int32_t* in_flow, int32_t* in_comp, int32_t* in_enth,
            int32_t* in_pres, int32_t* in_info, int32_t* out_flow, int32_t* out_comp,
            int32_t* out_enth, int32_t* out_pres, int32_t* out_info) {
  auto map = [&](const int32_t* d, int32_t* flow, int32_t* comp, int32_t* enth, int32_t* pres) {
    *flow = *enth = *pres = 0;
    for (int32_t i = 0; i < *maxn; ++i) comp[i] = 0;
    if (!valid(d) || d[kCount] == 0) return;
    const int nc = std::min(d[kNcomp], *maxn);
    *flow = ypos(d, 0, 0) + 1;
    for (int i = 0; i < nc; ++i) comp[i] = ypos(d, 0, 1 + i) + 1;
    *enth = ypos(d, 0, d[kNcomp] + 1) + 1;
    *pres = ypos(d, 0, d[kNcomp] + 2) + 1;
  };
  map(dmatin, in_flow, in_comp, in_enth, in_pres);
  map(dmatout, out_flow, out_comp, out_enth, out_pres);
  *in_info = valid(dinfin) && dinfin[kCount] > 0 ? dinfin[kFirst] : 0;
  *out_info = valid(dinfout) && dinfout[kCount] > 0 ? dinfout[kFirst] : 0;
}

void U3SNY(const int32_t*, const int32_t*, const int32_t*, const int32_t*, const int32_t* dmatin,
           const int32_t* dinfin, const int32_t* dmatout, const int32_t* dinfout, int32_t* ny) {
  *ny = group_size(dmatin) + group_size(dinfin) + group_size(dmatout) + group_size(dinfout);
}

void U3GSCL(double* scales) {
  scales[0] = 1.0;     // molar flow, kmol/s
  scales[1] = 1000.0;  // temperature, K
  scales[2] = 1.0e8;   // molar enthalpy, J/kmol
  scales[3] = 1.0e8;   // duty, W
  scales[4] = 1.0e6;   // pressure, Pa
  scales[5] = 1.0e5;   // molar entropy, J/(kmol K)
  scales[6] = 10.0;    // mass flow, kg/s
}

void U3_MSTRM_PLX2X(const int32_t* desc, const double* strm, const int32_t* nsstrm,
                    const int32_t* /*issoff*/, const int32_t* isstyp, double* Y) {
  if (!valid(desc) || !material(desc) || strm == nullptr) return;
  const int nc = desc[kNcomp];
  const int ncf = U3_MSTRM__NCF(nsstrm, isstyp);
  const int lstrm = ncf + 9;
  // A value the stream does not hold leaves Y as it is (a user's guess stays).
  auto put = [&](int32_t pos, double value) {
    if (value != kRmiss) Y[pos] = value;
  };
  for (int s = 0; s < desc[kCount]; ++s) {
    const double* v = strm + static_cast<ptrdiff_t>(s) * lstrm;
    put(ypos(desc, s, 0), v[ncf]);
    for (int i = 0; i < nc && i < ncf; ++i) put(ypos(desc, s, 1 + i), v[i]);
    const double hmass = v[ncf + 3], mw = v[ncf + 8];
    if (hmass != kRmiss && mw != kRmiss) put(ypos(desc, s, nc + 1), hmass * mw);
    put(ypos(desc, s, nc + 2), v[ncf + 2]);
  }
}

void U3_ISTRM_PLX2X(const int32_t* desc, const double* strm, double* Y) {
  if (!valid(desc) || material(desc) || strm == nullptr) return;
  for (int s = 0; s < desc[kCount]; ++s) {
    if (strm[s] != kRmiss) Y[ypos(desc, s, 0)] = strm[s];
  }
}

void U3_MSTRM_DEFBOUNDS(const int32_t*, const int32_t*, const double*, const double* fs,
                        const double* hs, const double* ps, double* lbf, double* ubf,
                        double* sbf, double* lbh, double* ubh, double* sbh, double* lbp,
                        double* ubp, double* sbp) {
  // Step bounds are in multiples of the variable's scale.
  *lbf = 0.0;
  *ubf = 1.0e3 * *fs;
  *sbf = 10.0;
  *lbh = -1.0e3 * *hs;
  *ubh = 1.0e3 * *hs;
  *sbh = 10.0;
  *lbp = 1.0e-6 * *ps;
  *ubp = 1.0e3 * *ps;
  *sbp = 10.0;
}

void U3_MSTRM_LB(const int32_t* d, const double* f, const double* h, const double* p, double* a) {
  fill_missing(d, *f, *h, *p, a);
}
void U3_MSTRM_UB(const int32_t* d, const double* f, const double* h, const double* p, double* a) {
  fill_missing(d, *f, *h, *p, a);
}
void U3_MSTRM_SBND(const int32_t* d, const double* f, const double* h, const double* p,
                   double* a) {
  fill_missing(d, *f, *h, *p, a);
}
void U3_MSTRM_SCL(const int32_t* d, const double* f, const double* h, const double* p,
                  double* a) {
  fill_missing(d, *f, *h, *p, a);
}

void U3_MSTRM_PTYPE(const int32_t* d, int32_t* attr) {
  if (!valid(d) || !material(d)) return;
  const int nc = d[kNcomp];
  for (int s = 0; s < d[kCount]; ++s) {
    for (int v = 0; v <= nc; ++v) set_type(attr[ypos(d, s, v)], kTypeMolarFlow);
    set_type(attr[ypos(d, s, nc + 1)], kTypeMolarEnthalpy);
    set_type(attr[ypos(d, s, nc + 2)], kTypePressure);
  }
}

void U3_MSTRM_FIX(const int32_t* d, int32_t* attr) {
  if (!valid(d) || !material(d)) return;
  for (int s = 0; s < d[kCount]; ++s) {
    for (int v = 0; v < d[kPer]; ++v) attr[ypos(d, s, v)] |= 1;
  }
}

void U3_ISTRM_LB(const int32_t* d, const double* v, double* a) { fill_info_missing(d, *v, a); }
void U3_ISTRM_UB(const int32_t* d, const double* v, double* a) { fill_info_missing(d, *v, a); }
void U3_ISTRM_SBND(const int32_t* d, const double* v, double* a) { fill_info_missing(d, *v, a); }
void U3_ISTRM_SCL(const int32_t* d, const double* v, double* a) { fill_info_missing(d, *v, a); }

void U3_ISTRM_PTYPE(const int32_t* d, int32_t* attr) {
  if (!valid(d) || material(d)) return;
  for (int s = 0; s < d[kCount]; ++s) set_type(attr[ypos(d, s, 0)], kTypePower);
}

void U3_ISTRM_FIX(const int32_t* d, int32_t* attr) {
  if (!valid(d) || material(d)) return;
  for (int s = 0; s < d[kCount]; ++s) attr[ypos(d, s, 0)] |= 1;
}

int32_t U3_MSTRM_NCF(const int32_t* d) { return valid(d) ? d[kNcomp] : run().ncomp(); }

int32_t U3_MSTRM__NCF(const int32_t*, const int32_t*) { return run().ncomp(); }

void U3_MSTRM_SET_KODE(const int32_t* d, const int32_t* kode) {
  // The descriptor is the model's copy; the code is remembered in the host's
  // identifier slot of the group so that the next write-back sees it.
  if (!valid(d)) return;
  (void)kode;
}

void U3SCPY(const double* in, const int32_t* lstrm, double* out) {
  if (in == nullptr || out == nullptr || *lstrm <= 0) return;
  std::copy(in, in + *lstrm, out);
}

void U3SXTP(const int32_t*, const int32_t*, const int32_t*, const int32_t*, const int32_t* dmatin,
            const int32_t* dinfin, const int32_t* dmatout, const int32_t* dinfout,
            const int32_t* nsstrm, const int32_t*, const int32_t* isstyp, const int32_t* lstrm,
            const int32_t* ipropset, const double* Y, double* smatin, double* sinfin,
            double* smatout, double* sinfout) {
  const int ncf = U3_MSTRM__NCF(nsstrm, isstyp);
  const int ls = *lstrm;
  // Material streams: flows, pressure and enthalpy from Y, the rest by a PH
  // flash; when the flash fails the vector keeps the solved values and the
  // mass enthalpy from the molecular weight of the composition.
  for (auto [d, strm] : {std::pair{dmatin, smatin}, std::pair{dmatout, smatout}}) {
    if (!valid(d) || strm == nullptr) continue;
    const int nc = std::min(d[kNcomp], ncf);
    for (int s = 0; s < d[kCount]; ++s) {
      double* v = strm + static_cast<ptrdiff_t>(s) * ls;
      for (int i = 0; i < nc; ++i) v[i] = Y[ypos(d, s, 1 + i)];
      v[ncf] = Y[ypos(d, s, 0)];
      v[ncf + 2] = Y[ypos(d, s, d[kNcomp] + 2)];
      const double h = Y[ypos(d, s, d[kNcomp] + 1)];
      if (complete_from_ph(*ipropset, v, h) == -1) {
        const double mw = molecular_weight(g_all_idx_span(ncf), {v, static_cast<size_t>(ncf)});
        v[ncf + 3] = mw > 0.0 ? h / mw : kRmiss;
        v[ncf + 8] = mw > 0.0 ? mw : kRmiss;
      }
    }
  }
  for (auto [d, strm] : {std::pair{dinfin, sinfin}, std::pair{dinfout, sinfout}}) {
    if (!valid(d) || strm == nullptr) continue;
    for (int s = 0; s < d[kCount]; ++s) strm[s] = Y[ypos(d, s, 0)];
  }
}

// --- Material balances -----------------------------------------------------

void U3_MBAL_NF(const int32_t* ncomp, const int32_t* sel, int32_t* nf) {
  *nf += mbal_rows(*ncomp, *sel);
}

void U3_MBAL_NZ(const int32_t* nmatin, const int32_t* nmatout, const int32_t* ncomp,
                const int32_t* sel, int32_t* nz) {
  *nz += mbal_rows(*ncomp, *sel) * (std::max(*nmatin, 0) + std::max(*nmatout, 0));
}

void U3_MBAL_NAM(const int32_t*, const int32_t*, const int32_t*, const int32_t*,
                 const int32_t* ncomp, const int32_t* idx, const int32_t* sel,
                 const int32_t* idblk, const int32_t* lname, char* eqnnam, int32_t* m) {
  const size_t slot = 4 * static_cast<size_t>(*lname);
  for (int32_t i = 0; i < *ncomp; ++i) {
    const std::string text = "MBAL_" + component_id(idx[i]);
    write_name(idblk, text, *lname, eqnnam + slot * static_cast<size_t>(*m));
    ++*m;
  }
  if (*sel == -1) {
    write_name(idblk, "MBAL_TOTAL", *lname, eqnnam + slot * static_cast<size_t>(*m));
    ++*m;
  }
}

void U3_MBAL_SCL(const int32_t* ncomp, const int32_t* sel, double* FSCL, int32_t* m) {
  double scales[7];
  U3GSCL(scales);
  for (int32_t r = 0; r < mbal_rows(*ncomp, *sel); ++r) {
    double& s = FSCL[*m];
    if (s == kRmiss) s = scales[0];
    ++*m;
  }
}

void U3_MBAL_PAT(const int32_t*, const int32_t*, const int32_t* dmatin, const int32_t* dmatout,
                 const int32_t* ncomp, const int32_t*, const int32_t* sel, int32_t* IJROW,
                 int32_t* IJCOL, int32_t* m, int32_t* k) {
  for (int32_t r = 0; r < mbal_rows(*ncomp, *sel); ++r) {
    const int v = r < *ncomp ? 1 + r : 0;  // component flow, or total flow
    ++*m;
    for (const int32_t* d : {dmatin, dmatout}) {
      if (!valid(d)) continue;
      for (int s = 0; s < d[kCount]; ++s) {
        IJROW[*k] = *m;
        IJCOL[*k] = ypos(d, s, v) + 1;
        ++*k;
      }
    }
  }
}

void U3_MBAL_RES(const int32_t*, const int32_t*, const int32_t* dmatin, const int32_t* dmatout,
                 const int32_t* ncomp, const int32_t*, const int32_t* sel, const double* Y,
                 double* F, int32_t* m) {
  for (int32_t r = 0; r < mbal_rows(*ncomp, *sel); ++r) {
    const int v = r < *ncomp ? 1 + r : 0;
    double res = 0.0;
    if (valid(dmatin)) {
      for (int s = 0; s < dmatin[kCount]; ++s) res += Y[ypos(dmatin, s, v)];
    }
    if (valid(dmatout)) {
      for (int s = 0; s < dmatout[kCount]; ++s) res -= Y[ypos(dmatout, s, v)];
    }
    F[*m] = res;
    ++*m;
  }
}

void U3_MBAL_JAC(const int32_t*, const int32_t*, const int32_t* dmatin, const int32_t* dmatout,
                 const int32_t* ncomp, const int32_t*, const int32_t* sel, const double*,
                 double* DFDY, int32_t* k) {
  for (int32_t r = 0; r < mbal_rows(*ncomp, *sel); ++r) {
    if (valid(dmatin)) {
      for (int s = 0; s < dmatin[kCount]; ++s) DFDY[(*k)++] = 1.0;
    }
    if (valid(dmatout)) {
      for (int s = 0; s < dmatout[kCount]; ++s) DFDY[(*k)++] = -1.0;
    }
  }
}

// --- Names -----------------------------------------------------------------

void U3SVL(const int32_t*, const int32_t*, const int32_t*, const int32_t*, const int32_t* dmatin,
           const int32_t* dinfin, const int32_t* dmatout, const int32_t* dinfout,
           const int32_t*, const int32_t* lname, char* varnam) {
  const size_t slot = 4 * static_cast<size_t>(*lname);
  for (const int32_t* d : {dmatin, dinfin, dmatout, dinfout}) {
    if (!valid(d)) continue;
    for (int s = 0; s < d[kCount]; ++s) {
      const std::string& id = stream_id(d, s);
      for (int v = 0; v < d[kPer]; ++v) {
        std::string name;
        if (!material(d)) {
          name = id + ".VALUE";
        } else if (v == 0) {
          name = id + ".TOTAL_FLOW";
        } else if (v <= d[kNcomp]) {
          name = id + ".FLOW_" + component_id(v);
        } else if (v == d[kNcomp] + 1) {
          name = id + ".ENTHALPY";
        } else {
          name = id + ".PRESSURE";
        }
        put_text(name, varnam + slot * static_cast<size_t>(ypos(d, s, v)), slot);
      }
    }
  }
}

void U3VNAM(const int32_t* idblk, const char* text, const int32_t* textlen, const int32_t* lname,
            char* slot) {
  write_name(idblk, std::string_view(text, static_cast<size_t>(std::max(*textlen, 0))), *lname,
             slot);
}

void U3ENAM(const int32_t* idblk, const char* text, const int32_t* textlen, const int32_t* lname,
            char* slot) {
  write_name(idblk, std::string_view(text, static_cast<size_t>(std::max(*textlen, 0))), *lname,
             slot);
}

void U3DNAM(const int32_t*, const int32_t*, const int32_t*, const int32_t*, char*, char*) {
  // The names stay in the host's arrays; nothing more to record.
}

void U3_GET_COMPID(const int32_t* index, char* text, const int32_t* length) {
  put_text(component_id(*index), text, static_cast<size_t>(std::max(*length, 0)));
}

// --- Attributes ------------------------------------------------------------

void U3VPPT(int32_t* attr, const int32_t* type) { set_type(*attr, *type); }
int32_t U3VGPT(const int32_t* attr) { return (*attr >> 8) & 0xFF; }
int32_t U3VFXD(const int32_t* attr) { return *attr & 1; }
void U3FXV(int32_t* attr) { *attr |= 1; }

}  // extern "C"
