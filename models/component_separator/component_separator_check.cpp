// R3CSEP input check (i3cchk), the separation-factor and feasibility checks
// made after the initialisation, and the results report.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/component_separator/component_separator.h"

namespace r3::component_separator {
namespace {

constexpr std::string_view kPrefix = "!! i3cchk: ";

// A message's records, list-directed, first to the second message unit and
// then to the message unit.
void message(const std::vector<rec::ListDirected>& lines) {
  for (int32_t unit : {hs::second_message_unit(), hs::message_unit()}) {
    for (const rec::ListDirected& l : lines) hs::write(unit, l.view());
  }
}

rec::ListDirected line(std::string_view text) {
  return rec::ListDirected().add(std::string(kPrefix) + std::string(text));
}

rec::ListDirected line(std::string_view before, int32_t n, std::string_view after) {
  return rec::ListDirected().add(std::string(kPrefix) + std::string(before)).add(n).add(after);
}

}  // namespace

int32_t i3cchk(const Entry& e, const State& st) {
  // Connections: each of these ends the check.
  if (*e.NMATIN < 1) {
    message({line("a component separator must have at least one material "),
             line("input stream.")});
    return 1;
  }
  if (*e.NMATIN > 1) {
    message({line("a component separator may have no more than ", 1, " material input streams.")});
    return 1;
  }
  if (*e.NMATOUT < 1) {
    message({line("a component separator must have at least one material "),
             line("output stream.")});
    return 1;
  }
  if (*e.NMATOUT > kMaxOutlets) {
    message({line("a component separator may have no more than ", kMaxOutlets,
                  " material output streams.")});
    return 1;
  }
  if (*e.NINFI > 0) {
    message({line("a component separator cannot have any inlet "), line("information streams.")});
    return 1;
  }
  if (*e.NINFOUT > 0) {
    message({line("a component separator cannot have any outlet "), line("information streams.")});
    return 1;
  }
  // Parameters: reported, the request goes on.
  if (st.nc > kMaxComponents) {
    message({line("only ", kMaxComponents, " non-zero components are allowed.")});
  }
  if (st.imode != 0 && st.imode != 1) {
    message({line("error in imode.  valid values are:"), line("0 = sequential modular"),
             line("1 = equation based")});
  }
  if (st.iprmst < -1) message({line("iprmst cannot be less than -1.")});
  if (st.irunmd < -1) {
    message({line("irunmd cannot be less than -1."), line("valid values are:"),
             line(" 0 = use default parameters"), line("-1 = use previous calculated parameters"),
             line("+i = use latest parameters calculated "), line("within the last i runs")});
  }
  return 0;
}

namespace {

// Fixed values that add up exactly are not reported for the last bits of
// their floating-point sums (0.05 + 0.90 + 0.05 is above 1 by one unit).
constexpr double kRoundOff = 1e-9;

// The data manager's message gate for the block's diagnostic level; when it
// lets the warning through, its lines go into the error buffer and are printed.
void gated_warning(const Entry& e, int32_t counter, std::initializer_list<std::string_view> lines) {
  int32_t routine[2];
  std::memcpy(routine, "R3CSEP  ", 8);
  int32_t cls = 2, zero = 0, two = 2;
  if (DMS_IRRCHK(routine, &cls, &counter, e.IDIAG, &PPEXEC_USER[kPpexecDiagnosticLevel], &zero,
                 &zero, &two) == 0) {
    return;
  }
  int n = 0;
  for (std::string_view l : lines) hs::errout_line(++n, l);
  int32_t nprint = n;
  DMS_ERRPRT(&nprint);
}

}  // namespace

void alpha_checks(Entry& e, State& st) {
  double* Y = e.Y;
  char cid[8];
  // Fixed alphas of a component adding up to more than 1.
  int32_t over = 0;
  for (int32_t i = 1; i <= st.nc; ++i) {
    double s = 0.0;
    for (int32_t k = 1; k <= st.no; ++k) {
      const int32_t j = st.pos_alpha(i, k) - 1;
      if (hs::fixed(e.IYATTR[j])) s += Y[j];
    }
    if (!(s - 1.0 > kRoundOff)) continue;
    ++over;
    component_id(st, i, cid);
    gated_warning(e, over,
                  {" Warning: Specified alphas for component " + std::string(cid, 8) +
                   " exceed 1."});
    if (st.renorm == 1) {
      for (int32_t k = 1; k <= st.no; ++k) {
        const int32_t j = st.pos_alpha(i, k) - 1;
        if (hs::fixed(e.IYATTR[j])) Y[j] /= s;
      }
    }
  }
  if (over > 0) {
    gated_warning(e, over + 1,
                  {st.renorm == 1 ? " Warning: Alphas will be renormalized."
                                  : " Warning: Alphas will not be renormalized."});
  }
  // Outlet flows implied by the fixed values against the inlet flow.
  int32_t infeasible = 0;
  for (int32_t i = 1; i <= st.nc; ++i) {
    const double f0 = Y[st.in_comp(i) - 1];
    double sum = 0.0;
    for (int32_t k = 1; k <= st.no; ++k) {
      const int32_t jf = st.out_comp(k, i) - 1, ja = st.pos_alpha(i, k) - 1;
      if (hs::fixed(e.IYATTR[jf])) {
        sum += Y[jf];
      } else if (hs::fixed(e.IYATTR[ja])) {
        sum += Y[ja] * f0;
      }
    }
    if (!(sum - f0 > kRoundOff * (f0 > sum ? f0 : sum))) continue;
    ++infeasible;
    component_id(st, i, cid);
    gated_warning(e, infeasible,
                  {" Warning: Specified alphas and outlet flows for component " +
                       std::string(cid, 8),
                   std::string(10, ' ') + "are infeasible based on its current inlet flow."});
  }
  if (infeasible > 0) {
    gated_warning(e, infeasible + 1, {" Warning: Block bypassed on this flowsheet iteration."});
  }
}

// --- Report -----------------------------------------------------------------------

namespace {

// A value in report units and the unit's 8-character label.
double convert(int32_t type, double value, std::string& label) {
  int32_t words[2] = {0x20202020, 0x20202020};
  double out = value;
  const int32_t c7 = 7, c6 = 6;
  ZREP_RCONV1(&type, &value, &out, words, &c7, &c6);
  label.assign(reinterpret_cast<const char*>(words), 8);
  for (char& c : label) {
    if (c == '\0') c = ' ';
  }
  return out;
}

std::string padded(std::string_view s, size_t w) {
  std::string r(s.substr(0, w));
  r.resize(w, ' ');
  return r;
}

}  // namespace

void R3CSEP_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const double* Y = e.Y;
  auto y = [&](int32_t pos) { return Y[pos - 1]; };
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3CSEP RESULTS      ***").view());
  hs::write(unit, "");
  std::string label;
  const double duty = convert(kTypeHeatDuty, y(st.pos_duty()), label);
  hs::write(unit, rec::Record().text("HEAT DUTY            ").a(label, 8).x(2).e1p(duty, 13, 6).view());

  const int32_t no = st.no, nc = st.nc;
  const int32_t nblocks = no / 5 + 1;
  char cid[8];
  for (int32_t b = 1; b <= nblocks; ++b) {
    const int32_t first = 5 * b - 4;
    const int32_t last = std::min(5 * b, no + 1);
    hs::write(unit, "");
    hs::write(unit, "SEPARATION FACTORS (ALPHAS):");
    rec::Record head;
    head.a(padded("COMPONENT ID", 21));
    for (int32_t c = first; c <= last; ++c) {
      head.a(c <= no ? std::string(st.sid[c], 8) : padded("SUM", 8), 11);
    }
    hs::write(unit, head.view());
    for (int32_t i = 1; i <= nc; ++i) {
      component_id(st, i, cid);
      rec::Record r;
      r.a(padded(std::string_view(cid, 8), 21));
      for (int32_t c = first; c <= last; ++c) {
        double v = 0.0;
        if (c <= no) {
          v = y(st.pos_alpha(i, c));
        } else {
          for (int32_t k = 1; k <= no; ++k) v += y(st.pos_alpha(i, k));
        }
        r.f(v, 11, 5);
      }
      hs::write(unit, r.view());
    }
    const int32_t last_outlet = std::min(last, no);
    if (first > last_outlet) continue;  // a block holding only the sum
    auto values = [&](std::string_view text, int32_t type, auto pos) {
      rec::Record r;
      std::string lab;
      std::vector<double> v;
      for (int32_t c = first; c <= last_outlet; ++c) v.push_back(convert(type, y(pos(c)), lab));
      r.a(padded(text, 13)).a(lab, 8);
      for (double x : v) r.g1p(x, 11, 4);
      hs::write(unit, r.view());
    };
    values("DELTAP", kTypePressure, [&](int32_t k) { return st.pos_dp(k); });
    values("TEMP", kTypeTemperature, [&](int32_t k) { return st.pos_temp(k); });
    rec::Record ph;
    ph.a(padded("PHASE", 21));
    for (int32_t c = first; c <= last_outlet; ++c) {
      ph.text(st.phase[c] == kLiquid ? "  LIQUID   " : "  VAPOR    ");
    }
    hs::write(unit, ph.view());
  }
  hs::write(unit, "");
}

}  // namespace r3::component_separator
