// Example user models for the numeric layer: plain models that give their
// residuals (and, two of them, their sparsity pattern) but no Jacobian. The
// numeric layer R3NUML wraps them and supplies numerical derivatives. Copy
// this file to start a model of your own.
//
//   R3UMIX    mixer of two or more material streams (pattern, no Jacobian)
//   R3UHEAT   heater with a duty and a pressure drop (pattern, no Jacobian)
//   R3UPDROP  pipe with a pressure drop K*F^2 (neither pattern nor Jacobian)
//
// Each is called with the numeric layer's 80 arguments (R3_DEFINE_USER_MODEL).
// They use the host's stream services for their stream variables and
// material balances, so they work with any component list.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "framework/entry_protocol.h"
#include "framework/host_services.h"

namespace {

using r3::Entry;
using r3::Setup;

// Component list, streams, block identifier and scales.
bool set_up(Entry& e, Setup& s) {
  if (!r3::setup_components(e, s)) return false;
  r3::setup_header(e, s);
  if (!r3::setup_streams(e, s)) return false;
  r3::setup_block_id(e);
  r3::setup_scales(s);
  s.sel = -1;
  return true;
}

double& y(const Entry& e, int32_t pos) { return e.Y[pos - 1]; }

void name_equation(const Entry& e, int32_t m, std::string_view text) {
  r3::hs::enam(text, *e.LNAME, r3::name_slot(e.EQNNAM, *e.LNAME, m));
}

// Inlet variables into Y, and default bounds, step bounds, scales and
// types for every material stream.
void map_streams(const Entry& e, Setup& s) {
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  const double fs = s.scales[0], hs = s.scales[2], ps = s.scales[4];
  double lb[3], ub[3], sb[3];
  U3_MSTRM_DEFBOUNDS(&s.nstream, s.dmatin, e.Y, &fs, &hs, &ps, &lb[0], &ub[0], &sb[0], &lb[1],
                     &ub[1], &sb[1], &lb[2], &ub[2], &sb[2]);
  for (const int32_t* d : {s.dmatin, s.dmatout}) {
    U3_MSTRM_LB(d, &lb[0], &lb[1], &lb[2], e.YLB);
    U3_MSTRM_UB(d, &ub[0], &ub[1], &ub[2], e.YUB);
    U3_MSTRM_SBND(d, &sb[0], &sb[1], &sb[2], e.YSBND);
    U3_MSTRM_SCL(d, &fs, &hs, &ps, e.YSCL);
    U3_MSTRM_PTYPE(d, e.IYATTR);
  }
}

// Outlet initial values where missing: the inlets' flows summed, their
// mean enthalpy plus `duty`/flow, the first inlet's pressure minus `dp`.
void initial_outlet(const Entry& e, const Setup& s, double duty, double dp) {
  const r3::StreamMap& m = s.map;
  const int32_t per = s.ncomp + 3;
  double flow = 0.0, fh = 0.0;
  for (int32_t k = 0; k < *e.NMATIN; ++k) {
    flow += y(e, m.in_flow + k * per);
    fh += y(e, m.in_flow + k * per) * y(e, m.in_enth + k * per);
  }
  auto set = [&](int32_t pos, double v) {
    if (r3::hs::is_missing(y(e, pos))) y(e, pos) = v;
  };
  set(m.out_flow, flow);
  for (int32_t i = 0; i < s.ncomp; ++i) {
    double c = 0.0;
    for (int32_t k = 0; k < *e.NMATIN; ++k) c += y(e, m.in_comp[i] + k * per);
    set(m.out_comp[i], c);
  }
  set(m.out_enth, flow > 0.0 ? (fh + duty) / flow : y(e, m.in_enth));
  set(m.out_pres, y(e, m.in_pres) - dp);
}

void names_start(Entry& e, Setup& s, int32_t& m) {
  U3SVL(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.IDBLK,
        e.LNAME, e.VARNAM);
  m = 0;
  U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, RXN_IBLKID,
              e.LNAME, e.EQNNAM, &m);
}

// A request other than the dimension request is answered only for
// connections the model serves and with the host's arrays at the sizes the
// dimension request gives for them; otherwise (a host that went on after a
// refused dimension request, say) ISTAT = 1 and nothing is read or written.
bool arrays_fit(const Entry& e, bool served, int32_t ny, int32_t nf) {
  const int32_t kode = *e.KODE;
  if (kode != r3::KODE_NAMES && kode != r3::KODE_INIT && kode != r3::KODE_RESID &&
      kode != r3::KODE_JACOB && kode != r3::KODE_STRMUPD) {
    return true;
  }
  if (served && *e.NY == ny && *e.NF == nf) return true;
  *e.ISTAT = 1;
  return false;
}

// Only single-inlet, single-outlet material connections.
bool one_in_one_out(const Entry& e) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI == 0 && *e.NINFOUT == 0;
}

// --- R3UMIX ----------------------------------------------------------------

void mixer(Entry& e) {
  static Setup s;
  if (!set_up(e, s)) return;
  const r3::StreamMap& m = s.map;
  const bool served = *e.NMATIN >= 1 && *e.NMATOUT == 1 && *e.NINFI == 0 && *e.NINFOUT == 0;
  int32_t nf = 0, nz = 0;
  if (served) {
    U3_MBAL_NF(&s.ncomp, &s.sel, &nf);
    U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, &nz);
    U3_EBAL_NF(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
               &nf);
    U3_EBAL_NZ(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
               &nz);
    nf += 1;  // outlet pressure
    nz += 2;
  }
  if (!arrays_fit(e, served, s.nstream, nf)) return;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      if (!served) {
        r3::hs::write(r3::hs::message_unit(), " R3UMIX: one or more inlets and one outlet only");
        *e.ISTAT = 1;
        return;
      }
      *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
      *e.NY = s.nstream;
      *e.NF = nf;
      *e.NZ = nz;
      return;
    case r3::KODE_NAMES: {
      int32_t mm = 0;
      names_start(e, s, mm);
      U3_EBAL_NAM(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout,
                  s.dinfout, RXN_IBLKID, e.LNAME, e.EQNNAM, &mm);
      name_equation(e, ++mm, "OUTLET_PRESSURE");
      int32_t n = s.nstream;
      U3DNAM(e.IDBLK, e.LNAME, &n, &mm, e.VARNAM, e.EQNNAM);
      return;
    }
    case r3::KODE_INIT: {
      map_streams(e, s);
      initial_outlet(e, s, 0.0, 0.0);
      int32_t mm = 0, k = 0;
      U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &mm);
      U3_EBAL_SCL(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout,
                  s.dinfout, e.FSCL, &mm);
      if (r3::hs::is_missing(e.FSCL[mm])) e.FSCL[mm] = s.scales[4];
      mm = 0;
      U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW,
                  e.IJCOL, &mm, &k);
      U3_EBAL_PAT(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout,
                  s.dinfout, e.IJROW, e.IJCOL, &mm, &k);
      ++mm;
      e.IJROW[k] = mm, e.IJCOL[k++] = m.out_pres;
      e.IJROW[k] = mm, e.IJCOL[k++] = m.in_pres;
      return;
    }
    case r3::KODE_RESID: {
      int32_t mm = 0;
      U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F,
                  &mm);
      U3_EBAL_RES(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout,
                  s.dinfout, e.Y, e.F, &mm);
      e.F[mm] = y(e, m.out_pres) - y(e, m.in_pres);
      return;
    }
    case r3::KODE_STRMUPD:
      U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
             e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN,
             e.SMATOUT, e.SINFOUT);
      return;
    default:
      return;  // no Jacobian: the numeric layer supplies it
  }
}

// --- R3UHEAT ---------------------------------------------------------------

void heater(Entry& e) {
  static Setup s;
  if (!set_up(e, s)) return;
  const r3::StreamMap& m = s.map;
  const int32_t duty = s.nstream + 1, dp = s.nstream + 2;
  int32_t nf = 0;
  U3_MBAL_NF(&s.ncomp, &s.sel, &nf);
  nf += 2;  // energy and pressure
  if (!arrays_fit(e, one_in_one_out(e), s.nstream + 2, nf)) return;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      if (!one_in_one_out(e)) {
        r3::hs::write(r3::hs::message_unit(), " R3UHEAT: exactly one inlet and one outlet");
        *e.ISTAT = 1;
        return;
      }
      *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = *e.NZ = 0;
      *e.NY = s.nstream + 2;
      *e.NF = nf;
      U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, e.NZ);
      *e.NZ += 5 + 3;
      return;
    case r3::KODE_NAMES: {
      int32_t mm = 0;
      names_start(e, s, mm);
      r3::hs::vnam("DUTY", *e.LNAME, r3::name_slot(e.VARNAM, *e.LNAME, duty));
      r3::hs::vnam("DELTA_P", *e.LNAME, r3::name_slot(e.VARNAM, *e.LNAME, dp));
      name_equation(e, ++mm, "ENERGY");
      name_equation(e, ++mm, "PRESSURE_DROP");
      int32_t n = s.nstream + 2;
      U3DNAM(e.IDBLK, e.LNAME, &n, &mm, e.VARNAM, e.EQNNAM);
      return;
    }
    case r3::KODE_INIT: {
      map_streams(e, s);
      auto fill = [&](int32_t pos, double v, double lo, double hi, double scale, int32_t type) {
        double* a[] = {&e.Y[pos - 1], &e.YLB[pos - 1], &e.YUB[pos - 1], &e.YSCL[pos - 1],
                       &e.YSBND[pos - 1]};
        const double d[] = {v, lo, hi, scale, 10.0};
        for (int i = 0; i < 5; ++i) {
          if (r3::hs::is_missing(*a[i])) *a[i] = d[i];
        }
        r3::hs::set_type(e.IYATTR[pos - 1], type);
      };
      fill(duty, 0.0, -1.0e3 * s.scales[3], 1.0e3 * s.scales[3], s.scales[3] / 100.0, 13);
      fill(dp, 0.0, -1.0e3 * s.scales[4], 1.0e3 * s.scales[4], s.scales[4] / 10.0, 75);
      initial_outlet(e, s, y(e, duty), y(e, dp));
      int32_t mm = 0, k = 0;
      U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &mm);
      const double fscl[2] = {s.scales[3] / 100.0, s.scales[4] / 10.0};
      for (double f : fscl) {
        if (r3::hs::is_missing(e.FSCL[mm])) e.FSCL[mm] = f;
        ++mm;
      }
      mm = 0;
      U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW,
                  e.IJCOL, &mm, &k);
      ++mm;
      for (int32_t col : {m.in_flow, m.in_enth, m.out_flow, m.out_enth, duty}) {
        e.IJROW[k] = mm, e.IJCOL[k++] = col;
      }
      ++mm;
      for (int32_t col : {m.in_pres, m.out_pres, dp}) e.IJROW[k] = mm, e.IJCOL[k++] = col;
      return;
    }
    case r3::KODE_RESID: {
      int32_t mm = 0;
      U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F,
                  &mm);
      e.F[mm++] = y(e, m.in_flow) * y(e, m.in_enth) - y(e, m.out_flow) * y(e, m.out_enth) +
                  y(e, duty);
      e.F[mm++] = y(e, m.in_pres) - y(e, m.out_pres) - y(e, dp);
      return;
    }
    case r3::KODE_STRMUPD:
      U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
             e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN,
             e.SMATOUT, e.SINFOUT);
      return;
    default:
      return;
  }
}

// --- R3UPDROP --------------------------------------------------------------

void pressure_drop(Entry& e) {
  static Setup s;
  if (!set_up(e, s)) return;
  const r3::StreamMap& m = s.map;
  // Resistance K (Pa per (kmol/s)^2), the first real parameter.
  double k_res = r3::real_param(e, s.r0);
  if (r3::hs::is_missing(k_res)) k_res = 1.0e4;
  int32_t nf = 0;
  U3_MBAL_NF(&s.ncomp, &s.sel, &nf);
  nf += 2;
  if (!arrays_fit(e, one_in_one_out(e), s.nstream, nf)) return;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      if (!one_in_one_out(e)) {
        r3::hs::write(r3::hs::message_unit(), " R3UPDROP: exactly one inlet and one outlet");
        *e.ISTAT = 1;
        return;
      }
      *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
      *e.NY = s.nstream;
      *e.NF = nf;
      *e.NZ = 0;  // no pattern: the numeric layer finds it
      return;
    case r3::KODE_NAMES: {
      int32_t mm = 0;
      names_start(e, s, mm);
      name_equation(e, ++mm, "ADIABATIC");
      name_equation(e, ++mm, "PRESSURE_DROP");
      int32_t n = s.nstream;
      U3DNAM(e.IDBLK, e.LNAME, &n, &mm, e.VARNAM, e.EQNNAM);
      return;
    }
    case r3::KODE_INIT: {
      map_streams(e, s);
      const double f = y(e, m.in_flow);
      initial_outlet(e, s, 0.0, k_res * f * f);
      int32_t mm = 0;
      U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &mm);
      if (r3::hs::is_missing(e.FSCL[mm])) e.FSCL[mm] = s.scales[2] / 100.0;
      if (r3::hs::is_missing(e.FSCL[mm + 1])) e.FSCL[mm + 1] = s.scales[4] / 10.0;
      return;
    }
    case r3::KODE_RESID: {
      int32_t mm = 0;
      U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F,
                  &mm);
      const double f = y(e, m.in_flow);
      e.F[mm++] = y(e, m.out_enth) - y(e, m.in_enth);
      e.F[mm++] = y(e, m.out_pres) - y(e, m.in_pres) + k_res * f * f;
      return;
    }
    case r3::KODE_STRMUPD:
      U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
             e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN,
             e.SMATOUT, e.SINFOUT);
      return;
    default:
      return;
  }
}

}  // namespace

R3_DEFINE_USER_MODEL(R3UMIX, mixer)
R3_DEFINE_USER_MODEL(R3UHEAT, heater)
R3_DEFINE_USER_MODEL(R3UPDROP, pressure_drop)
