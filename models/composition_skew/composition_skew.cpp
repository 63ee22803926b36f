// R3SKEW entry: set-up with the block's persistent work areas, dimensions,
// names, initialisation, residuals, pattern and Jacobian, stream update.
//
// Equations (no host material balances): inlet mass and standard-volume
// flows, the inlet composition on the chosen basis, the interpolated skew
// factor of each component, the normalisation, the skewed outlet composition,
// the outlet mass, standard-volume and molar flows with NC - 1 outlet
// composition rows, the pressure drop, the optional mass balance, the duty,
// then the outlet phase-equilibrium set "FLSH".
#include "models/composition_skew/composition_skew.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::composition_skew {

State& state() { return thread_state<State>(); }

namespace {

// --- Work areas -------------------------------------------------------------

int32_t& iwork(const State& st, int w) {
  return DMS_IPLEX[st.ioff + w - 2];
}
double& rwork(const State& st, RWork a, int i) {
  return DMS_PLEX[st.roff + a * kMaxComponents + i - 2];
}
double mw(const State& st, int i) {
  return rwork(st, RW_MW, i);
}
double sv(const State& st, int i) {
  return rwork(st, RW_SV, i);
}
double* saved_a(const State& st) {
  return &rwork(st, RW_SA, 1);
}
double* saved_b(const State& st) {
  return &rwork(st, RW_SB, 1);
}

void message(std::initializer_list<std::string_view> lines) {
  const int32_t unit = hs::message_unit();
  hs::write(unit, "");
  for (std::string_view l : lines) hs::write(unit, rec::Record().x(5).a(l).view());
}

// Finds the block's two work areas through the identifiers kept in
// INT(k+6) and INT(k+7), allocating them when the block has none yet.
bool work_areas(Entry& e, State& st) {
  const int32_t kr = st.k + 6, ki = st.k + 7;
  if (kr < 1 || ki > *e.NINT) {
    message({"ERROR-(r3skew):  the integer parameter array is too short",
             "to keep the identifiers of the work areas."});
    *e.ISTAT = 1;
    return false;
  }
  int32_t& hr = e.INT[kr - 1];
  int32_t& hi = e.INT[ki - 1];
  st.roff = st.ioff = 0;
  if (hr != hs::imiss() && hr != 0 && hi != hs::imiss() && hi != 0) {
    DMS_LOCATR(&hr, &st.roff);
    DMS_LOCATI(&hi, &st.ioff);
  }
  if (st.roff <= 0 || st.ioff <= 0) {
    // Half a pair is of no use: release it before starting afresh.
    if (st.roff > 0) DMS_FREEBD(&hr);
    if (st.ioff > 0) DMS_FREEBD(&hi);
    st.roff = st.ioff = 0;
    const int32_t one = 1, zero = 0, rsize = kRealWorkSize, isize = IW_SIZE;
    int32_t h1 = 0, h2 = 0;
    DMS_SIMBEAD(&one);
    DMS_ALLOCR(&rsize, &h1, &st.roff);
    DMS_ALLOCI(&isize, &h2, &st.ioff);
    DMS_SIMBEAD(&zero);
    if (h1 == 0 || h2 == 0 || st.roff <= 0 || st.ioff <= 0) {
      if (h1 != 0) DMS_FREEBD(&h1);
      if (h2 != 0) DMS_FREEBD(&h2);
      message({"ERROR-(r3skew):  no work space for the block."});
      *e.ISTAT = 1;
      return false;
    }
    hr = h1;
    hi = h2;
    for (int w = 1; w <= IW_SIZE; ++w) iwork(st, w) = 0;
    for (int i = 1; i <= kRealWorkSize; ++i) DMS_PLEX[st.roff + i - 2] = 0.0;
  }
  return true;
}

// Reads the numbering kept in the integer work area; valid only when it was
// built for the block's present shape.
void read_numbering(State& st) {
  st.numbered = iwork(st, IW_MARK) == kNumberingMark && iwork(st, IW_NC) == st.nc &&
                iwork(st, IW_NKNOTS) == st.nknots && iwork(st, IW_IKNOT) == st.iknot &&
                iwork(st, IW_NSTREAM) == st.s.nstream && iwork(st, IW_IOPT) == st.iopt &&
                iwork(st, IW_IMBAL) == st.imbal;
  for (int g = 0; g < kNumGroups; ++g) st.first[g] = iwork(st, IW_GROUP + g);
  for (int w = 0; w < 9; ++w) st.layout[w] = iwork(st, IW_LAYOUT + w);
}

// Component data into the real work area: molecular weights from the data
// manager's table, standard liquid volumes as the pure liquid's molar volume
// at 60 F and one atmosphere from the property method.
void component_data(Entry& e, State& st) {
  const int32_t off = DMS_IPOFF1[305];
  int32_t code = 1, ist = 0;
  double x[kMaxComponents];
  for (int i = 1; i <= st.nc; ++i) {
    rwork(st, RW_MW, i) = DMS_PLEX[off + st.s.idx[i - 1] - 1];
    for (int c = 0; c < st.nc; ++c) x[c] = 0.0;
    x[i - 1] = 1.0;
    double v = hs::rmiss(), v2 = 0.0;
    ist = 0;
    PPMON_VOLL(&kStdT, &kStdP, x, &st.nc, st.s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
               &code, &v, &v2, &ist);
    if (hs::is_missing(v) || !std::isfinite(v) || v <= 0.0) v = rwork(st, RW_MW, i) / 700.0;
    rwork(st, RW_SV, i) = v;
  }
}

bool set_up(Entry& e, State& st) {
  Setup& s = st.s;
  if (!setup_components(e, s)) return false;
  if (!setup_streams(e, s)) return false;
  st.nc = s.ncomp;
  setup_header(e, s);
  st.k = s.i0;
  st.q = s.r0;
  const int32_t im = hs::imiss();
  auto opt = [&](int32_t pos, int32_t dflt) {
    const int32_t v = int_param(e, pos);
    return v == im ? dflt : v;
  };
  st.imode = int_param(e, st.k);
  st.nknots = int_param(e, st.k + 1);
  st.icomp = opt(st.k + 2, 0);
  st.iknot = opt(st.k + 3, 0);
  st.imbal = opt(st.k + 4, 0);
  st.iopt = opt(st.k + 5, 4);
  setup_block_id(e);
  setup_scales(s, st);
  if (!work_areas(e, st)) return false;
  read_numbering(st);
  return true;
}

// The components' 8-character identifiers, for names and the report.
void component_ids(State& st) {
  for (int i = 0; i < st.nc; ++i) {
    const int32_t len = 8;
    U3_GET_COMPID(&st.s.idx[i], st.cid[i], &len);
  }
}

// The numbering is needed by every request after the dimension request.
bool need_numbering(Entry& e, const State& st) {
  if (st.numbered) return true;
  message({"ERROR-(r3skew):  the block's variable numbering is missing or out of date;",
           "the dimension request must come first."});
  *e.ISTAT = 1;
  return false;
}

bool valid_counts(const State& st) {
  return st.nknots >= 2 && st.nknots <= 10000;
}

}  // namespace

double knot_temperature(const Entry& e, const State& st, int j) {
  if (st.iknot == 1) return e.Y[pos(st, G_TKNOT, j) - 1];
  return real_param(e, st.q + j - 1);
}

double tint(const Entry& e, const State& st, int i) {
  return real_param(e, st.q + st.nknots + i - 1);
}

bool r3skew_findknot(Entry& e, State& st) {
  const int n = st.nknots;
  for (int i = 1; i <= st.nc; ++i) {
    const double t = tint(e, st, i);
    int j = 0;
    if (n >= 2) {
      if (t < knot_temperature(e, st, 1) || t < knot_temperature(e, st, 2)) {
        j = 1;
      } else if (t >= knot_temperature(e, st, n)) {
        j = n - 1;
      } else {
        for (int l = 2; l <= n - 1; ++l) {
          if (knot_temperature(e, st, l) <= t && t < knot_temperature(e, st, l + 1)) {
            j = l;
            break;
          }
        }
      }
    }
    st.interval[i - 1] = j;
    if (j == 0) {
      const int32_t unit = hs::message_unit();
      hs::write(unit, "");
      hs::write(unit, rec::Record()
                          .x(5)
                          .text("ERROR-(r3skew_findknot):  interpolation temperature ")
                          .i(i, 3)
                          .view());
      hs::write(
          unit,
          rec::Record().x(5).text("went unassigned.  possible interpolation temperature").view());
      hs::write(unit, rec::Record().x(5).text("outside range of knot point temperatures.").view());
      *e.IEVAL1 = 999;
      *e.IEVAL2 = 999;
      return false;
    }
  }
  return true;
}

namespace {

// --- Dimensions ---------------------------------------------------------------

// Fills missing interpolation temperatures and knot temperatures in REAL and
// checks the knots: 0 valid, 1 invalid (message written).
int32_t check_knots(Entry& e, State& st) {
  if (*e.NMATIN != 1 || *e.NMATOUT != 1) {
    message({"ERROR-(r3skew):  the block needs exactly one material inlet stream",
             "and one material outlet stream."});
    return 1;
  }
  if (!valid_counts(st)) {
    message({"ERROR-(r3skew):  at least two knot points are required."});
    return 1;
  }
  if (st.icomp < 0 || st.icomp > 2) {
    message({"ERROR-(r3skew):  composition type must be 0, 1 or 2."});
    return 1;
  }
  if (st.iknot < 0 || st.iknot > 1) {
    message({"ERROR-(r3skew):  knot temperature flag must be 0 or 1."});
    return 1;
  }
  if (st.q < 1 || st.q + st.nknots + st.nc - 1 > *e.NREAL) {
    message({"ERROR-(r3skew):  the real parameter array is too short for",
             "the knot and interpolation temperatures."});
    return 1;
  }
  double* R = e.REAL + st.q - 1;  // R[j-1] = TK(j), R[nknots+i-1] = Tint(i)
  double* T = R + st.nknots;
  const int32_t off = DMS_IPOFF1[412];
  for (int i = 0; i < st.nc; ++i) {
    if (hs::is_missing(T[i])) T[i] = DMS_PLEX[off + st.s.idx[i] - 1];
  }
  int cmin = 0, cmax = 0;
  for (int i = 1; i < st.nc; ++i) {
    if (T[i] < T[cmin]) cmin = i;
    if (T[i] > T[cmax]) cmax = i;
  }
  bool missing = false;
  for (int j = 0; j < st.nknots; ++j) missing = missing || hs::is_missing(R[j]);
  if (missing) {
    const double lo = T[cmin], hi = T[cmax];
    for (int j = 0; j < st.nknots; ++j) {
      R[j] = lo + j * (hi - lo) / (st.nknots - 1);
    }
    return 0;
  }
  const int32_t unit = hs::message_unit();
  for (int j = 1; j <= st.nknots - 1; ++j) {
    if (!(R[j] - R[j - 1] > 0.0)) {
      hs::write(unit, "");
      hs::write(unit,
                rec::Record().x(5).text("ERROR-(r3skew):  knot point temperatures must be").view());
      hs::write(unit, rec::Record().x(5).text("entered in increasing order.").view());
      hs::write(unit, rec::Record()
                          .x(5)
                          .text("tknot(")
                          .i(j + 1, 3)
                          .text(")=")
                          .e1p(R[j], 12, 5)
                          .text(" <= tknot(")
                          .i(j, 3)
                          .text(")=")
                          .e1p(R[j - 1], 12, 5)
                          .view());
      return 1;
    }
  }
  auto cover = [&](const char* what, int c) {
    hs::write(unit, "");
    hs::write(unit,
              rec::Record().x(5).text("ERROR-(r3skew):  knot point temperatures do not").view());
    hs::write(unit, rec::Record().x(5).text("cover range of interpolation temperatures.").view());
    hs::write(unit, rec::Record().x(5).text(what).i(c + 1, 3).text(")=").e1p(T[c], 12, 5).view());
  };
  if (R[0] > T[cmin]) {
    cover("tknot(1) > minimum tint(", cmin);
    return 1;
  }
  if (R[st.nknots - 1] < T[cmax]) {
    cover("tknot(nknots) < maximum tint(", cmax);
    return 1;
  }
  return 0;
}

// The skew's own rows (defined with the equations below).
void skew_rows(EquationWriter& w, const Entry& e, const State& st);

// The model's own variables (before the set's).
int32_t own_variables(const State& st) {
  const int32_t nc = st.nc, nk = st.nknots;
  return 2 + nc + (st.iknot == 1 ? nk : 0) + nk + 2 * nc + 6;
}

void dimensions(Entry& e, State& st) {
  *e.NF = *e.NY = *e.NZ = 0;
  const int32_t n = st.s.nstream;
  // Numbering of the block variables after the stream variables.
  const int32_t nc = st.nc, nk = st.nknots;
  const int32_t counts[kNumGroups] = {1, 1, nc, st.iknot == 1 ? nk : 0, nk, nc, nc, 1, 1, 1,
                                      1, 1, 1};
  int32_t next = n + 1;
  for (int g = 0; g < kNumGroups; ++g) {
    st.first[g] = next;
    next += counts[g];
  }
  EquationWriter w(e, st.s, RowPass::Count, 0, 0);
  skew_rows(w, e, st);
  *e.NY = n + own_variables(st);
  *e.NF = w.rows();
  *e.NZ = w.nonzeros();
  RTO_PMLDIM(&st.s.ncomp, st.s.idx, &st.iopt, e.NY, e.NF, e.NZ, st.layout);
  iwork(st, IW_MARK) = kNumberingMark;
  iwork(st, IW_NC) = nc;
  iwork(st, IW_NKNOTS) = nk;
  iwork(st, IW_IKNOT) = st.iknot;
  iwork(st, IW_NSTREAM) = n;
  iwork(st, IW_IOPT) = st.iopt;
  iwork(st, IW_IMBAL) = st.imbal;
  for (int g = 0; g < kNumGroups; ++g) iwork(st, IW_GROUP + g) = st.first[g];
  for (int w = 0; w < 9; ++w) iwork(st, IW_LAYOUT + w) = st.layout[w];
  st.numbered = true;
  component_data(e, st);
}

// --- Names ------------------------------------------------------------------

std::string cid_text(const State& st, int i) {
  return std::string(st.cid[i - 1], 8);
}

// A name, blanks closed up, as a 64-character text.
std::string packed_name(const std::string& text) {
  char buf[64];
  std::memset(buf, ' ', sizeof buf);
  std::memcpy(buf, text.data(), std::min<size_t>(text.size(), sizeof buf));
  const int32_t len = 64;
  U3PKCR(&len, buf);
  return std::string(buf, 64);
}

std::string five(int j) {
  char b[16];
  std::snprintf(b, sizeof b, "%5d", j);
  return b;
}

void names(Entry& e, State& st) {
  component_ids(st);
  Setup& s = st.s;
  int32_t n = name_stream_variables(e, s);
  const int32_t lname = *e.LNAME;
  const int32_t nc = st.nc, nk = st.nknots;
  auto var = [&](const std::string& t) {
    hs::vnam(packed_name(t), lname, name_slot(e.VARNAM, lname, ++n));
  };
  var("MASSIN");
  var("STDVIN");
  for (int i = 1; i <= nc; ++i) var(cid_text(st, i) + ".SKEW");
  if (st.iknot == 1) {
    for (int j = 1; j <= nk; ++j) var("TKNOT_" + five(j));
  }
  for (int j = 1; j <= nk; ++j) var("XKNOT_" + five(j));
  for (int i = 1; i <= nc; ++i) var(cid_text(st, i) + ".COMPIN");
  for (int i = 1; i <= nc; ++i) var(cid_text(st, i) + ".COMPOUT");
  for (const char* t : {"CNORM", "MASSOUT", "STDVOUT", "DELTAP", "DUTY", "TOUT"}) var(t);

  EquationWriter w(e, s, RowPass::Names, 0, 0);
  skew_rows(w, e, st);
  int32_t m = w.rows();
  // The outlet phase-equilibrium set.
  int32_t cids[2 * kMaxComponents];
  std::memcpy(cids, st.cid, 8 * static_cast<size_t>(nc));
  int32_t prefix;
  std::memcpy(&prefix, "FLSH", 4);
  const int32_t start = st.layout[1];
  RTO_PMLNAM(&s.ncomp, s.idx, cids, st.layout, &prefix, &start, e.IDBLK, e.LNAME, e.VARNAM,
             e.EQNNAM, &m);
  hand_over_names(e, *e.NY, m);
}

// --- Equations --------------------------------------------------------------

// The values the rows read, through the writer (nothing is read from Y in the
// passes that write no values).
struct View {
  const EquationWriter& w;
  const Entry& e;
  const State& st;
  double y(int32_t p) const { return w.y(p); }
  double g(Group gr, int n = 1) const { return y(pos(st, gr, n)); }
  double f0(int i) const { return y(st.s.map.in_comp[i - 1]); }
  double f1(int i) const { return y(st.s.map.out_comp[i - 1]); }
  double tk(int j) const {
    if (!w.evaluates()) return 0.0;
    return st.iknot == 1 ? g(G_TKNOT, j) : real_param(e, st.q + j - 1);
  }
  double xk(int j) const { return g(G_XKNOT, j); }
  // The basis total and the basis factor of component i.
  double total_in() const {
    return st.icomp == 0 ? y(st.s.map.in_flow) : st.icomp == 1 ? g(G_MASSIN) : g(G_STDVIN);
  }
  double total_out() const {
    return st.icomp == 0 ? y(st.s.map.out_flow) : st.icomp == 1 ? g(G_MASSOUT) : g(G_STDVOUT);
  }
  double factor(int i) const { return st.icomp == 0 ? 1.0 : st.icomp == 1 ? mw(st, i) : sv(st, i); }
  int32_t total_in_pos() const {
    return st.icomp == 0 ? st.s.map.in_flow : pos(st, st.icomp == 1 ? G_MASSIN : G_STDVIN);
  }
  int32_t total_out_pos() const {
    return st.icomp == 0 ? st.s.map.out_flow : pos(st, st.icomp == 1 ? G_MASSOUT : G_STDVOUT);
  }
};

bool basis_ok(const State& st) {
  return st.icomp >= 0 && st.icomp <= 2;
}

// The skew's own rows, in order, before the outlet phase-equilibrium set;
// the interpolation rows use the knot intervals found last.
void skew_rows(EquationWriter& w, const Entry& e, const State& st) {
  const View v{w, e, st};
  const StreamMap& map = st.s.map;
  const int nc = st.nc, nk = st.nknots;
  auto name = [&](const std::string& text) {
    return w.naming() ? packed_name(text) : std::string();
  };
  auto cname = [&](const char* head, int i) {
    return w.naming() ? packed_name(head + cid_text(st, i)) : std::string();
  };
  // A side's total on the mass or standard-volume basis: the total variable
  // minus the component flows (Y positions comp) times their basis factors.
  auto total_row = [&](const char* text, Group total, const int32_t* comp,
                       double (*factor)(const State&, int)) {
    double sum = 0.0;
    for (int i = 1; i <= nc; ++i) sum += v.y(comp[i - 1]) * factor(st, i);
    w.row(name(text), st.Fs, v.g(total) - sum);
    w.at(pos(st, total), 1.0);
    for (int i = 1; i <= nc; ++i) w.at(comp[i - 1], -factor(st, i));
  };
  total_row("MASSIN", G_MASSIN, map.in_comp, mw);
  total_row("STDVIN", G_STDVIN, map.in_comp, sv);
  for (int i = 1; i <= nc; ++i) {
    w.row(cname("COMPIN_", i), st.Fs, v.g(G_COMPIN, i) * v.total_in() - v.f0(i) * v.factor(i));
    if (!basis_ok(st)) continue;
    w.at(v.total_in_pos(), v.g(G_COMPIN, i));
    w.at(pos(st, G_COMPIN, i), v.total_in());
    w.at(map.in_comp[i - 1], -v.factor(i));
  }
  for (int i = 1; i <= nc; ++i) {
    const int j = st.interval[i - 1];
    const double t = w.evaluates() ? tint(e, st, i) : 0.0;
    w.row(cname("INTERP_", i), 1.0,
          (v.g(G_SKEW, i) - v.xk(j)) * (v.tk(j + 1) - v.tk(j)) -
              (v.xk(j + 1) - v.xk(j)) * (t - v.tk(j)));
    const double D = v.tk(j + 1) - v.tk(j);
    const double dt = t - v.tk(j);
    if (st.iknot == 0) {
      w.at(pos(st, G_SKEW, i), D);
      w.at(pos(st, G_XKNOT, j), dt - D);
      w.at(pos(st, G_XKNOT, j + 1), -dt);
    } else if (st.iknot == 1) {
      w.at(pos(st, G_SKEW, i), D);
      for (int l = 1; l <= nk; ++l) {
        w.at(pos(st, G_XKNOT, l), l == j ? dt - D : l == j + 1 ? -dt : 0.0);
      }
      const double s = v.g(G_SKEW, i);
      for (int l = 1; l <= nk; ++l) {
        w.at(pos(st, G_TKNOT, l), l == j ? v.xk(j + 1) - s : l == j + 1 ? s - v.xk(j) : 0.0);
      }
    }
  }
  double sn = 0.0;
  for (int i = 1; i <= nc; ++i) sn += v.g(G_SKEW, i) * v.g(G_COMPIN, i);
  w.row(name("NORML"), 1.0, v.g(G_CNORM) - sn);
  w.at(pos(st, G_CNORM), 1.0);
  for (int i = 1; i <= nc; ++i) w.at(pos(st, G_SKEW, i), -v.g(G_COMPIN, i));
  for (int i = 1; i <= nc; ++i) w.at(pos(st, G_COMPIN, i), -v.g(G_SKEW, i));
  for (int i = 1; i <= nc; ++i) {
    w.row(cname("SKEW_", i), 1.0,
          v.g(G_COMPOUT, i) * v.g(G_CNORM) - v.g(G_SKEW, i) * v.g(G_COMPIN, i));
    w.at(pos(st, G_CNORM), v.g(G_COMPOUT, i));
    w.at(pos(st, G_COMPOUT, i), v.g(G_CNORM));
    w.at(pos(st, G_SKEW, i), -v.g(G_COMPIN, i));
    w.at(pos(st, G_COMPIN, i), -v.g(G_SKEW, i));
  }
  total_row("MASSOUT", G_MASSOUT, map.out_comp, mw);
  total_row("STDVOUT", G_STDVOUT, map.out_comp, sv);
  double of = 0.0;
  for (int i = 1; i <= nc; ++i) of += v.f1(i);
  w.row(name("MOLEOUT"), st.Fs, v.y(map.out_flow) - of);
  w.at(map.out_flow, 1.0);
  for (int i = 1; i <= nc; ++i) w.at(map.out_comp[i - 1], -1.0);
  for (int i = 1; i <= nc - 1; ++i) {
    w.row(cname("COMPOUT_", i), st.Fs, v.g(G_COMPOUT, i) * v.total_out() - v.f1(i) * v.factor(i));
    if (!basis_ok(st)) continue;
    w.at(v.total_out_pos(), v.g(G_COMPOUT, i));
    w.at(pos(st, G_COMPOUT, i), v.total_out());
    w.at(map.out_comp[i - 1], -v.factor(i));
  }
  w.row(name("PDROP"), st.Ps, v.y(map.out_pres) - v.y(map.in_pres) - v.g(G_DELTAP));
  w.at(map.out_pres, 1.0);
  w.at(map.in_pres, -1.0);
  w.at(pos(st, G_DELTAP), -1.0);
  if (st.imbal == 1) {
    w.row(name("MBAL"), st.Fs, v.g(G_MASSIN) - v.g(G_MASSOUT));
    w.at(pos(st, G_MASSIN), 1.0);
    w.at(pos(st, G_MASSOUT), -1.0);
  }
  w.row(name("FLASH_DUTY"), st.Qs, v.g(G_DUTY));
  w.at(pos(st, G_DUTY), 1.0);
}

// The outlet phase-equilibrium set in one mode.
enum SetMode { PATTERN, RESIDUAL, JACOBIAN };
void outlet_set(Entry& e, State& st, SetMode mode, int32_t& m, int32_t& k) {
  Setup& s = st.s;
  const int32_t start = st.layout[1];
  int32_t ih = s.map.out_enth, ip = s.map.out_pres, it = pos(st, G_TOUT);
  switch (mode) {
    case PATTERN:
      RTO_PMLSPR(&s.ncomp, s.idx, s.map.out_comp, &ih, &ip, &it, st.layout, &st.iopt, &start, &m,
                 &k, e.IJROW, e.IJCOL);
      break;
    case RESIDUAL:
      RTO_PMLRES(&s.ncomp, s.idx, s.map.out_comp, &ih, &ip, &it, st.layout, saved_a(st),
                 saved_b(st), &st.iopt, e.Y, &start, &m, e.F);
      break;
    case JACOBIAN: {
      const double eps = 1e-6;
      RTO_PMLJAC(&s.ncomp, s.idx, s.map.out_comp, &ih, &ip, &it, st.layout, saved_a(st),
                 saved_b(st), &eps, &st.iopt, e.Y, &start, &k, e.DFDY);
      break;
    }
  }
}

// --- Initialisation -----------------------------------------------------------

void fill(double& v, double d) {
  if (hs::is_missing(v)) v = d;
}

void initialise(Entry& e, State& st) {
  Setup& s = st.s;
  const StreamMap& map = s.map;
  const int nc = st.nc, nk = st.nknots;
  component_data(e, st);
  // Inlet stream variables.
  inlet_streams(e, s, st, st.imode);
  // Outlet stream variables take the inlet's entries where missing.
  const bool h_missing = hs::is_missing(e.Y[map.out_enth - 1]);
  auto pair = [&](int32_t pin, int32_t pout) {
    const size_t a = static_cast<size_t>(pin - 1), b = static_cast<size_t>(pout - 1);
    fill(e.Y[b], e.Y[a]);
    fill(e.YLB[b], e.YLB[a]);
    fill(e.YUB[b], e.YUB[a]);
    fill(e.YSBND[b], e.YSBND[a]);
    fill(e.YSCL[b], e.YSCL[a]);
    hs::set_type(e.IYATTR[b], U3VGPT(&e.IYATTR[a]));
  };
  for (int i = 0; i < nc; ++i) pair(map.in_comp[i], map.out_comp[i]);
  pair(map.in_flow, map.out_flow);
  pair(map.in_enth, map.out_enth);
  pair(map.in_pres, map.out_pres);

  // Block variables.
  double M = 0.0, V = 0.0, F0 = 0.0;
  for (int i = 1; i <= nc; ++i) {
    const double f = e.Y[map.in_comp[i - 1] - 1];
    M += f * mw(st, i);
    V += f * sv(st, i);
    F0 += f;
  }
  const int32_t ncf = U3_MSTRM_NCF(s.dmatin);
  double t0 = e.SMATIN[ncf + 1];
  if (hs::is_missing(t0)) t0 = 300.0;
  auto set = [&](int32_t p, double val, double lo, double hi, double scl, int32_t type) {
    const size_t j = static_cast<size_t>(p - 1);
    fill(e.Y[j], val);
    fill(e.YLB[j], lo);
    fill(e.YUB[j], hi);
    fill(e.YSBND[j], 1.0);
    fill(e.YSCL[j], scl);
    hs::set_type(e.IYATTR[j], type);
  };
  set(pos(st, G_MASSIN), M, 0.0, 1000.0 * M, st.Fs, kTypeMassFlow);
  set(pos(st, G_STDVIN), V, 0.0, 1000.0 * V, st.Fs, kTypeVolumeFlow);
  for (int i = 1; i <= nc; ++i) set(pos(st, G_SKEW, i), 1.0, 0.0, 10.0, 1.0, kTypeDimensionless);
  if (st.iknot == 1) {
    for (int j = 1; j <= nk; ++j) {
      const double tk = real_param(e, st.q + j - 1);
      set(pos(st, G_TKNOT, j), tk, 0.0, 1.5 * tk, st.Ts, kTypeTemperature);
    }
  }
  for (int j = 1; j <= nk; ++j) set(pos(st, G_XKNOT, j), 1.0, 0.0, 10.0, 1.0, kTypeDimensionless);
  for (int i = 1; i <= nc; ++i) {
    const double f = e.Y[map.in_comp[i - 1] - 1];
    double x0 = 0.0;
    if (st.icomp == 0 && F0 != 0.0) x0 = f / F0;
    if (st.icomp == 1 && M != 0.0) x0 = f * mw(st, i) / M;
    if (st.icomp == 2 && V != 0.0) x0 = f * sv(st, i) / V;
    set(pos(st, G_COMPIN, i), x0, 0.0, 1.0, 1.0, kTypeDimensionless);
  }
  for (int i = 1; i <= nc; ++i) {
    set(pos(st, G_COMPOUT, i), e.Y[pos(st, G_COMPIN, i) - 1], 0.0, 1.0, 1.0, kTypeDimensionless);
  }
  set(pos(st, G_CNORM), 1.0, 0.0, 1000.0, 1.0, kTypeDimensionless);
  set(pos(st, G_MASSOUT), M, 0.0, 1000.0 * M, st.Fs, kTypeMassFlow);
  set(pos(st, G_STDVOUT), V, 0.0, 1000.0 * V, st.Fs, kTypeVolumeFlow);
  set(pos(st, G_DELTAP), 0.0, 0.0, 100.0 * st.Ps, st.Ps, kTypePressure);
  set(pos(st, G_DUTY), 0.0, 0.0, 100.0 * st.Qs, st.Qs, kTypeHeatDuty);
  set(pos(st, G_TOUT), t0, 0.0, 1.5 * t0, st.Ts, kTypeTemperature);

  // The outlet phase-equilibrium set, flashed at the outlet temperature.
  const double tout = e.Y[pos(st, G_TOUT) - 1];
  if (!hs::is_missing(tout)) e.Y[st.layout[0] - 1] = tout;
  {
    const int32_t start = st.layout[1], flag = 4, maxit = 30;
    const double tol = 1e-6;
    int32_t ih = map.out_enth, ip = map.out_pres, ierr = 0;
    RTO_PMLINI(&s.ncomp, s.idx, map.out_comp, &ih, &ip, e.IPROPSET, e.A31, &tol, &maxit, &flag,
               st.layout, &start, saved_a(st), saved_b(st), e.Y, &ierr);
    // A first outlet enthalpy consistent with the flash at the outlet temperature.
    const int32_t hmix = st.layout[8] + 2 * nc + 13;
    if (ierr != -1 && h_missing && !hs::fixed(e.IYATTR[map.out_enth - 1])) {
      e.Y[map.out_enth - 1] = e.Y[hmix - 1];
      e.Y[st.layout[2] - 1] = 0.0;
    }
    RTO_PMLXSCL(&s.ncomp, st.layout, &start, e.Y, e.YSCL);
    RTO_PMLXBND(&s.ncomp, st.layout, &start, e.Y, e.YLB, e.YUB, e.YSBND);
    RTO_PMLXPP(&s.ncomp, st.layout, &start, e.IYATTR);
  }

  // Equation scales.
  EquationWriter scales(e, s, RowPass::Scales, 0, 0);
  skew_rows(scales, e, st);
  int32_t m = scales.rows();
  RTO_PMLRSCL(&s.ncomp, st.layout, &m, e.FSCL);

  // Pattern, with the knot intervals of the present knot temperatures.
  for (int i = 0; i < nc; ++i) st.interval[i] = 0;
  int32_t ie1 = 0, ie2 = 0;
  Entry probe = e;
  probe.IEVAL1 = &ie1;
  probe.IEVAL2 = &ie2;
  if (!r3skew_findknot(probe, st)) {
    for (int i = 0; i < nc; ++i) {
      if (st.interval[i] == 0) st.interval[i] = 1;
    }
  }
  EquationWriter pattern(e, s, RowPass::Pattern, 0, 0);
  skew_rows(pattern, e, st);
  int32_t k = pattern.nonzeros();
  outlet_set(e, st, PATTERN, m, k);
}

void residuals(Entry& e, State& st) {
  if (!r3skew_findknot(e, st)) return;
  EquationWriter w(e, st.s, RowPass::Residuals, 0, 0);
  skew_rows(w, e, st);
  int32_t m = w.rows(), k = 0;
  outlet_set(e, st, RESIDUAL, m, k);
}

void jacobian(Entry& e, State& st) {
  if (!r3skew_findknot(e, st)) return;
  EquationWriter w(e, st.s, RowPass::Jacobian, 0, 0);
  skew_rows(w, e, st);
  int32_t m = 0, k = w.nonzeros();
  outlet_set(e, st, JACOBIAN, m, k);
}

// The equations are written for one material inlet and one outlet, and for
// the numbering the dimension request stored.
bool serves(Entry& e, State& st) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && need_numbering(e, st);
}

constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = check_knots,
    .check_request = [](Entry&, State&) {},  // the skew has no input-check request
    .serves = serves,
    .report =
        [](Entry& e, State& st) {
          component_ids(st);
          R3SKEW_REPORT(e, st);
        },
    .sizes = SizeRule::Own,
});

}  // namespace
}  // namespace r3::composition_skew

R3_DEFINE_MODEL_ENTRY(R3SKEW, r3::composition_skew::state, r3::composition_skew::kHooks)
