// The energy balance (U3_EBAL_*) and the stream equations of a pass-through
// block (U3S*), over the streams the four descriptors describe.
//
// Energy balance, one row "EBAL":
//   sum(F*H, material inlets) + sum(Q, information inlets)
//     - sum(F*H, material outlets) - sum(Q, information outlets) = 0
// with pattern entries per material stream (F, H) and per information stream
// (Q), inlets before outlets, in descriptor order.
//
// Stream equations, when the block has material streams: one balance per
// component ("SBAL_<component>"), a total-flow balance ("SBAL_TOTAL") and an
// adiabatic enthalpy balance ("SBAL_ENTHALPY"). For one material inlet, one
// material outlet and no information streams (a valve) the enthalpy balance
// is H_in - H_out = 0: the same solution as the flow-weighted form once the
// flows balance, but linear and well posed at zero flow. Otherwise it is the
// energy balance above.
#include <algorithm>
#include <string>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/descriptor.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace r3::host {
namespace {

struct Groups {
  const int32_t* d[4];  // material in, information in, material out, information out
  int32_t mi() const { return streams(d[0]); }
  int32_t ii() const { return streams(d[1]); }
  int32_t mo() const { return streams(d[2]); }
  int32_t io() const { return streams(d[3]); }
  bool has_material() const { return mi() + mo() > 0; }
  int32_t ncomp() const {
    if (valid(d[0]) && d[0][kCount] > 0) return d[0][kNcomp];
    if (valid(d[2]) && d[2][kCount] > 0) return d[2][kNcomp];
    return 0;
  }
  // Inlet groups (0, 1) count positive, outlet groups (2, 3) negative.
  static double sign(int g) { return g < 2 ? 1.0 : -1.0; }
  static bool material_group(int g) { return g == 0 || g == 2; }
};

Groups groups(const int32_t* dmi, const int32_t* dii, const int32_t* dmo, const int32_t* dio) {
  return Groups{{dmi, dii, dmo, dio}};
}

double scale(int which) {
  double s[7];
  U3GSCL(s);
  return s[which];
}

// --- Energy balance (flow-weighted) ---------------------------------------

int32_t ebal_nz(const Groups& g) {
  return 2 * (g.mi() + g.mo()) + g.ii() + g.io();
}

void ebal_pat(const Groups& g, int32_t row, int32_t* IJROW, int32_t* IJCOL, int32_t* k) {
  for (int gi = 0; gi < 4; ++gi) {
    const int32_t* d = g.d[gi];
    for (int s = 0; s < streams(d); ++s) {
      if (g.material_group(gi)) {
        const int nc = d[kNcomp];
        IJROW[*k] = row;
        IJCOL[*k] = ypos(d, s, 0) + 1;
        ++*k;
        IJROW[*k] = row;
        IJCOL[*k] = ypos(d, s, nc + 1) + 1;
        ++*k;
      } else {
        IJROW[*k] = row;
        IJCOL[*k] = ypos(d, s, 0) + 1;
        ++*k;
      }
    }
  }
}

double ebal_res(const Groups& g, const double* Y) {
  double r = 0.0;
  for (int gi = 0; gi < 4; ++gi) {
    const int32_t* d = g.d[gi];
    const double sg = Groups::sign(gi);
    for (int s = 0; s < streams(d); ++s) {
      if (g.material_group(gi)) {
        r += sg * Y[ypos(d, s, 0)] * Y[ypos(d, s, d[kNcomp] + 1)];
      } else {
        r += sg * Y[ypos(d, s, 0)];
      }
    }
  }
  return r;
}

void ebal_jac(const Groups& g, const double* Y, double* DFDY, int32_t* k) {
  for (int gi = 0; gi < 4; ++gi) {
    const int32_t* d = g.d[gi];
    const double sg = Groups::sign(gi);
    for (int s = 0; s < streams(d); ++s) {
      if (g.material_group(gi)) {
        DFDY[(*k)++] = sg * Y[ypos(d, s, d[kNcomp] + 1)];  // d/dF = H
        DFDY[(*k)++] = sg * Y[ypos(d, s, 0)];              // d/dH = F
      } else {
        DFDY[(*k)++] = sg;
      }
    }
  }
}

// --- Stream equations --------------------------------------------------------

bool simple_enthalpy(const Groups& g) {
  return g.mi() == 1 && g.mo() == 1 && g.ii() == 0 && g.io() == 0;
}

int32_t seq_rows(const Groups& g) {
  return g.has_material() ? g.ncomp() + 2 : 0;
}

int32_t seq_nz(const Groups& g) {
  if (!g.has_material()) return 0;
  return (g.ncomp() + 1) * (g.mi() + g.mo()) + (simple_enthalpy(g) ? 2 : ebal_nz(g));
}

}  // namespace
}  // namespace r3::host

using namespace r3::host;

#define R3_GROUPS_UNNAMED                                                                    \
  const int32_t *, const int32_t *, const int32_t *, const int32_t *, const int32_t *dmatin, \
      const int32_t *dinfin, const int32_t *dmatout, const int32_t *dinfout
#define R3_G groups(dmatin, dinfin, dmatout, dinfout)

extern "C" {

void U3_EBAL_NF(R3_GROUPS_UNNAMED, int32_t* nf) {
  (void)dmatin, (void)dinfin, (void)dmatout, (void)dinfout;
  *nf += 1;
}

void U3_EBAL_NZ(R3_GROUPS_UNNAMED, int32_t* nz) {
  *nz += ebal_nz(R3_G);
}

void U3_EBAL_NAM(R3_GROUPS_UNNAMED, const int32_t* idblk, const int32_t* lname, char* eqnnam,
                 int32_t* m) {
  (void)dmatin, (void)dinfin, (void)dmatout, (void)dinfout;
  write_name(idblk, "EBAL", *lname, eqnnam + 4 * static_cast<size_t>(*lname) * *m);
  ++*m;
}

void U3_EBAL_SCL(R3_GROUPS_UNNAMED, double* FSCL, int32_t* m) {
  (void)dmatin, (void)dinfin, (void)dmatout, (void)dinfout;
  if (FSCL[*m] == kRmiss) FSCL[*m] = scale(3);
  ++*m;
}

void U3_EBAL_PAT(R3_GROUPS_UNNAMED, int32_t* IJROW, int32_t* IJCOL, int32_t* m, int32_t* k) {
  ++*m;
  ebal_pat(R3_G, *m, IJROW, IJCOL, k);
}

void U3_EBAL_RES(R3_GROUPS_UNNAMED, const double* Y, double* F, int32_t* m) {
  F[*m] = ebal_res(R3_G, Y);
  ++*m;
}

void U3_EBAL_JAC(R3_GROUPS_UNNAMED, const double* Y, double* DFDY, int32_t* k) {
  ebal_jac(R3_G, Y, DFDY, k);
}

void U3SNF(R3_GROUPS_UNNAMED, int32_t* nf) {
  *nf += seq_rows(R3_G);
}

void U3SNNZ(R3_GROUPS_UNNAMED, int32_t* nz) {
  *nz += seq_nz(R3_G);
}

void U3SEL(R3_GROUPS_UNNAMED, const int32_t* idblk, const int32_t* lname, char* eqnnam,
           int32_t* m) {
  const Groups g = R3_G;
  if (!g.has_material()) return;
  const size_t slot = 4 * static_cast<size_t>(std::max(*lname, 0));
  auto put = [&](const std::string& text) {
    write_name(idblk, text, *lname, eqnnam + slot * static_cast<size_t>(*m));
    ++*m;
  };
  for (int i = 1; i <= g.ncomp(); ++i) put("SBAL_" + component_id(i));
  put("SBAL_TOTAL");
  put("SBAL_ENTHALPY");
}

void U3SETF(R3_GROUPS_UNNAMED, double* FSCL, int32_t* m) {
  const Groups g = R3_G;
  if (!g.has_material()) return;
  const double fs = scale(0);
  for (int i = 0; i <= g.ncomp(); ++i) {
    if (FSCL[*m] == kRmiss) FSCL[*m] = fs;
    ++*m;
  }
  if (FSCL[*m] == kRmiss) FSCL[*m] = simple_enthalpy(g) ? scale(2) : scale(3);
  ++*m;
}

void U3SPAT(R3_GROUPS_UNNAMED, int32_t* IJROW, int32_t* IJCOL, int32_t* m, int32_t* k) {
  const Groups g = R3_G;
  if (!g.has_material()) return;
  const int nc = g.ncomp();
  for (int r = 0; r <= nc; ++r) {
    const int v = r < nc ? 1 + r : 0;  // component flow, then total flow
    ++*m;
    for (int gi : {0, 2}) {
      for (int s = 0; s < streams(g.d[gi]); ++s) {
        IJROW[*k] = *m;
        IJCOL[*k] = ypos(g.d[gi], s, v) + 1;
        ++*k;
      }
    }
  }
  ++*m;
  if (simple_enthalpy(g)) {
    for (int gi : {0, 2}) {
      IJROW[*k] = *m;
      IJCOL[*k] = ypos(g.d[gi], 0, nc + 1) + 1;
      ++*k;
    }
  } else {
    ebal_pat(g, *m, IJROW, IJCOL, k);
  }
}

void U3SRES(R3_GROUPS_UNNAMED, const double* Y, double* F, int32_t* m) {
  const Groups g = R3_G;
  if (!g.has_material()) return;
  const int nc = g.ncomp();
  for (int r = 0; r <= nc; ++r) {
    const int v = r < nc ? 1 + r : 0;
    double res = 0.0;
    for (int s = 0; s < g.mi(); ++s) res += Y[ypos(g.d[0], s, v)];
    for (int s = 0; s < g.mo(); ++s) res -= Y[ypos(g.d[2], s, v)];
    F[(*m)++] = res;
  }
  F[(*m)++] =
      simple_enthalpy(g) ? Y[ypos(g.d[0], 0, nc + 1)] - Y[ypos(g.d[2], 0, nc + 1)] : ebal_res(g, Y);
}

void U3SJAC(R3_GROUPS_UNNAMED, const double* Y, double* DFDY, int32_t* k) {
  const Groups g = R3_G;
  if (!g.has_material()) return;
  for (int r = 0; r <= g.ncomp(); ++r) {
    for (int s = 0; s < g.mi(); ++s) DFDY[(*k)++] = 1.0;
    for (int s = 0; s < g.mo(); ++s) DFDY[(*k)++] = -1.0;
  }
  if (simple_enthalpy(g)) {
    DFDY[(*k)++] = 1.0;
    DFDY[(*k)++] = -1.0;
  } else {
    ebal_jac(g, Y, DFDY, k);
  }
}

void U3SPTX(R3_GROUPS_UNNAMED, const int32_t* nsstrm, const int32_t* /*issoff*/,
            const int32_t* isstyp, const int32_t* lstrm, const double* smatin, const double* sinfin,
            const double* smatout, const double* sinfout, const int32_t* imode, double* Y,
            double* YLB, double* YUB, double* YSCL, double* YSBND, int32_t* IYATTR) {
  const int32_t ncf = U3_MSTRM__NCF(nsstrm, isstyp);
  const int32_t ls = lstrm ? *lstrm : 0;
  if (ls < ncf + 9) {
    units::write(PPEXEC_USER[10], " U3SPTX: the stream vector length " + std::to_string(ls) +
                                      " is shorter than the " + std::to_string(ncf + 9) +
                                      " entries of a material stream; nothing mapped.");
    return;
  }
  // Values: a stream value that is missing leaves Y as it is.
  auto keep = [](double& y, double v) {
    if (v != kRmiss) y = v;
  };
  if (Y != nullptr) {
    for (auto [d, strm] : {std::pair{dmatin, smatin}, std::pair{dmatout, smatout}}) {
      if (strm == nullptr) continue;
      const int nc = valid(d) ? std::min(d[kNcomp], ncf) : 0;
      for (int s = 0; s < streams(d); ++s) {
        const double* v = strm + static_cast<ptrdiff_t>(s) * ls;
        keep(Y[ypos(d, s, 0)], v[ncf]);
        for (int i = 0; i < nc; ++i) keep(Y[ypos(d, s, 1 + i)], v[i]);
        const double hmass = v[ncf + 3], mw = v[ncf + 8];
        if (hmass != kRmiss && mw != kRmiss) keep(Y[ypos(d, s, d[kNcomp] + 1)], hmass * mw);
        keep(Y[ypos(d, s, d[kNcomp] + 2)], v[ncf + 2]);
      }
    }
    for (auto [d, strm] : {std::pair{dinfin, sinfin}, std::pair{dinfout, sinfout}}) {
      if (strm == nullptr) continue;
      for (int s = 0; s < streams(d); ++s) keep(Y[ypos(d, s, 0)], strm[s]);
    }
  }
  // Bounds, step bounds and scales where missing; types; fixed inlets.
  double sc[7];
  U3GSCL(sc);
  const double fs = sc[0], hs = sc[2], qs = sc[3], ps = sc[4];
  double lbf, ubf, sbf, lbh, ubh, sbh, lbp, ubp, sbp;
  const int32_t one = 1;
  U3_MSTRM_DEFBOUNDS(&one, dmatin, Y, &fs, &hs, &ps, &lbf, &ubf, &sbf, &lbh, &ubh, &sbh, &lbp, &ubp,
                     &sbp);
  const double lbq = -1.0e3 * qs, ubq = 1.0e3 * qs, sbq = 10.0 * qs;
  for (const int32_t* d : {dmatin, dmatout}) {
    if (!valid(d)) continue;
    if (YLB) U3_MSTRM_LB(d, &lbf, &lbh, &lbp, YLB);
    if (YUB) U3_MSTRM_UB(d, &ubf, &ubh, &ubp, YUB);
    if (YSBND) U3_MSTRM_SBND(d, &sbf, &sbh, &sbp, YSBND);
    if (YSCL) U3_MSTRM_SCL(d, &fs, &hs, &ps, YSCL);
    if (IYATTR) U3_MSTRM_PTYPE(d, IYATTR);
  }
  for (const int32_t* d : {dinfin, dinfout}) {
    if (!valid(d)) continue;
    if (YLB) U3_ISTRM_LB(d, &lbq, YLB);
    if (YUB) U3_ISTRM_UB(d, &ubq, YUB);
    if (YSBND) U3_ISTRM_SBND(d, &sbq, YSBND);
    if (YSCL) U3_ISTRM_SCL(d, &qs, YSCL);
    if (IYATTR) U3_ISTRM_PTYPE(d, IYATTR);
  }
  if (IYATTR != nullptr && imode != nullptr && *imode == 0) {
    if (valid(dmatin)) U3_MSTRM_FIX(dmatin, IYATTR);
    if (valid(dinfin)) U3_ISTRM_FIX(dinfin, IYATTR);
  }
}

}  // extern "C"
