#include "framework/entry_protocol.h"

#include <algorithm>

#include "framework/host_services.h"

namespace r3 {

bool setup_components(Entry& e, Setup& s) {
  int32_t maxn = kMaxComponents;
  int32_t fail = 0;
  U3GIDX_BLK(&maxn, &s.ncomp, s.idx, &fail);
  if (fail != 0 || s.ncomp < 1 || s.ncomp > kMaxComponents) {
    *e.ISTAT = 1;
    return false;
  }
  return true;
}

void setup_header(Entry& e, Setup& s) { U3HDR(e.INT, e.NINT, &s.h1, &s.h2, &s.h3, &s.i0, &s.r0); }

bool setup_streams(Entry& e, Setup& s) {
  // The descriptors' own status: a status the host passed in is not theirs.
  int32_t status = 0;
  U3SDESC1(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, e.NSSTRM, e.ISSTYP, &s.ncomp, s.idx,
           e.IDMATIN, e.IDINFIN, e.IDMATOUT, e.IDINFOUT, &status, s.dmatin, s.dinfin, s.dmatout,
           s.dinfout);
  if (status != 0) {
    *e.ISTAT = status;
    return false;
  }
  int32_t maxn = kMaxComponents;
  StreamMap& m = s.map;
  U3SVMP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, &maxn,
         &m.in_flow, m.in_comp, &m.in_enth, &m.in_pres, &m.in_info, &m.out_flow, m.out_comp,
         &m.out_enth, &m.out_pres, &m.out_info);
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
        &s.nstream);
  return true;
}

void setup_block_id(Entry& e) {
  RXN_IBLKID[0] = e.IDBLK[0];
  RXN_IBLKID[1] = e.IDBLK[1];
}

void setup_scales(Setup& s) { U3GSCL(s.scales); }

namespace {

void name_scales(const double* scales, Scales& named) {
  named.Fs = scales[0];
  named.Ts = scales[1];
  named.Hs = scales[2];
  named.Qs = scales[3];
  named.Ps = scales[4];
}

}  // namespace

void setup_scales(Setup& s, Scales& named) {
  setup_scales(s);
  name_scales(s.scales, named);
}

void setup_scales(Scales& named) {
  double scales[7];
  U3GSCL(scales);
  name_scales(scales, named);
}

void material_stream_defaults(Entry& e, Setup& s, const int32_t* desc, double fs, double hs,
                              double ps) {
  double lb[3], ub[3], sb[3];
  U3_MSTRM_DEFBOUNDS(&s.nstream, desc, e.Y, &fs, &hs, &ps, &lb[0], &ub[0], &sb[0], &lb[1], &ub[1],
                     &sb[1], &lb[2], &ub[2], &sb[2]);
  U3_MSTRM_LB(desc, &lb[0], &lb[1], &lb[2], e.YLB);
  U3_MSTRM_UB(desc, &ub[0], &ub[1], &ub[2], e.YUB);
  U3_MSTRM_SBND(desc, &sb[0], &sb[1], &sb[2], e.YSBND);
  U3_MSTRM_SCL(desc, &fs, &hs, &ps, e.YSCL);
  U3_MSTRM_PTYPE(desc, e.IYATTR);
}

void info_stream_defaults(Entry& e, const int32_t* desc, double lower, double upper, double step,
                          double scale) {
  U3_ISTRM_LB(desc, &lower, e.YLB);
  U3_ISTRM_UB(desc, &upper, e.YUB);
  U3_ISTRM_SBND(desc, &step, e.YSBND);
  U3_ISTRM_SCL(desc, &scale, e.YSCL);
  U3_ISTRM_PTYPE(desc, e.IYATTR);
}

int32_t name_stream_variables(Entry& e, const Setup& s) {
  U3SVL(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.IDBLK,
        e.LNAME, e.VARNAM);
  int32_t n = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, &n);
  return n;
}

void hand_over_names(Entry& e, int32_t nvar, int32_t neqn) {
  U3DNAM(e.IDBLK, e.LNAME, &nvar, &neqn, e.VARNAM, e.EQNNAM);
}

void inlet_streams(Entry& e, Setup& s, const Scales& sc, int32_t imode,
                   const InletPower* power) {
  const bool info = power != nullptr && *e.NINFI == 1;
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  if (info) U3_ISTRM_PLX2X(s.dinfin, e.SINFIN, e.Y);
  material_stream_defaults(e, s, s.dmatin, sc.Fs, sc.Hs, sc.Ps);
  if (info) {
    const double w = power->scale;
    info_stream_defaults(e, s.dinfin, -10000.0 * w, 10000.0 * w, power->step, w);
  }
  if (imode == 0) {
    U3_MSTRM_FIX(s.dmatin, e.IYATTR);
    if (info) U3_ISTRM_FIX(s.dinfin, e.IYATTR);
  }
}

void block_variable_defaults(Entry& e, int32_t pos, double value, const VariableDefaults& d) {
  const int32_t j = pos - 1;
  if (hs::is_missing(e.Y[j])) e.Y[j] = value;
  if (hs::is_missing(e.YLB[j])) e.YLB[j] = d.lower;
  if (hs::is_missing(e.YUB[j])) e.YUB[j] = d.upper;
  if (hs::is_missing(e.YSBND[j])) e.YSBND[j] = 1.0;
  if (hs::is_missing(e.YSCL[j])) e.YSCL[j] = d.scale;
  hs::set_type(e.IYATTR[j], d.type);
}

void write_streams(Entry& e, const Setup& s) {
  U3SXTP(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
         e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.IPROPSET, e.Y, e.SMATIN, e.SINFIN, e.SMATOUT,
         e.SINFOUT);
}

int32_t int_param(const Entry& e, int32_t pos) {
  return (pos >= 1 && pos <= *e.NINT) ? e.INT[pos - 1] : hs::imiss();
}

double real_param(const Entry& e, int32_t pos) {
  return (pos >= 1 && pos <= *e.NREAL) ? e.REAL[pos - 1] : hs::rmiss();
}

namespace {

// The fault of more than one information stream where the model takes one
// at most (where: "inlet of the block.", "outlet of the block." or "the
// block (total)." for both sides together).
CheckFault more_than_one_information_stream(std::string_view where) {
  return {"There may not be more than one information stream connected to the", std::string(where)};
}

}  // namespace

CheckFault connection_fault(const Entry& e, InfoStreams info) {
  if (*e.NMATIN != 1) {
    return {"There must be exactly one material stream connected to the inlet of", "the block."};
  }
  if (*e.NMATOUT != 1) {
    return {"There must be exactly one material stream connected to the outlet of", "the block."};
  }
  if (*e.NINFI > info.inlet) {
    return info.inlet == 0 ? CheckFault{"Inlet information streams are not allowed."}
                           : more_than_one_information_stream("inlet of the block.");
  }
  if (*e.NINFOUT > info.outlet) {
    return info.outlet == 0 ? CheckFault{"Outlet information streams are not allowed."}
                            : more_than_one_information_stream("outlet of the block.");
  }
  if (*e.NINFI + *e.NINFOUT > 1) return more_than_one_information_stream("the block (total).");
  return {};
}

CheckFault switch_fault(std::string_view name) {
  const std::string n(name);
  return {"Invalid value entered for " + n + ". " + n + " must be either 0 or 1."};
}

CheckFault range_fault(std::string_view name, int least, int most) {
  const std::string n(name);
  return {"Invalid value entered for " + n + ". " + n + " must be between " +
          std::to_string(least) + " and " + std::to_string(most) + "."};
}

CheckFault component_count_fault() {
  return {"The total number of non-zero components must be between 1 and " +
          std::to_string(kMaxComponents) + "."};
}

int32_t check_status(std::string_view routine, const CheckFault& f) {
  if (f.first.empty()) return 0;
  hs::msg("");
  hs::msg(" ERROR in subroutine " + std::string(routine) + ":");
  hs::msg(std::string(6, ' ') + f.first);
  if (!f.second.empty()) hs::msg(std::string(6, ' ') + f.second);
  return 1;
}

bool fixed_values_and_passes_ok(const Entry& e, int32_t first, int32_t last,
                                std::initializer_list<int32_t> defaulted, int32_t npass,
                                std::string_view routine) {
  const std::string heading = "Error in " + std::string(routine) + ":";
  bool ok = true;
  for (int32_t p = first; p <= last; ++p) {
    if (std::find(defaulted.begin(), defaulted.end(), p) != defaulted.end()) continue;
    if (hs::fixed(e.IYATTR[p - 1]) && hs::is_missing(e.Y[p - 1])) {
      hs::message(heading, "Block variable number " + std::to_string(p) +
                               " is fixed but its value is missing.");
      ok = false;
    }
  }
  if (npass > 50) {
    hs::message(heading, "NPASS is more than 50.");
    ok = false;
  }
  return ok;
}

}  // namespace r3
