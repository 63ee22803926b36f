// R3STOIC entry: set-up, dimensions, names, initialisation, residuals,
// Jacobian and pattern, stream update.
//
// Equations: the host's component balances (one per component, no total-flow
// row: the reactions need not conserve moles) with each component's net
// consumption taken off, the host's energy balance (enthalpies referred to the
// elements, so the heat of reaction comes out of it), then the outlet
// enthalpy, outlet pressure, outlet total flow, one net-consumption row per
// component and one conversion row per reaction.
#include <cmath>
#include <string>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/property_equations.h"
#include "models/stoich_reactor/stoich_reactor.h"

namespace r3::stoich_reactor {
namespace {

// The host's component balances are written inlet minus outlet; with
// selector 0 they carry no total-flow row.
constexpr int32_t kComponentBalancesOnly = 0;

// Set-up of every call. False when the call must end (ISTAT set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  read_parameters(e, st);
  if (!setup_streams(e, s)) return false;
  st.pos_t = s.nstream + 1;
  st.pos_dp = s.nstream + 2;
  s.sel = kComponentBalancesOnly;
  setup_block_id(e);
  setup_scales(s, st);
  return true;
}

// A component's identifier, trailing blanks removed.
std::string component_id(int32_t index) {
  char text[8];
  const int32_t len = 8;
  U3_GET_COMPID(&index, text, &len);
  std::string id(text, 8);
  while (!id.empty() && id.back() == ' ') id.pop_back();
  return id;
}

// Stoichiometric ratio of an entry to its reaction's key reactant.
double ratio(const Tables& t, const Coef& c) { return c.nu / t.nu_key[c.rxn]; }

// --- The reactor's own rows -------------------------------------------------

// The reactor's rows after the balances, in order: the outlet enthalpy of
// the host's enthalpy set, the outlet pressure, the outlet total flow, a net
// generation row per component and a conversion row per reaction (named by
// component identifier and reaction number).
void reactor_rows(EquationWriter& w, const State& st) {
  const StreamMap& map = st.s.map;
  const Tables& t = st.t;
  const int32_t nc = st.s.ncomp;
  auto y = [&](int32_t pos) { return w.y(pos); };
  w.property({PropertySet::Enthalpy, st.phase, map.out_comp, map.out_pres, st.pos_t, map.out_enth,
              "ENTH_OUTLET", st.Hs});
  w.row("OUTLET_PRESSURE", st.Ps, y(map.in_pres) - y(map.out_pres) - y(st.pos_dp));
  w.at(map.in_pres, 1.0);
  w.at(map.out_pres, -1.0);
  w.at(st.pos_dp, -1.0);
  double sum = 0.0;
  for (int32_t i = 0; i < nc; ++i) sum += y(map.out_comp[i]);
  w.row("OUTLET_TOTAL_MOLAR_FLOW", st.Fs, y(map.out_flow) - sum);
  w.at(map.out_flow, 1.0);
  for (int32_t i = 0; i < nc; ++i) w.at(map.out_comp[i], -1.0);
  for (int32_t i = 1; i <= nc; ++i) {
    double r = y(st.pos_ng(i));
    for (int32_t j = t.c_prod_start[i]; j < t.c_prod_start[i + 1]; ++j) {
      const Coef& c = t.prod[t.c_prod[j]];
      r += ratio(t, c) * y(st.pos_ext(c.rxn));
    }
    for (int32_t j = t.c_reac_start[i]; j < t.c_reac_start[i + 1]; ++j) {
      const Coef& c = t.reac[t.c_reac[j]];
      r -= ratio(t, c) * y(st.pos_ext(c.rxn));
    }
    w.row(w.naming() ? "NET_GEN_" + component_id(st.s.idx[i - 1]) : "", st.Fs, r);
    w.at(st.pos_ng(i), 1.0);
    for (int32_t j = t.c_prod_start[i]; j < t.c_prod_start[i + 1]; ++j) {
      const Coef& c = t.prod[t.c_prod[j]];
      w.at(st.pos_ext(c.rxn), ratio(t, c));
    }
    for (int32_t j = t.c_reac_start[i]; j < t.c_reac_start[i + 1]; ++j) {
      const Coef& c = t.reac[t.c_reac[j]];
      w.at(st.pos_ext(c.rxn), -ratio(t, c));
    }
  }
  for (int32_t r = 1; r <= t.nrxn; ++r) {
    const int32_t key = map.in_comp[t.key[r] - 1];
    w.row(w.naming() ? "CONVERSION_RXN_" + std::to_string(r) : "", st.Fs,
          y(st.pos_ext(r)) - y(key) * y(st.pos_conv(r)) * 0.01);
    w.at(st.pos_ext(r), 1.0);
    w.at(key, -0.01 * y(st.pos_conv(r)));
    w.at(st.pos_conv(r), -0.01 * y(key));
  }
}

// The rows in one pass, after the balances' m rows and k entries.
void write_rows(Entry& e, const State& st, RowPass pass, int32_t& m, int32_t& k) {
  EquationWriter w(e, st.s, pass, m, k, st.Fs, st.Ps);
  reactor_rows(w, st);
  m = w.rows();
  k = w.nonzeros();
}

// --- Host balances ----------------------------------------------------------

// The four stream counts and descriptors, as every energy-balance operation
// takes them.
#define R3_STOIC_GROUPS                                                                   \
  e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, st.s.dmatin, st.s.dinfin, st.s.dmatout, \
      st.s.dinfout

// --- Requests ---------------------------------------------------------------

void dimensions(Entry& e, State& st) {
  Setup& s = st.s;
  *e.NAUX1 = *e.NF = *e.NY = *e.NAUX2 = *e.NAUX3 = *e.NZ = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.NY);
  U3_MBAL_NF(&s.ncomp, &s.sel, e.NF);
  U3_EBAL_NF(R3_STOIC_GROUPS, e.NF);
  U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, e.NZ);
  *e.NZ += s.ncomp;  // net consumption in each component balance
  U3_EBAL_NZ(R3_STOIC_GROUPS, e.NZ);
  const Tables& t = st.t;
  *e.NY += s.ncomp + 1 + 2 * t.nrxn;
  *e.NY += 1;  // OUTLET_TEMP
  int32_t m = *e.NF, k = *e.NZ;
  write_rows(e, st, RowPass::Count, m, k);
  *e.NF = m;
  *e.NZ = k;
}

// Name text padded to 20 characters (longer texts are kept whole).
std::string padded(std::string text) {
  if (text.size() < 20) text.resize(20, ' ');
  return text;
}

void vname(Entry& e, const std::string& text, int32_t slot) {
  const std::string t = padded(text);
  const int32_t len = static_cast<int32_t>(t.size());
  U3VNAM(e.IDBLK, t.data(), &len, e.LNAME, name_slot(e.VARNAM, *e.LNAME, slot));
}

void names(Entry& e, State& st) {
  Setup& s = st.s;
  const Tables& t = st.t;
  int32_t n = name_stream_variables(e, s);
  int32_t m = 0;
  U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IDBLK, e.LNAME,
              e.EQNNAM, &m);
  U3_EBAL_NAM(R3_STOIC_GROUPS, e.IDBLK, e.LNAME, e.EQNNAM, &m);
  // Block variables.
  vname(e, "OUTLET_TEMP", ++n);
  vname(e, "REACTOR_DP", ++n);
  for (int32_t i = 0; i < s.ncomp; ++i) vname(e, "NET_GEN_" + component_id(s.idx[i]), ++n);
  for (int32_t r = 1; r <= t.nrxn; ++r) vname(e, "CONVERSION_RXN_" + std::to_string(r), ++n);
  for (int32_t r = 1; r <= t.nrxn; ++r) vname(e, "EXTENT_OF_RXN_" + std::to_string(r), ++n);
  // Equations.
  EquationWriter w(e, s, RowPass::Names, m, 0);
  reactor_rows(w, st);
  hand_over_names(e, n, w.rows());
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const StreamMap& map = s.map;
  const double rmiss = hs::rmiss();
  // Heat streams: a user's starting value survives a stream that carries none;
  // otherwise they start at zero.
  const double qin0 = map.in_info > 0 ? e.Y[map.in_info - 1] : 0.0;
  // Inlet stream values into Y.
  U3_MSTRM_PLX2X(s.dmatin, e.SMATIN, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.Y);
  if (*e.NINFI == 1) {
    U3_ISTRM_PLX2X(s.dinfin, e.SINFIN, e.Y);
    double& q = e.Y[map.in_info - 1];
    if (hs::is_missing(q)) q = hs::is_missing(qin0) ? 0.0 : qin0;
  }
  if (*e.NINFOUT == 1) {
    double& q = e.Y[map.out_info - 1];
    if (hs::is_missing(q)) q = 0.0;
  }
  // Bounds, step bounds, scales and types of the material streams.
  for (const int32_t* d : {s.dmatin, s.dmatout}) {
    material_stream_defaults(e, s, d, st.Fs, st.Hs, st.Ps);
  }
  // Heat streams: within +-1000 duty scales.
  const double qlb = -1000.0 * st.Qs, qub = 1000.0 * st.Qs, qsb = 10.0;
  auto info_defaults = [&](const int32_t* d) {
    info_stream_defaults(e, d, qlb, qub, qsb, st.Qs);
  };
  if (*e.NINFI == 1) info_defaults(s.dinfin);
  if (*e.NINFOUT == 1) info_defaults(s.dinfout);
  // Sequential-modular use fixes the inlet.
  if (st.imode == 0) {
    U3_MSTRM_FIX(s.dmatin, e.IYATTR);
    if (*e.NINFI == 1) U3_ISTRM_FIX(s.dinfin, e.IYATTR);
  }
  // Outlet stream values: where missing, the inlet's.
  auto from_inlet = [&](int32_t out, int32_t in) {
    if (!(e.Y[out - 1] < rmiss)) e.Y[out - 1] = e.Y[in - 1];
  };
  from_inlet(map.out_pres, map.in_pres);
  from_inlet(map.out_enth, map.in_enth);
  from_inlet(map.out_flow, map.in_flow);
  for (int32_t i = 0; i < s.ncomp; ++i) from_inlet(map.out_comp[i], map.in_comp[i]);
  // Block variables.
  const int32_t ncf = U3_MSTRM__NCF(e.NSSTRM, e.ISSTYP);
  const double tin = e.SMATIN[ncf + 1];
  const double t0 = (hs::is_missing(tin) || !(tin > 0.0)) ? 0.3 * st.Ts : tin;
  // The outlet temperature may lie far above the inlet's (an adiabatic
  // combustion reaches 2000 K and more), so its upper bound is wide.
  block_variable_defaults(e, st.pos_t, t0, {kTypeTemperature, 0.05 * st.Ts, 6.0 * st.Ts, st.Ts});
  block_variable_defaults(e, st.pos_dp, 0.0, {kTypePressureDifference, 0.0, st.Ps, st.Ps});
  for (int32_t i = 1; i <= s.ncomp; ++i) {
    block_variable_defaults(e, st.pos_ng(i), 0.0, {kTypeMolarFlow, -rmiss, rmiss, st.Fs});
  }
  for (int32_t r = 1; r <= st.t.nrxn; ++r) {
    block_variable_defaults(e, st.pos_conv(r), 0.0, {kTypeDimensionless, 0.0, 100.0, 1.0});
    block_variable_defaults(e, st.pos_ext(r), 0.0, {kTypeMolarFlow, 0.0, rmiss, st.Fs});
  }
  // Equation scales.
  int32_t m = 0;
  U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &m);
  U3_EBAL_SCL(R3_STOIC_GROUPS, e.FSCL, &m);
  int32_t k = 0;
  write_rows(e, st, RowPass::Scales, m, k);
  // Pattern.
  m = 0;
  k = 0;
  U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW, e.IJCOL,
              &m, &k);
  for (int32_t i = 1; i <= s.ncomp; ++i) {
    e.IJROW[k] = i;
    e.IJCOL[k] = st.pos_ng(i);
    ++k;
  }
  U3_EBAL_PAT(R3_STOIC_GROUPS, e.IJROW, e.IJCOL, &m, &k);
  write_rows(e, st, RowPass::Pattern, m, k);
}

void residuals(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F, &m);
  // Inlet minus outlet minus what the reactions consume.
  for (int32_t i = 1; i <= s.ncomp; ++i) e.F[i - 1] -= e.Y[st.pos_ng(i) - 1];
  U3_EBAL_RES(R3_STOIC_GROUPS, e.Y, e.F, &m);
  write_rows(e, st, RowPass::Residuals, m, k);
}

void jacobian(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t m = 0, k = 0;
  U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.DFDY, &k);
  for (int32_t i = 1; i <= s.ncomp; ++i) e.DFDY[k++] = -1.0;
  U3_EBAL_JAC(R3_STOIC_GROUPS, e.Y, e.DFDY, &k);
  write_rows(e, st, RowPass::Jacobian, m, k);
}

// A block whose data cannot be used is refused at every request that would
// build or evaluate its equations. The reactor has no input-check request and
// no report.
int32_t usable(Entry&, State& st) {
  if (st.nerr > 0) {
    write_refusal(st);
    return 1;
  }
  if (st.heater_note) write_heater_note(st);
  return 0;
}

constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = usable,
    .check_request = [](Entry&, State&) {},
    .serves = [](Entry&, State& st) { return st.nerr == 0; },
    .refused = [](Entry&, State& st) { write_refusal(st); },
});

}  // namespace
}  // namespace r3::stoich_reactor

R3_DEFINE_MODEL_ENTRY(R3STOIC, r3::stoich_reactor::state, r3::stoich_reactor::kHooks)
