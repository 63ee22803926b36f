// R3CSEP entry: set-up, dimensions, names, initialisation, residuals,
// Jacobian and pattern, stream update.
//
// Equations, in order:
//   1  SUMDIST_<c>        sum over outlets of alpha(c,k) - 1            NC rows
//   2  MATBAL             F0 - sum Fk                                   1
//   3  DISTRIB_<c>_<out>  alpha(c,k) f0(c) - fk(c), component-major     NC*NO
//   4  DP_<out>           P0 - Pk - DELTAP(k)                           NO
//   5  SUMOUT_<out>       Fk - sum fk(c), outlets 2..NO                 NO-1
//   6  ENERBAL            F0 h0 + DUTY - sum Fk hk                      1
//   7  one enthalpy equation per outlet from the host's enthalpy set   NO
// The first outlet's total flow is fixed by MATBAL, so it needs no SUMOUT row.
#include "models/component_separator/component_separator.h"

#include <cstring>
#include <string>
#include <string_view>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::component_separator {

State& state() { return thread_state<State>(); }

void component_id(const State& st, int32_t i, char out[8]) {
  int32_t len = 8;
  std::memset(out, ' ', 8);
  U3_GET_COMPID(&st.s.idx[i - 1], out, &len);
}

namespace {

// Reads the integer parameters and the inlet-flow limit. A parameter the user
// left unset (the host's integer missing marker) takes 0.
void read_parameters(const Entry& e, State& st) {
  const int32_t p = st.s.i0;
  auto param = [&](int32_t pos) {
    const int32_t v = int_param(e, pos);
    return v == hs::imiss() ? 0 : v;
  };
  st.imode = param(p + 2);
  st.iprmst = param(p + 3);
  st.irunmd = param(p + 4);
  st.renorm = *e.NINT >= p + 5 ? param(p + 5) : 0;
  for (int32_t k = 1; k <= kMaxOutlets; ++k) {
    st.phase[k] = int_param(e, p + 5 + k) == kLiquid ? kLiquid : kVapour;
  }
  const double floor = real_param(e, st.s.r0);
  st.flow_floor = hs::is_missing(floor) ? 1e-6 : floor;
}

// The stream counts the model's tables hold: exactly one material inlet and
// 1 to 20 material outlets.
bool counts_usable(const Entry& e) {
  return *e.NMATIN == 1 && *e.NMATOUT >= 1 && *e.NMATOUT <= kMaxOutlets;
}

// Set-up of every call. False when the call must end (ISTAT set).
bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  setup_header(e, s);
  read_parameters(e, st);
  st.nc = s.ncomp;
  const int32_t kode = *e.KODE;
  if (kode == KODE_DIMEN || kode == KODE_CHECK) {
    *e.ISTAT = i3cchk(e, st);
    if (*e.ISTAT != 0) return false;
  } else if (is_request(kode) && !counts_usable(e)) {
    // The dimension and check requests say why; the others refuse quietly
    // rather than address streams that are not there.
    *e.ISTAT = 1;
    return false;
  }
  if (!setup_streams(e, s)) return false;
  st.no = *e.NMATOUT;
  for (int32_t k = 1; k <= st.no; ++k) {
    U3_MSTRM_SET_KPH(s.dmatout, &k, &st.phase[k]);
    std::memcpy(st.sid[k], &e.IDMATOUT[2 * (k - 1)], 8);
  }
  setup_block_id(e);
  setup_scales(s, st);
  return true;
}

// --- Names ------------------------------------------------------------------

// The pieces joined, the blanks closed up over 64 characters, the first 32
// kept: a name as the host is handed it.
std::string packed_name(std::initializer_list<std::string_view> pieces) {
  char text[64];
  std::memset(text, ' ', sizeof text);
  size_t n = 0;
  for (std::string_view piece : pieces) {
    for (char c : piece) {
      if (n < sizeof text) text[n++] = c;
    }
  }
  int32_t len = 64;
  U3PKCR(&len, text);
  return std::string(text, 32);
}

// A block variable's name from its pieces.
void put_name(std::initializer_list<std::string_view> pieces, int32_t lname, char* slot) {
  const std::string text = packed_name(pieces);
  int32_t len32 = 32;
  U3VNAM(RXN_IBLKID, text.data(), &len32, &lname, slot);
}

std::string_view sv(const char* p) { return {p, 8}; }

// --- The separator's rows ----------------------------------------------------------

// The separator's rows, in the order of the table at the top, each outlet's
// enthalpy row from the host's enthalpy set last.
void separator_rows(EquationWriter& w, const State& st) {
  const StreamMap& map = st.s.map;
  auto y = [&](int32_t pos) { return w.y(pos); };
  auto name = [&](std::initializer_list<std::string_view> pieces) {
    return w.naming() ? packed_name(pieces) : std::string();
  };
  const int32_t nc = st.nc, no = st.no;
  char cid[8] = {};
  for (int32_t i = 1; i <= nc; ++i) {
    if (w.naming()) component_id(st, i, cid);
    double sum = 0.0;
    for (int32_t k = 1; k <= no; ++k) sum += y(st.pos_alpha(i, k));
    w.row(name({"SUMDIST_", sv(cid)}), 1.0, sum - 1.0);
    for (int32_t k = 1; k <= no; ++k) w.at(st.pos_alpha(i, k), 1.0);
  }
  {
    double sum = 0.0;
    for (int32_t k = 1; k <= no; ++k) sum += y(st.out_flow(k));
    w.row("MATBAL", st.Fs, y(map.in_flow) - sum);
    w.at(map.in_flow, 1.0);
    for (int32_t k = 1; k <= no; ++k) w.at(st.out_flow(k), -1.0);
  }
  for (int32_t i = 1; i <= nc; ++i) {
    if (w.naming()) component_id(st, i, cid);
    const double f0 = y(st.in_comp(i));
    // An empty inlet component keeps its alphas in the equations.
    const double dalpha = f0 > st.flow_floor ? f0 : st.flow_floor;
    for (int32_t k = 1; k <= no; ++k) {
      w.row(name({"DISTRIB_", sv(cid), "_", sv(st.sid[k])}), st.Fs,
            y(st.pos_alpha(i, k)) * y(st.in_comp(i)) - y(st.out_comp(k, i)));
      w.at(st.in_comp(i), y(st.pos_alpha(i, k)));
      w.at(st.out_comp(k, i), -1.0);
      w.at(st.pos_alpha(i, k), dalpha);
    }
  }
  for (int32_t k = 1; k <= no; ++k) {
    w.row(name({"DP_", sv(st.sid[k])}), st.Ps,
          y(map.in_pres) - y(st.out_pres(k)) - y(st.pos_dp(k)));
    w.at(map.in_pres, 1.0);
    w.at(st.out_pres(k), -1.0);
    w.at(st.pos_dp(k), -1.0);
  }
  for (int32_t k = 2; k <= no; ++k) {
    double sum = 0.0;
    for (int32_t i = 1; i <= nc; ++i) sum += y(st.out_comp(k, i));
    w.row(name({"SUMOUT_", sv(st.sid[k])}), st.Fs, y(st.out_flow(k)) - sum);
    for (int32_t i = 1; i <= nc; ++i) w.at(st.out_comp(k, i), -1.0);
    w.at(st.out_flow(k), 1.0);
  }
  {
    double r = y(map.in_flow) * y(map.in_enth) + y(st.pos_duty());
    for (int32_t k = 1; k <= no; ++k) r -= y(st.out_flow(k)) * y(st.out_enth(k));
    w.row("ENERBAL", st.Qs, r);
    w.at(map.in_flow, y(map.in_enth));
    w.at(map.in_enth, y(map.in_flow));
    for (int32_t k = 1; k <= no; ++k) {
      w.at(st.out_flow(k), -y(st.out_enth(k)));
      w.at(st.out_enth(k), -y(st.out_flow(k)));
    }
    w.at(st.pos_duty(), 1.0);
  }
  // The host's enthalpy set names its row ENTHALPY; the outlet is appended.
  int32_t comp[kMaxComponents];
  for (int32_t k = 1; k <= no; ++k) {
    for (int32_t i = 1; i <= nc; ++i) comp[i - 1] = st.out_comp(k, i);
    const std::string n = name({"ENTHALPY", "_", sv(st.sid[k])});
    w.property({PropertySet::Enthalpy, st.phase[k], comp, st.out_pres(k), st.pos_temp(k),
                st.out_enth(k), n, st.Hs});
  }
}

// The rows in one pass (the values passes read Y; the scales pass writes a
// scale only where FSCL holds the missing value).
void write_rows(Entry& e, const State& st, RowPass pass) {
  EquationWriter w(e, st.s, pass, 0, 0, st.Fs, st.Ps);
  separator_rows(w, st);
}

void names(Entry& e, State& st) {
  Setup& s = st.s;
  int32_t n = name_stream_variables(e, s);
  const int32_t lname = *e.LNAME;
  char cid[8];
  auto var = [&](std::initializer_list<std::string_view> p) {
    put_name(p, lname, name_slot(e.VARNAM, lname, ++n));
  };
  for (int32_t k = 1; k <= st.no; ++k) var({sv(st.sid[k]), "_DELTAP"});
  for (int32_t i = 1; i <= st.nc; ++i) {
    component_id(st, i, cid);
    for (int32_t k = 1; k <= st.no; ++k) var({"ALPHA_", sv(st.sid[k]), ".", sv(cid)});
  }
  for (int32_t k = 1; k <= st.no; ++k) var({sv(st.sid[k]), "_TEMP"});
  var({"DUTY"});

  EquationWriter w(e, s, RowPass::Names, 0, 0);
  separator_rows(w, st);
  hand_over_names(e, n, w.rows());
}

// --- Dimensions ---------------------------------------------------------------

void dimensions(Entry& e, State& st) {
  Setup& s = st.s;
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
  U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout, e.NY);
  *e.NY += st.num_block_vars();
  EquationWriter w(e, s, RowPass::Count, 0, 0);
  separator_rows(w, st);
  *e.NF += w.rows();
  *e.NZ += w.nonzeros();
}

// --- Initialisation -------------------------------------------------------------

// Outlet stream variables paired with the inlet's (R3CISO): missing values
// and bounds from the inlet, step bounds where missing or left at 1, the
// inlet's scale always, and the inlet's physical type.
void R3CISO(Entry& e, const State& st) {
  const int32_t nvar = st.stride();
  const int32_t in0 = st.s.map.in_flow;
  for (int32_t k = 1; k <= st.no; ++k) {
    const int32_t out0 = st.out_flow(k);
    for (int32_t t = 0; t < nvar; ++t) {
      const int32_t i = in0 + t - 1, q = out0 + t - 1;  // 0-based
      if (hs::is_missing(e.Y[q])) e.Y[q] = e.Y[i];
      if (hs::is_missing(e.YLB[q])) e.YLB[q] = e.YLB[i];
      if (hs::is_missing(e.YUB[q])) e.YUB[q] = e.YUB[i];
      if (hs::is_missing(e.YSBND[q]) || e.YSBND[q] == 1.0) e.YSBND[q] = e.YSBND[i];
      if (!hs::is_missing(e.YSCL[q])) {
        for (int32_t unit : {hs::second_message_unit(), hs::message_unit()}) {
          hs::write(unit, rec::ListDirected().add("!! R3CISO - Warning: Stream variable scale ").view());
          hs::write(unit, rec::ListDirected().add("!! factors entered via Y sentence are ignored").view());
        }
      }
      e.YSCL[q] = e.YSCL[i];
      hs::set_type(e.IYATTR[q], U3VGPT(&e.IYATTR[i]));
    }
  }
}

// Whether the block variables take their defaults or keep the previous
// values; the run mode is reset to 0 where the defaults are chosen.
bool fill_defaults(State& st) {
  if (st.iprmst == 0) {
    st.irunmd = 0;
    return true;
  }
  if (st.irunmd < st.iprmst) {
    if (st.irunmd == -1) return false;
    st.irunmd = 0;
    return true;
  }
  return st.irunmd == 0;
}

void block_defaults(Entry& e, const State& st) {
  const double p0 = e.Y[st.s.map.in_pres - 1];
  const double dp_max = p0 > 0.0 && !hs::is_missing(p0) ? p0 : 0.0;
  for (int32_t k = 1; k <= st.no; ++k) {
    block_variable_defaults(e, st.pos_dp(k), 0.0, {kTypePressure, 0.0, dp_max, st.Ps});
  }
  for (int32_t i = 1; i <= st.nc; ++i) {
    for (int32_t k = 1; k <= st.no; ++k) {
      block_variable_defaults(e, st.pos_alpha(i, k), 1.0, {kTypeDimensionless, 0.0, 1.0, 1.0});
    }
  }
  for (int32_t k = 1; k <= st.no; ++k) {
    block_variable_defaults(e, st.pos_temp(k), 300.0, {kTypeTemperature, 50.0, 5000.0, st.Ts});
  }
  block_variable_defaults(e, st.pos_duty(), st.Qs,
                          {kTypeHeatDuty, -100.0 * st.Qs, 100.0 * st.Qs, st.Qs});
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  // Inlet stream variables.
  inlet_streams(e, s, st, st.imode);
  // Outlet stream variables from the inlet's.
  R3CISO(e, st);
  // Block variables. Re-used values are kept; an entry still missing has
  //    no previous value and takes its default all the same.
  st.reuse = !fill_defaults(st);
  block_defaults(e, st);
  // Equation scales and pattern.
  write_rows(e, st, RowPass::Scales);
  write_rows(e, st, RowPass::Pattern);
  // Specified alphas and outlet flows against the inlet.
  alpha_checks(e, st);
}

void residuals(Entry& e, State& st) { write_rows(e, st, RowPass::Residuals); }

void jacobian(Entry& e, State& st) { write_rows(e, st, RowPass::Jacobian); }

void stream_update(Entry& e, State& st) {
  Setup& s = st.s;
  const int32_t ncf = U3_MSTRM_NCF(s.dmatout);
  const int32_t lstrm = *e.LSTRM;
  if (ncf >= 0 && ncf + 2 <= lstrm) {
    for (int32_t k = 1; k <= st.no; ++k) {
      e.SMATOUT[static_cast<size_t>(k - 1) * static_cast<size_t>(lstrm) +
                static_cast<size_t>(ncf + 1)] = e.Y[st.pos_temp(k) - 1];
    }
  }
  write_streams(e, s);
  // Solution state: 2 when the scaled residuals of the last evaluation are
  // small, 1 when they are not or one of them could not be evaluated. Only
  // the block's own equations are read: a host that repeated the dimension
  // request without clearing its counts holds more in NF than its arrays.
  const double rmiss = hs::rmiss();
  const int32_t nf = st.num_own_eqns() + st.no;
  double sum = 0.0;
  bool stopped = false;
  for (int32_t j = 0; j < nf; ++j) {
    const double r = e.F[j], sc = e.FSCL[j];
    if (!(r < rmiss) || !(sc > 0.0)) {
      stopped = true;
      break;
    }
    sum += (r / sc) * (r / sc);
  }
  hs::solution_state() = (stopped || !(sum <= 0.0001)) ? 1 : 2;
}

// The host's arrays must hold what a request writes or reads: the block's
// variables, its equations and their non-zeros as the dimension request
// counted them. A request on arrays sized otherwise (a report before the
// dimension request, say) is refused rather than read or written past them.
// The set-up runs the input check at the dimension and check requests, before
// the stream descriptors it would otherwise fail to build.
constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check_request = [](Entry& e, State&) { *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0; },
    .counts =
        [](Entry&, State& st, int32_t& ny, int32_t& nf, int32_t& nz) {
          ny = st.pos_duty();
          nf = st.num_own_eqns() + st.no;
          nz = st.num_own_nz() + st.no * (st.nc + 3);
        },
    .stream_update = stream_update,
    .report = reads<R3CSEP_REPORT>,
});

}  // namespace
}  // namespace r3::component_separator

R3_DEFINE_MODEL_ENTRY(R3CSEP, r3::component_separator::state, r3::component_separator::kHooks)
