// The plant blocks' entries: set-up, input check, counts, names,
// initialisation, residuals, Jacobian, stream update and report.
//
// Rows of every block, in order: the host's material balances (one per
// component and the total flow), the phase-equilibrium set's rows (not for
// the splitter), then the block's own rows.
//
//   HEATER    the set flashes the inlet's flows and enthalpy at the outlet
//             pressure; its duty is the heater's duty, its temperature and
//             vapour fraction the outlet's. Own rows: the outlet enthalpy is
//             the set's mixture enthalpy, the pressure drop, and the heat
//             stream (in: its value is the duty; out: minus the duty).
//   VALVE_DP  the heater's rows with the duty held at zero.
//   FLASH     the set flashes the inlet at the drum pressure (the vapour
//             outlet's); the vapour outlet takes the set's vapour flow,
//             composition and enthalpy, the liquid outlet the rest (through
//             the component balances) at the liquid enthalpy; both outlets'
//             total flows are the set's vapour and liquid flows.
//   MIXER     the outlet's flows are the inlets' sum, its enthalpy the
//             energy balance; its pressure is the lowest inlet pressure less
//             DELTA_P (held at zero unless the outlet pressure is given); the
//             set gives the mixed outlet's temperature (its duty is zero).
//   SPLITTER  every outlet but the last takes its fraction of each inlet
//             flow; the last takes the rest through the material balances,
//             so each component is conserved by its own balance row; all
//             outlets leave at the inlet's enthalpy and pressure.
#include "blocks/plant.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"

namespace r3::plant {

const int32_t* State::set_flows() const {
  return kind == Kind::Mixer ? s.map.out_comp : s.map.in_comp;
}
int32_t State::set_enth() const { return kind == Kind::Mixer ? out_enth(0) : in_enth(0); }
int32_t State::set_pres() const { return out_pres(0); }

namespace {

State& state() {
  thread_local State st;
  return st;
}

// --- Set-up -----------------------------------------------------------------

bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  st.n = s.ncomp;
  st.per = st.n + 3;
  st.nin = *e.NMATIN, st.nout = *e.NMATOUT, st.ninfi = *e.NINFI, st.ninfout = *e.NINFOUT;
  if (st.nin < 0 || st.nout < 0 || st.ninfi < 0 || st.ninfout < 0) {
    *e.ISTAT = 1;
    return false;
  }
  if (!setup_streams(e, s)) return false;
  setup_block_id(e);
  // The drum sets both outlets' total flows from the set's phase flows, so
  // that in a recycle every total flow follows the component flows.
  s.sel = st.kind == Kind::Flash ? 0 : -1;
  setup_scales(s);
  st.Fs = s.scales[0], st.Ts = s.scales[1], st.Hs = s.scales[2], st.Ps = s.scales[4];
  st.has_set = st.kind != Kind::Splitter;
  st.own = s.nstream;
  st.nown = st.kind == Kind::Splitter ? std::max(st.nout, 0) : 1;
  st.set_start = st.own + st.nown;
  return true;
}

// --- Input check --------------------------------------------------------------

int32_t fail(const State& st, const std::string& what) {
  hs::message(std::string(st.entry) + ": " + what);
  return 1;
}

int32_t check(Entry& e, State& st) {
  switch (st.kind) {
    case Kind::Mixer:
      if (st.nin < 1) return fail(st, "the mixer has no inlets; connect at least one material inlet");
      if (st.nout != 1) return fail(st, "the mixer needs exactly one material outlet");
      if (st.ninfi + st.ninfout != 0) return fail(st, "the mixer takes no heat or work streams");
      return 0;
    case Kind::Splitter: {
      if (st.nin != 1) return fail(st, "the splitter needs exactly one material inlet");
      if (st.nout < 1) return fail(st, "the splitter has no outlets");
      if (st.ninfi + st.ninfout != 0) return fail(st, "the splitter takes no heat or work streams");
      const int32_t nr = *e.NREAL - st.s.r0 + 1;
      if (nr <= 0) return 0;
      if (nr != st.nout && nr != st.nout - 1) {
        return fail(st, "give " + std::to_string(st.nout) + " split fractions (one per outlet) or " +
                            std::to_string(st.nout - 1) + " (the last outlet takes the rest), not " +
                            std::to_string(nr));
      }
      double sum = 0.0;
      for (int32_t k = 0; k < nr; ++k) {
        const double f = real_param(e, st.s.r0 + k);
        if (!(f >= 0.0 && f <= 1.0)) {
          char b[96];
          std::snprintf(b, sizeof b, "split fraction %d is %.6g; fractions lie between 0 and 1",
                        k + 1, f);
          return fail(st, b);
        }
        sum += f;
      }
      if ((nr == st.nout && std::fabs(sum - 1.0) > 1e-9) || sum > 1.0 + 1e-9) {
        char b[96];
        std::snprintf(b, sizeof b, "the split fractions sum to %.9g; they must sum to 1", sum);
        return fail(st, b);
      }
      return 0;
    }
    case Kind::Flash:
      if (st.nin != 1 || st.nout != 2) {
        return fail(st, "the flash drum needs one material inlet and two outlets (vapour, then liquid)");
      }
      if (st.ninfi > 1 || st.ninfout != 0) return fail(st, "the flash drum takes at most one heat inlet");
      return 0;
    case Kind::Heater:
    case Kind::Valve:
      if (st.nin != 1 || st.nout != 1) {
        return fail(st, "the " + std::string(st.kind == Kind::Valve ? "valve" : "heater") +
                            " needs one material inlet and one material outlet");
      }
      if (st.kind == Kind::Valve && st.ninfi + st.ninfout != 0) {
        return fail(st, "the valve takes no heat or work streams");
      }
      if (st.ninfi + st.ninfout > 1) return fail(st, "the heater takes at most one heat stream");
      return 0;
  }
  return 0;
}

bool serves(Entry& e, State& st) { return check(e, st) == 0; }

// --- Rows ---------------------------------------------------------------------

// Name of component i (0-based) without blanks.
std::string comp_name(const State& st, int32_t i) {
  char id[8];
  const int32_t len = 8;
  U3_GET_COMPID(&st.s.idx[i], id, &len);
  std::string t;
  for (char c : id) {
    if (c != ' ' && c != '\0') t += c;
  }
  return t;
}

// The block's own rows after the set's.
void own_rows(EquationWriter& w, const State& st, bool names) {
  const int32_t n = st.n;
  const double Fs = st.Fs, Hs = st.Hs, Ps = st.Ps, Qs = st.Fs * st.Hs;
  const int32_t dp = st.own + 1;
  auto cname = [&](int32_t i) { return names ? comp_name(st, i) : std::string(); };
  const int32_t hmix = st.has_set ? st.lflow() + 4 : 0;
  const int32_t q = st.has_set ? st.duty() : 0;
  switch (st.kind) {
    case Kind::Heater:
    case Kind::Valve: {
      w.row("H_OUT", Hs, w.y(st.out_enth(0)) - w.y(hmix));
      w.at(st.out_enth(0), 1.0);
      w.at(hmix, -1.0);
      w.row("DP_DEF", Ps, w.y(st.in_pres(0)) - w.y(st.out_pres(0)) - w.y(dp));
      w.at(st.in_pres(0), 1.0);
      w.at(st.out_pres(0), -1.0);
      w.at(dp, -1.0);
      if (st.kind == Kind::Valve) {
        w.row("ISENTHALPIC", Qs, w.y(q));
        w.at(q, 1.0);
      }
      if (st.ninfi == 1) {
        w.row("HEAT_IN", Qs, w.y(st.s.map.in_info) - w.y(q));
        w.at(st.s.map.in_info, 1.0);
        w.at(q, -1.0);
      }
      if (st.ninfout == 1) {
        w.row("HEAT_OUT", Qs, w.y(st.s.map.out_info) + w.y(q));
        w.at(st.s.map.out_info, 1.0);
        w.at(q, 1.0);
      }
      return;
    }
    case Kind::Flash: {
      const int32_t V = st.vflow(), L = st.lflow();
      const double v = w.y(V);
      for (int32_t i = 0; i < n; ++i) {
        const int32_t fv = st.out_flow(0) + 1 + i, yi = st.y_frac(i);
        w.row("VAP_FLOW_" + cname(i), Fs, w.y(fv) - v * w.y(yi));
        w.at(fv, 1.0);
        w.at(V, -w.y(yi));
        w.at(yi, -v);
      }
      w.row("VAP_TOTAL", Fs, w.y(st.out_flow(0)) - v);
      w.at(st.out_flow(0), 1.0);
      w.at(V, -1.0);
      w.row("LIQ_TOTAL", Fs, w.y(st.out_flow(1)) - w.y(L));
      w.at(st.out_flow(1), 1.0);
      w.at(L, -1.0);
      w.row("H_VAP", Hs, w.y(st.out_enth(0)) - w.y(V + 1));
      w.at(st.out_enth(0), 1.0);
      w.at(V + 1, -1.0);
      w.row("H_LIQ", Hs, w.y(st.out_enth(1)) - w.y(L + 1));
      w.at(st.out_enth(1), 1.0);
      w.at(L + 1, -1.0);
      w.row("DP_DEF", Ps, w.y(st.in_pres(0)) - w.y(st.out_pres(0)) - w.y(dp));
      w.at(st.in_pres(0), 1.0);
      w.at(st.out_pres(0), -1.0);
      w.at(dp, -1.0);
      w.row("P_LIQ", Ps, w.y(st.out_pres(1)) - w.y(st.out_pres(0)));
      w.at(st.out_pres(1), 1.0);
      w.at(st.out_pres(0), -1.0);
      if (st.ninfi == 1) {
        w.row("HEAT_IN", Qs, w.y(st.s.map.in_info) - w.y(q));
        w.at(st.s.map.in_info, 1.0);
        w.at(q, -1.0);
      }
      return;
    }
    case Kind::Mixer: {
      const int32_t fo = st.out_flow(0), ho = st.out_enth(0);
      double r = w.y(fo) * w.y(ho);
      for (int k = 0; k < st.nin; ++k) r -= w.y(st.in_flow(k)) * w.y(st.in_enth(k));
      w.row("ENER_BAL", Qs, r);
      w.at(fo, w.y(ho));
      w.at(ho, w.y(fo));
      for (int k = 0; k < st.nin; ++k) {
        w.at(st.in_flow(k), -w.y(st.in_enth(k)));
        w.at(st.in_enth(k), -w.y(st.in_flow(k)));
      }
      // The lowest inlet pressure; inlets tied at it share its derivative
      // (the mean of the one-sided derivatives for two).
      int lo = 0;
      for (int k = 1; k < st.nin; ++k) {
        if (w.y(st.in_pres(k)) < w.y(st.in_pres(lo))) lo = k;
      }
      const double plo = w.y(st.in_pres(lo));
      auto tied = [&](int k) { return std::fabs(w.y(st.in_pres(k)) - plo) <= 1e-12 * std::fabs(plo); };
      int nties = 0;
      for (int k = 0; k < st.nin; ++k) nties += tied(k) ? 1 : 0;
      w.row("P_OUT", Ps, w.y(st.out_pres(0)) - plo + w.y(dp));
      w.at(st.out_pres(0), 1.0);
      for (int k = 0; k < st.nin; ++k) w.at(st.in_pres(k), tied(k) ? -1.0 / nties : 0.0);
      w.at(dp, 1.0);
      w.row("OUT_STATE", Qs, w.y(q));
      w.at(q, 1.0);
      return;
    }
    case Kind::Splitter: {
      const int32_t fin = st.in_flow(0);
      for (int k = 0; k + 1 < st.nout; ++k) {
        const int32_t fr = st.own + 1 + k;
        const std::string tag = "SPLIT_" + std::to_string(k + 1) + "_";
        for (int32_t i = 0; i < n; ++i) {
          const int32_t fo = st.out_flow(k) + 1 + i, fi = fin + 1 + i;
          w.row(names ? tag + cname(i) : std::string(), Fs, w.y(fo) - w.y(fr) * w.y(fi));
          w.at(fo, 1.0);
          w.at(fr, -w.y(fi));
          w.at(fi, -w.y(fr));
        }
        w.row(tag + "TOTAL", Fs, w.y(st.out_flow(k)) - w.y(fr) * w.y(fin));
        w.at(st.out_flow(k), 1.0);
        w.at(fr, -w.y(fin));
        w.at(fin, -w.y(fr));
      }
      for (int k = 0; k < st.nout; ++k) {
        const std::string tag = std::to_string(k + 1);
        w.row("H_OUT_" + tag, Hs, w.y(st.out_enth(k)) - w.y(st.in_enth(0)));
        w.at(st.out_enth(k), 1.0);
        w.at(st.in_enth(0), -1.0);
        w.row("P_OUT_" + tag, Ps, w.y(st.out_pres(k)) - w.y(st.in_pres(0)));
        w.at(st.out_pres(k), 1.0);
        w.at(st.in_pres(0), -1.0);
      }
      double sum = -1.0;
      for (int k = 0; k < st.nout; ++k) sum += w.y(st.own + 1 + k);
      w.row("FRAC_SUM", 1.0, sum);
      for (int k = 0; k < st.nout; ++k) w.at(st.own + 1 + k, 1.0);
      return;
    }
  }
}

// The set's rows in a pattern (2), residual (3) or Jacobian (4) pass.
void set_rows(Entry& e, State& st, int action, int32_t& m, int32_t& k) {
  if (!st.has_set) return;
  Setup& s = st.s;
  const int32_t iph = st.set_enth(), ipp = st.set_pres(), ipt = st.temp();
  const int32_t start = st.set_start + 1, opt = 0;
  const double eps = 1e-7;
  if (action == kSetPattern) {
    RTO_PMLSPR(&s.ncomp, s.idx, st.set_flows(), &iph, &ipp, &ipt, st.lay, &opt, &start, &m, &k,
               e.IJROW, e.IJCOL);
  } else if (action == kSetResidual) {
    RTO_PMLRES(&s.ncomp, s.idx, st.set_flows(), &iph, &ipp, &ipt, st.lay, st.sa, st.sb, &opt, e.Y,
               &start, &m, e.F);
  } else {
    RTO_PMLJAC(&s.ncomp, s.idx, st.set_flows(), &iph, &ipp, &ipt, st.lay, st.sa, st.sb, &eps, &opt,
               e.Y, &start, &k, e.DFDY);
  }
}

// --- Requests -----------------------------------------------------------------

// The counts and the set's layout for this block, kept in the state.
void count(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t ny = 0, nf = 0, nz = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, &ny);
  U3_MBAL_NF(&s.ncomp, &s.sel, &nf);
  U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, &nz);
  ny += st.nown;
  if (st.has_set) {
    const int32_t open = 0;
    st.set_eq = nf;
    RTO_PMLDIM(&s.ncomp, s.idx, &open, &ny, &nf, &nz, st.lay);
  }
  EquationWriter w(e, s, RowPass::Count, nf, nz);
  own_rows(w, st, false);
  st.ny = ny, st.nf = w.rows(), st.nz = w.nonzeros();
}

void dimensions(Entry& e, State& st) {
  count(e, st);
  *e.NY = st.ny, *e.NF = st.nf, *e.NZ = st.nz;
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
}

const char* own_name(const State& st) {
  return st.kind == Kind::Splitter ? "FRAC_" : "DELTA_P";
}

void names(Entry& e, State& st) {
  Setup& s = st.s;
  count(e, st);
  U3SVL(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.IDBLK,
        e.LNAME, e.VARNAM);
  const int32_t lname = *e.LNAME;
  int32_t m = 0;
  U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, RXN_IBLKID,
              e.LNAME, e.EQNNAM, &m);
  auto vn = [&](const std::string& t, int32_t at) { hs::vnam(t, lname, name_slot(e.VARNAM, lname, at)); };
  if (st.kind == Kind::Splitter) {
    for (int k = 0; k < st.nout; ++k) vn("FRAC_" + std::to_string(k + 1), st.own + 1 + k);
  } else {
    vn(own_name(st), st.own + 1);
  }
  if (st.has_set) {
    int32_t cids[2 * kMaxComponents];
    for (int32_t i = 0; i < s.ncomp; ++i) {
      const int32_t len = 8;
      U3_GET_COMPID(&s.idx[i], reinterpret_cast<char*>(&cids[2 * i]), &len);
    }
    int32_t prefix;
    std::memcpy(&prefix, st.kind == Kind::Flash ? "DRUM" : "OUT ", 4);
    const int32_t start = st.set_start + 1;
    RTO_PMLNAM(&s.ncomp, s.idx, cids, st.lay, &prefix, &start, RXN_IBLKID, e.LNAME, e.VARNAM,
               e.EQNNAM, &m);
    // The set's temperature, vapour fraction and duty under the block's names.
    vn("T_OUT", st.temp());
    vn(st.kind == Kind::Flash ? "VFRAC" : "VFRAC_OUT", st.vfrac());
    if (st.kind == Kind::Heater || st.kind == Kind::Flash) vn("DUTY", st.duty());
  }
  EquationWriter w(e, s, RowPass::Names, m, 0);
  own_rows(w, st, true);
  m = w.rows();
  int32_t n = st.ny;
  U3DNAM(e.IDBLK, e.LNAME, &n, &m, e.VARNAM, e.EQNNAM);
}

bool given(double v) { return !hs::is_missing(v) && std::isfinite(v); }

// Solves the set's state with the engine's flash: flag 1 PH (enthalpy at the
// set's enthalpy position, or h when given), 2 TP, 3 PV. False when the flash
// gave no answer (the values stay as they were).
bool flash_state(Entry& e, State& st, int32_t flag, double h = 0.0, bool use_h = false) {
  Setup& s = st.s;
  const int32_t iph = st.set_enth(), ipp = st.set_pres(), start = st.set_start + 1;
  double& hy = e.Y[iph - 1];
  const double keep = hy;
  if (use_h) hy = h;
  const double tol = 1e-6;
  const int32_t maxit = 50;
  int32_t ierr = 0;
  RTO_PMLINI(&s.ncomp, s.idx, st.set_flows(), &iph, &ipp, e.IPROPSET, e.A31, &tol, &maxit, &flag,
             st.lay, &start, st.sa, st.sb, e.Y, &ierr);
  hy = keep;
  if (ierr == -1) {
    hs::message(std::string(st.entry) + ": Warning: the outlet state could not be initialised.");
    return false;
  }
  return true;
}

// A block variable's defaults; a start that is not finite is replaced too.
void fill_var(Entry& e, int32_t pos, double value, int32_t type, double lo, double hi, double scale) {
  if (!given(e.Y[pos - 1])) e.Y[pos - 1] = value;
  block_variable_defaults(e, pos, value, {type, lo, hi, scale});
}

void fix_var(Entry& e, int32_t pos) { e.IYATTR[pos - 1] |= 1; }

// Initial outlet values and set state from the inlets and what the user gave.
void initial_state(Entry& e, State& st) {
  double* Y = e.Y;
  auto y = [&](int32_t pos) -> double& { return Y[pos - 1]; };
  const int32_t n = st.n, dp = st.own + 1;
  const bool fixed_pout = st.nout > 0 && hs::fixed(e.IYATTR[st.out_pres(0) - 1]) && given(y(st.out_pres(0)));
  if (st.kind == Kind::Splitter) {
    const double fin = y(st.in_flow(0));
    const int32_t nr = *e.NREAL - st.s.r0 + 1;
    double rest = 1.0;
    for (int k = 0; k < st.nout; ++k) {
      const int32_t fr = st.own + 1 + k;
      double f;
      if (k < nr) {
        f = real_param(e, st.s.r0 + k);
        if (k < st.nout - 1) fix_var(e, fr);
        y(fr) = f;
      } else if (given(y(fr))) {
        f = y(fr);
      } else if (given(y(st.out_flow(k))) && fin > 0.0) {
        f = y(st.out_flow(k)) / fin;
      } else {
        f = k == st.nout - 1 ? rest : rest / (st.nout - k);
      }
      f = std::clamp(f, 0.0, 1.0);
      rest -= f;
      fill_var(e, fr, f, 44, 0.0, 1.0, 1.0);
      y(fr) = f;
      for (int32_t i = 0; i <= n; ++i) y(st.out_flow(k) + i) = f * y(st.in_flow(0) + i);
      y(st.out_enth(k)) = y(st.in_enth(0));
      y(st.out_pres(k)) = y(st.in_pres(0));
    }
    return;
  }
  fill_var(e, dp, 0.0, 75, -100.0 * st.Ps, 100.0 * st.Ps, st.Ps);
  // Outlet pressure: given, or the inlet's (the mixer's lowest) less DELTA_P.
  double pin = y(st.in_pres(0));
  if (st.kind == Kind::Mixer) {
    for (int k = 1; k < st.nin; ++k) pin = std::min(pin, y(st.in_pres(k)));
  }
  const bool dp_given = hs::fixed(e.IYATTR[dp - 1]);
  if (fixed_pout && !dp_given) {
    y(dp) = pin - y(st.out_pres(0));
  } else {
    y(st.out_pres(0)) = pin - y(dp);
  }
  if (st.kind == Kind::Mixer && !fixed_pout && !dp_given) fix_var(e, dp);  // lowest inlet pressure
  if (st.kind == Kind::Flash) y(st.out_pres(1)) = y(st.out_pres(0));
  if (st.kind == Kind::Mixer) {
    double hsum = 0.0;
    for (int32_t i = 0; i <= n; ++i) y(st.out_flow(0) + i) = 0.0;
    for (int k = 0; k < st.nin; ++k) {
      for (int32_t i = 0; i <= n; ++i) y(st.out_flow(0) + i) += y(st.in_flow(k) + i);
      hsum += y(st.in_flow(k)) * y(st.in_enth(k));
    }
    const double fo = y(st.out_flow(0));
    y(st.out_enth(0)) = fo > 0.0 ? hsum / fo : y(st.in_enth(0));
    flash_state(e, st, 1);
    y(st.duty()) = 0.0;
    return;
  }
  // Heater, valve and drum: the set flashes the inlet at the outlet pressure.
  const double fin = y(st.in_flow(0)), hin = y(st.in_enth(0));
  if (st.kind == Kind::Valve) y(st.duty()) = 0.0;
  if (st.kind != Kind::Valve && given(y(st.temp()))) {
    flash_state(e, st, 2);
  } else if (st.kind != Kind::Valve && given(y(st.vfrac())) && y(st.vfrac()) >= 0.0 &&
             y(st.vfrac()) <= 1.0) {
    flash_state(e, st, 3);
  } else {
    double q = given(y(st.duty())) ? y(st.duty()) : 0.0;
    if (st.ninfi == 1 && given(y(st.s.map.in_info))) q = y(st.s.map.in_info);
    if (fin > 0.0 && flash_state(e, st, 1, hin + q / fin, true)) y(st.duty()) = q;
  }
  const int32_t V = st.vflow(), L = st.lflow();
  if (st.kind == Kind::Flash) {
    y(st.out_flow(0)) = y(V);
    y(st.out_flow(1)) = y(L);
    for (int32_t i = 0; i < n; ++i) {
      const double fv = y(V) * y(st.y_frac(i));
      y(st.out_flow(0) + 1 + i) = fv;
      y(st.out_flow(1) + 1 + i) = y(st.in_flow(0) + 1 + i) - fv;
    }
    y(st.out_enth(0)) = y(V + 1);
    y(st.out_enth(1)) = y(L + 1);
  } else {
    for (int32_t i = 0; i <= n; ++i) y(st.out_flow(0) + i) = y(st.in_flow(0) + i);
    y(st.out_enth(0)) = y(L + 4);
  }
  if (st.ninfout == 1) y(st.s.map.out_info) = -y(st.duty());
}

void write_scales(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0;
  U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &m);
  if (st.has_set) {
    RTO_PMLRSCL(&s.ncomp, st.lay, &st.set_eq, e.FSCL);
    m += st.lay[7];
  }
  EquationWriter w(e, s, RowPass::Scales, m, 0);
  own_rows(w, st, false);
}

void write_pass(Entry& e, State& st, int action) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  if (action == kSetPattern) {
    U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW, e.IJCOL,
                &m, &k);
  } else if (action == kSetResidual) {
    U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F, &m);
  } else {
    U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.DFDY, &k);
  }
  set_rows(e, st, action, m, k);
  const RowPass pass = action == kSetPattern    ? RowPass::Pattern
                       : action == kSetResidual ? RowPass::Residuals
                                                : RowPass::Jacobian;
  EquationWriter w(e, s, pass, m, k);
  own_rows(w, st, false);
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const double Qs = st.Fs * st.Hs;
  count(e, st);
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  if (st.ninfi > 0) U3_ISTRM_PLX2X(s.dinfin, e.SINFIN, e.Y);
  material_stream_defaults(e, s, s.dmatin, st.Fs, st.Hs, st.Ps);
  if (st.ninfi > 0) info_stream_defaults(e, s.dinfin, -1e4 * Qs, 1e4 * Qs, 10.0, Qs);
  const int32_t imode = int_param(e, s.i0);
  if (imode == 0) {
    U3_MSTRM_FIX(s.dmatin, e.IYATTR);
    if (st.ninfi > 0) U3_ISTRM_FIX(s.dinfin, e.IYATTR);
  }
  initial_state(e, st);
  material_stream_defaults(e, s, s.dmatout, st.Fs, st.Hs, st.Ps);
  if (st.ninfout > 0) info_stream_defaults(e, s.dinfout, -1e4 * Qs, 1e4 * Qs, 10.0, Qs);
  if (st.has_set) {
    const int32_t start = st.set_start + 1;
    RTO_PMLXBND(&s.ncomp, st.lay, &start, e.Y, e.YLB, e.YUB, e.YSBND);
    RTO_PMLXSCL(&s.ncomp, st.lay, &start, e.Y, e.YSCL);
    RTO_PMLXPP(&s.ncomp, st.lay, &start, e.IYATTR);
  }
  write_scales(e, st);
  write_pass(e, st, kSetPattern);
}

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t code = 0;
  U3_MSTRM_SET_KODE(s.dmatin, &code);
  write_streams(e, s);
  hs::solution_state() = hs::kSolutionWritten;
  // The values of the report.
  std::array<double, 5>& rep = st.reports[{e.IDBLK[0], e.IDBLK[1]}];
  rep[0] = st.has_set ? e.Y[st.temp() - 1] : 0.0;
  rep[1] = e.Y[st.out_pres(0) - 1];
  rep[2] = st.has_set ? std::clamp(e.Y[st.vfrac() - 1], 0.0, 1.0) : 0.0;
  rep[3] = st.has_set ? e.Y[st.duty() - 1] : 0.0;
  rep[4] = e.Y[st.own];
}

void report(Entry& e, State& st) {
  const int32_t unit = hs::report_unit();
  char b[120];
  std::snprintf(b, sizeof b, " ***  %s RESULTS  ***", st.entry);
  hs::write(unit, b);
  auto it = st.reports.find({e.IDBLK[0], e.IDBLK[1]});
  if (st.kind == Kind::Splitter) return;
  if (it == st.reports.end()) {
    hs::write(unit, " NO RESULTS: THE BLOCK HAS NOT BEEN SOLVED");
    return;
  }
  const std::array<double, 5>& rep = it->second;
  std::snprintf(b, sizeof b, " OUTLET TEMPERATURE      %14.6g K", rep[0]);
  hs::write(unit, b);
  std::snprintf(b, sizeof b, " OUTLET PRESSURE         %14.6g Pa", rep[1]);
  hs::write(unit, b);
  std::snprintf(b, sizeof b, " PRESSURE DROP           %14.6g Pa", rep[4]);
  hs::write(unit, b);
  std::snprintf(b, sizeof b, " OUTLET VAPOUR FRACTION  %14.6g", rep[2]);
  hs::write(unit, b);
  if (st.kind == Kind::Heater || st.kind == Kind::Flash) {
    std::snprintf(b, sizeof b, " DUTY                    %14.6g W", rep[3]);
    hs::write(unit, b);
  }
}

constexpr ModelHooks<State> kHooks{
    .set_up = set_up,
    .check = check,
    .serves = serves,
    .dimensions = dimensions,
    .counts = [](Entry& e, State& st, int32_t& ny, int32_t& nf, int32_t& nz) {
      count(e, st);
      ny = st.ny, nf = st.nf, nz = st.nz;
    },
    .names = names,
    .initialise = initialise,
    .residuals = [](Entry& e, State& st) { write_pass(e, st, kSetResidual); },
    .jacobian = [](Entry& e, State& st) { write_pass(e, st, kSetJacobian); },
    .stream_update = stream_update,
    .report = report,
    .report_without_variables = true,
};

template <Kind K>
void run(Entry& e) {
  static constexpr const char* kNames[] = {"HEATER", "VALVE_DP", "MIXER", "SPLITTER", "FLASH"};
  State& st = state();
  st.kind = K;
  st.entry = kNames[static_cast<int>(K)];
  dispatch(e, st, kHooks);
}

}  // namespace
}  // namespace r3::plant

R3_DEFINE_ENTRY(HEATER, r3::plant::run<r3::plant::Kind::Heater>)
R3_DEFINE_ENTRY(VALVE_DP, r3::plant::run<r3::plant::Kind::Valve>)
R3_DEFINE_ENTRY(MIXER, r3::plant::run<r3::plant::Kind::Mixer>)
R3_DEFINE_ENTRY(SPLITTER, r3::plant::run<r3::plant::Kind::Splitter>)
R3_DEFINE_ENTRY(FLASH, r3::plant::run<r3::plant::Kind::Flash>)
