// R3TREX entry: set-up, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations after the material balances:
//  IPHASE = 1: five single-row property equations (inlet enthalpy and entropy,
//   isentropic-outlet entropy and enthalpy, actual-outlet enthalpy), then the
//   expander's own rows, the fraction definitions and the outlet total flow;
//  IPHASE = 0: four single-row property equations (inlet enthalpy and entropy,
//   vapour and liquid entropy of the isentropic outlet), the expander's own
//   rows with the two duty closures, then the isentropic-outlet and the
//   actual-outlet phase-equilibrium sets.
#include "models/turbo_expander/turbo_expander.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "framework/balance_model.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::turbo_expander {

State& state() { return thread_state<State>(); }

namespace {

VariableDefaults var_defaults(const State& st, Role r) {
  const double Hs = st.Hs, Fs = st.Fs, Ts = st.Ts, Ss = st.Hs / st.Ts;
  switch (r) {
    case DHACT:
    case DHISEN:
    case HSOUT:
      return {kTypeEnthalpyChange, -1000.0 * Hs, 1000.0 * Hs, Hs};
    case SEFF:
    case MEFF:
      return {kTypeDimensionless, 0.0, 1.0, 1.0};
    case IHP:
    case BHP:
      return {kTypePower, -1000.0 * Hs * Fs, 1000.0 * Hs * Fs, Hs * Fs};
    case TIN:
    case TSOUT:
    case TOUT:
      return {kTypeTemperature, 0.01 * Ts, 5.0 * Ts, Ts};
    case SMOL:
    case SV:
    case SL:
      return {kTypeMolarEntropy, -10000.0 * Ss, 10000.0 * Ss, Ss};
  }
  return {kTypeDimensionless, 0.0, 1.0, 1.0};
}

// Variable names by role (the actual outlet temperature of the vapour-only
// formulation is OUT_PROD_TEMP).
constexpr const char* kRoleNames[kNumRoles + 1] = {"",    "DHACT", "DHISEN", "SEFF",         "IHP",
                                                   "BHP", "MEFF",  "TIN",    "SMOL",         "SV",
                                                   "SL",  "HSOUT", "TSOUT",  "OUT_PROD_TEMP"};
const char* var_name(Role r) {
  return kRoleNames[r];
}

// --- Set-up and positions -----------------------------------------------------

// The block's positions and dimensions from its own quantities (stream
// variables, components, formulation, work stream). Deterministic, so every
// call rebuilds exactly what the dimension request reported.
void build_layout(Entry& e, State& st) {
  Setup& s = st.s;
  const int32_t n = s.ncomp;
  const int32_t m = st.ninfout;
  std::fill(std::begin(st.pos), std::end(st.pos), 0);
  std::fill(std::begin(st.lay_s), std::end(st.lay_s), 0);
  std::fill(std::begin(st.lay_o), std::end(st.lay_o), 0);
  st.xin1 = st.xout1 = st.vstart_s = st.vstart_o = st.eq_s = st.eq_o = 0;
  int32_t ny = s.nstream, nf = 0, nz = 0;
  U3_MBAL_NF(&s.ncomp, &s.sel, &nf);
  U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, &nz);
  st.first = ny + 1;
  if (st.iphase == 1) {
    for (int i = 0; i < kNumVapourVars; ++i) st.pos[kVapourVars[i]] = ny + 1 + i;
    st.xin1 = ny + kNumVapourVars + 1;
    st.xout1 = st.xin1 + n;
    ny += kNumVapourVars + 2 * n;
    RTO_ENCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_SMCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_SMCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_ENCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_ENCDIM(&s.ncomp, &nf, &ny, &nz);
    nf += 2 * n + m + 7;
    nz += 7 * n + 2 * m + 18;
  } else {
    for (int i = 0; i < kNumTwoPhaseVars; ++i) st.pos[kTwoPhaseVars[i]] = ny + 1 + i;
    ny += kNumTwoPhaseVars;
    RTO_ENCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_SMCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_SMCDIM(&s.ncomp, &nf, &ny, &nz);
    RTO_SMCDIM(&s.ncomp, &nf, &ny, &nz);
    nf += m + 8;
    nz += 2 * m + 21;
    const int32_t open = 0;
    st.vstart_s = ny;
    st.eq_s = nf;
    RTO_PMLDIM(&s.ncomp, s.idx, &open, &ny, &nf, &nz, st.lay_s);
    st.vstart_o = ny;
    st.eq_o = nf;
    RTO_PMLDIM(&s.ncomp, s.idx, &open, &ny, &nf, &nz, st.lay_o);
    st.pos[TSOUT] = std::abs(st.lay_s[0]);
    st.pos[TOUT] = std::abs(st.lay_o[0]);
  }
  st.ny = ny;
  st.nf = nf;
  st.nz = nz;
}

// Set-up of every call. False when the call must end (ISTAT already set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  setup_header(e, s);
  const int32_t miss = hs::imiss();
  auto ipar = [&](int k, int32_t def) {
    const int32_t v = int_param(e, s.i0 + k);
    return v == miss ? def : v;
  };
  st.imode = ipar(0, 0);
  st.icurv = ipar(1, 0);
  st.npass = ipar(2, 1);
  st.iphase = ipar(3, 0);
  const double r1 = real_param(e, s.r0), r2 = real_param(e, s.r0 + 1);
  st.rlo = (hs::is_missing(r1) || !(r1 > 0.0)) ? 0.1 : r1;
  st.rhi = (hs::is_missing(r2) || !(r2 <= 1.0)) ? 1.0 : r2;
  if (!setup_components(e, s)) return false;
  if (!setup_streams(e, s)) return false;
  s.sel = st.iphase == 1 ? 0 : -1;
  setup_block_id(e);
  setup_scales(s, st);
  st.ninfout = *e.NINFOUT == 1 ? 1 : 0;
  if (structure_ok(e, st)) build_layout(e, st);
  return true;
}

// --- Single-row property equations -----------------------------------------------

// One enthalpy or entropy row: its property variable against (T, P, x), the
// fractions consecutive from position ix.
struct Row {
  bool enthalpy;
  int32_t phase;
  int32_t ix, ip, it, iprop;
};

int rows(const State& st, Row* r) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  if (st.iphase == 1) {
    r[0] = {true, 1, st.xin1, map.in_pres, p[TIN], map.in_enth};
    r[1] = {false, 1, st.xin1, map.in_pres, p[TIN], p[SMOL]};
    r[2] = {false, 1, st.xout1, map.out_pres, p[TSOUT], p[SV]};
    r[3] = {true, 1, st.xout1, map.out_pres, p[TSOUT], p[HSOUT]};
    r[4] = {true, 1, st.xout1, map.out_pres, p[TOUT], map.out_enth};
    return 5;
  }
  const int32_t n = st.s.ncomp;
  const int32_t z0 = std::abs(st.lay_s[8]);
  const int32_t zpos = z0 + 5, ypos = z0 + n + 9, xpos = z0 + 3 * n + 14;
  r[0] = {true, 1, zpos, map.in_pres, p[TIN], map.in_enth};
  r[1] = {false, 1, zpos, map.in_pres, p[TIN], p[SMOL]};
  r[2] = {false, 1, ypos, map.out_pres, p[TSOUT], p[SV]};
  r[3] = {false, 2, xpos, map.out_pres, p[TSOUT], p[SL]};
  return 4;
}

// action: 2 pattern, 3 residual, 4 Jacobian.
void property_rows(Entry& e, State& st, int action, int32_t& m, int32_t& k) {
  Row r[5];
  const int nr = rows(st, r);
  Setup& s = st.s;
  const double* Y = e.Y;
  int32_t* pword = &PPEXEC_USER[kPpexecPropertyWord];
  for (int q = 0; q < nr; ++q) {
    const Row& w = r[q];
    const double praw = Y[w.ip - 1], traw = Y[w.it - 1];
    const double P = std::fabs(praw), T = std::fabs(traw);
    const double* x = &Y[w.ix - 1];
    const double* prop = &Y[w.iprop - 1];
    if (action == 2) {
      if (w.enthalpy) {
        RTO_ENCSPR(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &w.ix, &w.ip,
                   &w.it, &w.iprop, &m, &k, e.IJROW, e.IJCOL);
      } else {
        RTO_SMCSPR(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &w.ix, &w.ip,
                   &w.it, &w.iprop, &m, &k, e.IJROW, e.IJCOL);
      }
    } else if (action == 3) {
      const int32_t mode = 0;
      if (w.enthalpy) {
        RTO_ENCRES(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &mode, &m, e.F);
      } else {
        RTO_SMCRES(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &mode, &m, e.F);
      }
    } else {
      const int32_t k0 = k;
      if (w.enthalpy) {
        RTO_ENCJAC(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &st.Fs, &st.Ps,
                   &k, e.DFDY);
      } else {
        RTO_SMCJAC(&s.ncomp, &w.phase, e.IPROPSET, s.idx, x, &P, &T, prop, pword, &st.Fs, &st.Ps,
                   &k, e.DFDY);
      }
      // The sets see |P| and |T|: a negative value's derivative changes sign.
      if (k == k0 + s.ncomp + 3) {
        if (praw < 0.0) e.DFDY[k0 + s.ncomp] = -e.DFDY[k0 + s.ncomp];
        if (traw < 0.0) e.DFDY[k0 + s.ncomp + 1] = -e.DFDY[k0 + s.ncomp + 1];
      }
    }
  }
}

// --- Phase-equilibrium sets ------------------------------------------------------

struct SetCall {
  const int32_t* layout;
  int32_t iph;    // the state's enthalpy position
  int32_t start;  // position of the set's first variable
  double* sa;
  double* sb;
};

int sets(State& st, SetCall* c) {
  const StreamMap& map = st.s.map;
  c[0] = {st.lay_s, st.pos[HSOUT], st.vstart_s + 1, st.S1, st.S2};
  c[1] = {st.lay_o, map.out_enth, st.vstart_o + 1, st.S3, st.S4};
  return 2;
}

void set_rows(Entry& e, State& st, int action, int32_t& m, int32_t& k) {
  SetCall c[2];
  sets(st, c);
  Setup& s = st.s;
  const StreamMap& map = s.map;
  const int32_t opt = 0;
  const double eps = 1e-7;
  for (const SetCall& q : c) {
    const int32_t ipt = std::abs(q.layout[0]);
    if (action == 2) {
      RTO_PMLSPR(&s.ncomp, s.idx, map.out_comp, &q.iph, &map.out_pres, &ipt, q.layout, &opt,
                 &q.start, &m, &k, e.IJROW, e.IJCOL);
    } else if (action == 3) {
      RTO_PMLRES(&s.ncomp, s.idx, map.out_comp, &q.iph, &map.out_pres, &ipt, q.layout, q.sa, q.sb,
                 &opt, e.Y, &q.start, &m, e.F);
    } else {
      RTO_PMLJAC(&s.ncomp, s.idx, map.out_comp, &q.iph, &map.out_pres, &ipt, q.layout, q.sa, q.sb,
                 &eps, &opt, e.Y, &q.start, &k, e.DFDY);
    }
  }
}

// --- The expander's own rows -----------------------------------------------------

double clamp01(double b) {
  return std::clamp(b, 0.0, 1.0);
}

// The expander's own rows, between the property rows and the sets' rows.
// cid: the components' 8-character identifiers, for the names of the
// fraction rows (only the names pass reads them).
void model_rows(EquationWriter& w, const State& st, const char (*cid)[8]) {
  const StreamMap& map = st.s.map;
  const int32_t* p = st.pos;
  auto y = [&](Role r) { return w.y(p[r]); };
  const double fin = w.y(map.in_flow);
  const double hin = w.y(map.in_enth), hout = w.y(map.out_enth);
  const double Hs = st.Hs, Fs = st.Fs, Ss = st.Hs / st.Ts;
  w.row("ENERBAL", Hs * Fs, y(IHP) - y(DHACT) * fin);
  w.at(p[IHP], 1.0);
  w.at(p[DHACT], -fin);
  w.at(map.in_flow, -y(DHACT));
  w.row("DHACTDEF", Hs, y(DHACT) - hout + hin);
  w.at(p[DHACT], 1.0);
  w.at(map.out_enth, -1.0);
  w.at(map.in_enth, 1.0);
  w.row("DHISENDEF", Hs, hin - y(HSOUT) + y(DHISEN));
  w.at(p[DHISEN], 1.0);
  w.at(p[HSOUT], -1.0);
  w.at(map.in_enth, 1.0);
  w.row("SEFF", Hs, y(DHISEN) * y(SEFF) - y(DHACT));
  w.at(p[DHISEN], y(SEFF));
  w.at(p[SEFF], y(DHISEN));
  w.at(p[DHACT], -1.0);
  w.row("BHPDEF", Hs * Fs, y(BHP) - y(IHP) * y(MEFF));
  w.at(p[BHP], 1.0);
  w.at(p[IHP], -y(MEFF));
  w.at(p[MEFF], -y(IHP));
  if (st.iphase == 1) {
    w.row("ENTRBAL", Ss, y(SMOL) - y(SV));
    w.at(p[SMOL], 1.0);
    w.at(p[SV], -1.0);
  } else {
    const int32_t ibeta = std::abs(st.lay_s[1]);
    const double beta = w.y(ibeta);
    const double bc = clamp01(beta);
    w.row("ENTR_OUT", Ss, y(SMOL) - y(SL) - bc * (y(SV) - y(SL)));
    w.at(p[SMOL], 1.0);
    w.at(ibeta, (beta >= 0.0 && beta <= 1.0) ? y(SL) - y(SV) : 0.0);
    w.at(p[SV], -bc);
    w.at(p[SL], bc - 1.0);
    w.row("DUTYS", Hs * Fs, w.y(std::abs(st.lay_s[2])));
    w.at(std::abs(st.lay_s[2]), 1.0);
    w.row("DUTY", Hs * Fs, w.y(std::abs(st.lay_o[2])));
    w.at(std::abs(st.lay_o[2]), 1.0);
  }
  if (st.ninfout == 1) {
    w.row("WORKSTR", Hs * Fs, y(BHP) - w.y(map.out_info));
    w.at(p[BHP], 1.0);
    w.at(map.out_info, -1.0);
  }
  if (st.iphase == 1) {
    const int32_t n = st.s.ncomp;
    const double fout = w.y(map.out_flow);
    auto name = [&](const char* head, int32_t i) {
      std::string t = head;
      if (cid != nullptr) t += std::string(cid[i], 8);
      t.resize(20, ' ');
      return t;
    };
    for (int32_t i = 0; i < n; ++i) {
      w.row(name("FRAC_IN ", i), 1.0, w.y(st.xin1 + i) * fin - w.y(map.in_comp[i]));
      w.at(st.xin1 + i, fin);
      w.at(map.in_flow, w.y(st.xin1 + i));
      w.at(map.in_comp[i], -1.0);
    }
    for (int32_t i = 0; i < n; ++i) {
      w.row(name("FRAC_OUT", i), 1.0, w.y(st.xout1 + i) * fout - w.y(map.out_comp[i]));
      w.at(st.xout1 + i, fout);
      w.at(map.out_flow, w.y(st.xout1 + i));
      w.at(map.out_comp[i], -1.0);
    }
    double r = fout;
    for (int32_t i = 0; i < n; ++i) r -= w.y(map.out_comp[i]);
    w.row("TOTFLOW", Fs, r);
    w.at(map.out_flow, 1.0);
    for (int32_t i = 0; i < n; ++i) w.at(map.out_comp[i], -1.0);
  }
}

// One pass over the own rows, advancing m and k.
void own_rows(Entry& e, const State& st, RowPass pass, int32_t& m, int32_t& k) {
  EquationWriter w(e, st.s, pass, m, k);
  model_rows(w, st, nullptr);
  m = w.rows();
  k = w.nonzeros();
}

// The balances, the property rows, the expander's own rows and (two-phase)
// the sets in one pass; `action` is the property routines' mode for it (2
// pattern, 3 residuals, 4 Jacobian).
void write_pass(Entry& e, State& st, RowPass pass, int action) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  balance_pass(e, s, pass, m, k);
  // The Jacobian's rows, too, are numbered on after the balances.
  if (pass == RowPass::Jacobian) U3_MBAL_NF(&s.ncomp, &s.sel, &m);
  property_rows(e, st, action, m, k);
  own_rows(e, st, pass, m, k);
  if (st.iphase == 0) set_rows(e, st, action, m, k);
}

// --- Requests --------------------------------------------------------------------

// The position store in INT: the first block variable, and for IPHASE = 0
// the two sets' layouts, start counts and equation counts.
void write_store(Entry& e, const State& st) {
  const int32_t p = st.s.i0;
  auto put = [&](int k, int32_t v) {
    const int32_t at = p + k;
    if (at >= 1 && at <= *e.NINT) e.INT[at - 1] = v;
  };
  put(4, st.first);
  if (st.iphase != 0) return;
  for (int i = 0; i < 9; ++i) put(5 + i, st.lay_s[i]);
  put(14, st.vstart_s);
  put(15, st.eq_s);
  for (int i = 0; i < 9; ++i) put(16 + i, st.lay_o[i]);
  put(25, st.vstart_o);
  put(26, st.eq_o);
}

int32_t dimension_check(Entry& e, State& st) {
  const int32_t rc = R3X_ICHK(e, st);
  st.dimen_failed = rc != 0;
  return rc;
}

void dimensions(Entry& e, State& st) {
  // The layout of the set-up counted the stream variables, the balances, the
  // property rows, the expander's own rows and the sets, in that order.
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
  *e.NY = st.ny;
  *e.NF = st.nf;
  *e.NZ = st.nz;
  write_store(e, st);
}

// The names of the sets' variables and equations rewritten as the block
// identifier without blanks, ".", then the set's name without blanks (a
// name that already carries the block prefix keeps it once).
void rename_slots(char* names, int32_t lname, int32_t from, int32_t to) {
  char id[9] = {};
  std::memcpy(id, RXN_IBLKID, 8);
  std::string prefix;
  for (int i = 0; i < 8; ++i) {
    if (id[i] != ' ' && id[i] != '\0') prefix += id[i];
  }
  prefix += '.';
  const size_t width = 4 * static_cast<size_t>(lname);
  for (int32_t q = from; q <= to; ++q) {
    char* slot = name_slot(names, lname, q);
    std::string t;
    for (size_t i = 0; i < width; ++i) {
      if (slot[i] != ' ' && slot[i] != '\0') t += slot[i];
    }
    if (t.compare(0, prefix.size(), prefix) != 0) t = prefix + t;
    for (size_t i = 0; i < width; ++i) slot[i] = i < t.size() ? t[i] : ' ';
  }
}

void names(Entry& e, State& st) {
  Setup& s = st.s;
  name_stream_variables(e, s);
  int32_t m = 0;
  U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, RXN_IBLKID,
              e.LNAME, e.EQNNAM, &m);
  const int32_t lname = *e.LNAME;
  auto vn = [&](const std::string& t, int32_t at) {
    hs::vnam(t, lname, name_slot(e.VARNAM, lname, at));
  };
  auto en = [&](const std::string& t) { hs::enam(t, lname, name_slot(e.EQNNAM, lname, ++m)); };
  // Component identifiers, 8 characters each.
  char cid[kMaxComponents][8];
  for (int32_t i = 0; i < s.ncomp; ++i) {
    const int32_t len = 8;
    U3_GET_COMPID(&s.idx[i], cid[i], &len);
  }
  auto own_names = [&] {
    EquationWriter w(e, s, RowPass::Names, m, 0);
    model_rows(w, st, cid);
    m = w.rows();
  };
  auto field20 = [](const std::string& head, const char* id8) {
    std::string t = head + std::string(id8, 8);
    t.resize(20, ' ');
    return t;
  };
  if (st.iphase == 1) {
    for (Role r : kVapourVars) vn(var_name(r), st.pos[r]);
    for (int32_t i = 0; i < s.ncomp; ++i) vn(field20("FRAC_IN_", cid[i]), st.xin1 + i);
    for (int32_t i = 0; i < s.ncomp; ++i) vn(field20("FRAC_OUT_", cid[i]), st.xout1 + i);
    for (const char* t : {"ENTH_IN", "ENTR_IN", "ENTR_OUT", "ENTH_OUT", "ENTH_SOUT"}) en(t);
    own_names();
  } else {
    for (Role r : kTwoPhaseVars) vn(var_name(r), st.pos[r]);
    for (const char* t : {"ENTH_IN", "ENTR_IN", "VAPENTR_OUT", "LIQENTR_OUT"}) en(t);
    own_names();
    int32_t cids[2 * kMaxComponents];
    for (int32_t i = 0; i < s.ncomp; ++i) std::memcpy(&cids[2 * i], cid[i], 8);
    const int32_t m0 = m;
    int32_t prefix[2];
    std::memcpy(&prefix[0], "ISEN", 4);
    std::memcpy(&prefix[1], "OUT ", 4);
    SetCall c[2];
    sets(st, c);
    for (int q = 0; q < 2; ++q) {
      RTO_PMLNAM(&s.ncomp, s.idx, cids, c[q].layout, &prefix[q], &c[q].start, RXN_IBLKID, e.LNAME,
                 e.VARNAM, e.EQNNAM, &m);
    }
    rename_slots(e.VARNAM, lname, st.vstart_s + 1, st.ny);
    rename_slots(e.EQNNAM, lname, m0 + 1, m);
  }
  hand_over_names(e, st.ny, m);
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const StreamMap& map = s.map;
  // Inlet stream into Y with its defaults.
  inlet_streams(e, s, st, st.imode);
  // Sequential initialisation, then the outlet stream.
  R3X_INI(e, st);
  if (*e.ISTAT != 0) return;
  R3X_MSTRM_IN2OUT(e, st);
  U3_MSTRM_PTYPE(s.dmatout, e.IYATTR);
  const double* X = st.X;
  if (st.ninfout == 1) {
    const double pw = st.Fs * st.Hs;
    const double wlb = -10000.0 * pw, wub = 10000.0 * pw, wsb = 1.0;
    double& w = e.Y[map.out_info - 1];
    if (hs::is_missing(w)) w = X[map.out_info];
    info_stream_defaults(e, s.dinfout, wlb, wub, wsb, pw);
  }
  // Block variables: only missing entries take their defaults.
  if (st.iphase == 1) {
    for (Role r : kVapourVars) {
      block_variable_defaults(e, st.pos[r], X[st.pos[r]], var_defaults(st, r));
    }
    const VariableDefaults frac{kTypeDimensionless, 0.0, 1.0, 1.0};
    const int32_t n = s.ncomp;
    auto fraction = [&](int32_t comp_pos, int32_t flow_pos) {
      const double f = e.Y[flow_pos - 1];
      return f > 0.0 && !hs::is_missing(f) ? e.Y[comp_pos - 1] / f : 1.0 / n;
    };
    for (int32_t i = 0; i < n; ++i) {
      block_variable_defaults(e, st.xin1 + i, fraction(map.in_comp[i], map.in_flow), frac);
    }
    for (int32_t i = 0; i < n; ++i) {
      block_variable_defaults(e, st.xout1 + i, fraction(map.out_comp[i], map.out_flow), frac);
    }
  } else {
    for (Role r : kTwoPhaseVars) {
      block_variable_defaults(e, st.pos[r], X[st.pos[r]], var_defaults(st, r));
    }
    // The sets' variables: values from the initialisation, then the sets'
    // own bounds, scales and types.
    for (int32_t j = st.vstart_s + 1; j <= st.ny; ++j) {
      if (hs::is_missing(e.Y[j - 1])) e.Y[j - 1] = X[j];
    }
    SetCall c[2];
    sets(st, c);
    for (const SetCall& q : c) {
      RTO_PMLXBND(&s.ncomp, q.layout, &q.start, e.Y, e.YLB, e.YUB, e.YSBND);
      RTO_PMLXSCL(&s.ncomp, q.layout, &q.start, e.Y, e.YSCL);
      RTO_PMLXPP(&s.ncomp, q.layout, &q.start, e.IYATTR);
    }
  }
  // Equation scales.
  int32_t m = 0;
  U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &m);
  const double Hs = st.Hs, Ss = st.Hs / st.Ts;
  auto scale = [&](double v) {
    if (hs::is_missing(e.FSCL[m])) e.FSCL[m] = v;
    ++m;
  };
  if (st.iphase == 1) {
    for (double v : {Hs, Ss, Ss, Hs, Hs}) scale(v);
  } else {
    for (double v : {Hs, Ss, Ss, Ss}) scale(v);
  }
  EquationWriter own(e, s, RowPass::Scales, m, 0);
  model_rows(own, st, nullptr);
  m = own.rows();
  if (st.iphase == 0) {
    RTO_PMLRSCL(&s.ncomp, st.lay_s, &st.eq_s, e.FSCL);
    RTO_PMLRSCL(&s.ncomp, st.lay_o, &st.eq_o, e.FSCL);
  }
  // Pattern.
  write_pass(e, st, RowPass::Pattern, 2);
}

void residuals(Entry& e, State& st) { write_pass(e, st, RowPass::Residuals, 3); }

void jacobian(Entry& e, State& st) { write_pass(e, st, RowPass::Jacobian, 4); }

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  write_streams(e, s);
  if (st.iphase != 0) return;
  // The sets' per-component arrays back into REAL, four per component; only
  // where REAL is long enough.
  const int32_t n = s.ncomp;
  const int32_t base = s.r0 + 2;  // REAL(3) relative to the first model real
  if (base - 1 + 4 * n > *e.NREAL) return;
  for (int32_t i = 0; i < n; ++i) {
    double* r = &e.REAL[base - 1 + 4 * i];
    r[0] = st.S1[i];
    r[1] = st.S2[i];
    r[2] = st.S3[i];
    r[3] = st.S4[i];
  }
}

void check(Entry& e, State& st) {
  *e.ISTAT = R3X_ICHK(e, st);
  if (*e.ISTAT != 0 || st.iphase != 0) return;
  const int32_t n = st.s.ncomp;
  const int32_t base = st.s.r0 + 2;
  for (int32_t i = 0; i < n; ++i) {
    const double* r = &e.REAL[base - 1 + 4 * i];
    st.S1[i] = r[0];
    st.S2[i] = r[1];
    st.S3[i] = r[2];
    st.S4[i] = r[3];
  }
}

// A host whose arrays do not match the block's dimensions or streams is
// refused rather than written past.
constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = dimension_check,
    .check_request = check,
    .serves = reads<structure_ok>,
    .counts = [](Entry&, State& st, int32_t& ny, int32_t& nf,
                 int32_t& nz) { ny = st.ny, nf = st.nf, nz = st.nz; },
    .stream_update = stream_update,
    .report = reads<R3X_REPORT>,
    .refused =
        [](Entry&, State&) {
          hs::write(hs::message_unit(), "");
          hs::write(hs::message_unit(),
                    " Error in R3TREX: the block's arrays do not match its dimensions or streams.");
        },
    .report_without_variables = true,
});

}  // namespace

bool structure_ok(const Entry& e, const State& st) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI == 0 && *e.NINFOUT >= 0 && *e.NINFOUT <= 1 &&
         st.s.ncomp >= 1 && st.s.ncomp <= kMaxComponents && (st.iphase == 0 || st.iphase == 1);
}

}  // namespace r3::turbo_expander

R3_DEFINE_MODEL_ENTRY(R3TREX, r3::turbo_expander::state, r3::turbo_expander::kHooks)
