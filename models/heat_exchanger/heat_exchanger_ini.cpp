// R3HTUA: parameter checks, initial values (re-use or initial guesses) and
// the results report.
#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "framework/host_services.h"
#include "framework/model_checks.h"
#include "framework/records.h"
#include "models/heat_exchanger/heat_exchanger.h"

namespace r3::heat_exchanger {
namespace {

// One failed check: "!! I3HCHK: " and the first line, then the further lines,
// each a list-directed record on the standard output.
void check_message(std::initializer_list<std::string_view> lines) {
  write_check_lines("!! I3HCHK: ", lines);
}

// Heat value of the inlet / outlet information stream, RMISS without one.
double inlet_heat(const Entry& e) { return *e.NINFI >= 1 ? e.SINFIN[0] : hs::rmiss(); }
double outlet_heat(const Entry& e) { return *e.NINFOUT >= 1 ? e.SINFOUT[0] : hs::rmiss(); }

}  // namespace

int32_t I3HCHK(int32_t imode, int32_t iprmst, int32_t irunmd, int32_t ifldir, int32_t inlsid,
               int32_t ninfi, int32_t ninfout) {
  int32_t status = 0;
  if (imode != 0 && imode != 1) {
    check_message({"Error in IMODE.  Valid values are:", "0 = Sequential Modular",
                   "1 = Equation Based"});
    status = 1;
  }
  if (iprmst < -1) {
    check_message({"IPRMST cannot be less than -1."});
    status = 1;
  }
  if (irunmd < -1) {
    check_message({"IRUNMD cannot be less than -1.", "Valid values are:",
                   " 0 = use default parameters", "-1 = use previous calculated parameters",
                   "+I = use latest parameters calculated ", "within the last I runs"});
    status = 1;
  }
  if (ifldir != 0 && ifldir != 1) {
    check_message({"IFLDIR must be either:", " 0 = counter-current flow", " 1 = co-current flow"});
    status = 1;
  }
  if (inlsid != 0 && inlsid != 1) {
    check_message({"INLSID must be either:", " 0 = inlet heat from hot side",
                   " 1 = inlet heat from cold side"});
    status = 1;
  }
  if (ninfi != 0 && ninfi != 1) {
    check_message({"NINFI must be either 0 or 1."});
    status = 1;
  }
  if (ninfi != ninfout) {
    check_message({"You must have either one inlet and one outlet information",
                   "stream or no information streams at all."});
    status = 1;
  }
  return status;
}

void R3HTUA_GUESS(const Entry& e, const State& st, double* g) {
  const double rmiss = hs::rmiss();
  auto y = [&](int v) { return e.Y[st.num[v] - 1]; };
  auto given = [&](int v) { return !hs::is_missing(y(v)); };
  auto keep_or = [&](int v, double dflt) { return given(v) ? y(v) : dflt; };
  const double T = st.Ts, D = State::Ds, Q = st.Qs, A = State::As, Uc = State::Us;

  // Temperatures: the missing ones take the mean of those given.
  double sum = 0.0;
  int n = 0;
  for (int v = T_HOT_IN; v <= T_COLD_OUT; ++v) {
    if (y(v) < rmiss) {
      sum += y(v);
      ++n;
    }
  }
  const double tmean = n > 0 ? sum / n : 0.30000001192092896 * T;
  for (int v = T_HOT_IN; v <= T_COLD_OUT; ++v) g[v] = keep_or(v, tmean);

  // Approaches and their product.
  for (int v : {T_APPR_MIN_HOT_IN, T_APPR_VARY_HOT_IN, T_APPR_MIN_HOT_OUT, T_APPR_VARY_HOT_OUT}) {
    g[v] = keep_or(v, D);
  }
  g[T_APPR_PRODUCT] = keep_or(T_APPR_PRODUCT, D * D);

  // 3./4. Duties.
  if (*e.NINFI == 0) {
    double a = 0.0;
    int na = 0;
    for (int v = Q_DUTY_HOT; v <= Q_UA; ++v) {
      if (y(v) < rmiss) {
        a += std::fabs(y(v));
        ++na;
      }
    }
    a = na > 0 ? a / na : Q;
    if (given(Q_DUTY_HOT)) {
      g[Q_DUTY_HOT] = y(Q_DUTY_HOT);
      a = y(Q_DUTY_HOT);
    } else {
      g[Q_DUTY_HOT] = a;
    }
    g[Q_DUTY_COLD] = keep_or(Q_DUTY_COLD, -a);
    g[Q_UA] = keep_or(Q_UA, -a);
  } else {
    const double qin = inlet_heat(e), qout = outlet_heat(e);
    const double h = qin < rmiss ? qin : (qout < rmiss ? qout : Q);
    const double s10 = st.inlsid == 0 ? qin : qout;
    const double s11 = st.inlsid == 0 ? qout : qin;
    g[Q_DUTY_HOT] = keep_or(Q_DUTY_HOT, hs::is_missing(s10) ? h : s10);
    g[Q_DUTY_COLD] = keep_or(Q_DUTY_COLD, hs::is_missing(s11) ? h : s11);
    g[Q_UA] = keep_or(Q_UA, st.inlsid == 0 ? g[Q_DUTY_HOT] : -g[Q_DUTY_HOT]);
  }

  // Rating quantities and temperature differences.
  g[FUA] = keep_or(FUA, A * Uc);
  g[FT] = keep_or(FT, 1.0);
  g[U] = keep_or(U, Uc);
  g[AREA] = keep_or(AREA, A);
  for (int v = DTMEAN; v <= T_COLD_RISE; ++v) g[v] = keep_or(v, D);

  // Bundle geometry.
  if (st.bundle) {
    g[HTAREA] = keep_or(HTAREA, g[AREA]);
    g[LEVEL] = keep_or(LEVEL, 0.9);
    g[FAC] = keep_or(FAC, 0.9);
    // cos(THETA/2) = 2*LEVEL - 1; a level outside the bundle (0..1) takes the
    // nearer edge rather than an angle that does not exist.
    const double c = std::fmin(1.0, std::fmax(-1.0, 2.0 * g[LEVEL] - 1.0));
    g[THETA] = keep_or(THETA, 2.0 * std::acos(c));
    if (!given(AREA) && given(HTAREA) && !hs::fixed(e.IYATTR[st.num[AREA] - 1])) {
      g[AREA] = g[HTAREA] * g[FAC];
    }
  }
}

void R3HTUA_START(const Entry& e, State& st) {
  bool reuse = false;
  if (st.iprmst == 0) {
    st.irunmd = 0;
  } else if (st.iprmst <= st.irunmd) {
    reuse = st.irunmd != 0;
  } else if (st.irunmd == -1) {
    reuse = true;
  } else {
    st.irunmd = 0;
  }
  double g[kVarsBundle + 1] = {};
  R3HTUA_GUESS(e, st, g);
  for (int v = 1; v <= st.nvar(); ++v) {
    const double y = e.Y[st.num[v] - 1];
    // Re-use takes the previous solution from Y; a value Y does not hold
    // (no previous solution) falls back to its guess, never to RMISS.
    st.val[v] = (reuse && !hs::is_missing(y)) ? y : g[v];
  }
  st.start = reuse ? Start::Reuse : Start::Guess;
}

void R3HTUA_REPORT(const State& st) {
  const int32_t unit = hs::report_unit();
  const double* v = st.val;
  auto line = [&](std::string_view text38, double value) {
    hs::write(unit, rec::Record().x(4).a(text38, 38).x(1).e1p(value, 13, 6).view());
  };
  // A group of values of one physical type, converted to report units and
  // labelled with the unit the conversion returns.
  auto group = [&](int32_t type, std::initializer_list<std::pair<std::string_view, int>> items) {
    for (const auto& [label, var] : items) {
      int32_t code = type, c7 = 7, c6 = 6;
      int32_t words[2] = {0x20202020, 0x20202020};
      double converted = v[var];
      ZREP_RCONV1(&code, &v[var], &converted, words, &c7, &c6);
      char unit8[8];
      const int32_t nw = 2, len8 = 8, len10 = 10;
      IU_I42STR(words, &nw, unit8, &len8);
      char packed[10];
      packed[0] = '(';
      for (int i = 0; i < 8; ++i) packed[i + 1] = unit8[i];
      packed[9] = ')';
      U3PKCR(&len10, packed);
      std::string text(label);
      text.append(packed, 10);
      text += ' ';
      line(text, converted);
    }
  };
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3HTUA RESULTS      ***").view());
  hs::write(unit, "");
  group(kTypeTemperature, {{"HOT INLET TEMPERATURE      ", T_HOT_IN},
                           {"HOT OUTLET TEMPERATURE     ", T_HOT_OUT},
                           {"COLD INLET TEMPERATURE     ", T_COLD_IN},
                           {"COLD OUTLET TEMPERATURE    ", T_COLD_OUT}});
  hs::write(unit, "");
  group(kTypeTemperatureDifference, {{"LOG MEAN TEMP DIFFERENCE   ", DTMEAN},
                                     {"HOT END DELTA TEMP         ", DT_HOT_IN},
                                     {"COLD END DELTA TEMP        ", DT_HOT_OUT},
                                     {"HOT INLET MIN APPROACH     ", T_APPR_MIN_HOT_IN},
                                     {"HOT OUTLET MIN APPROACH    ", T_APPR_MIN_HOT_OUT},
                                     {"HOT SIDE TEMPERATURE FALL  ", T_HOT_FALL},
                                     {"COLD SIDE TEMPERATURE RISE ", T_COLD_RISE}});
  hs::write(unit, "");
  line("EFFECTIVENESS FACTOR                  ", v[FT]);
  group(kTypeHeatDuty, {{"HEAT DUTY                  ", Q_UA}});
  group(kTypeHeatTransferCoefficient, {{"HEAT TRANSFER COEFFICIENT  ", U}});
  if (st.bundle) {
    group(kTypeArea,
          {{"EFF. HEAT TRANSFER AREA    ", AREA}, {"MAX. HEAT TRANSFER AREA    ", HTAREA}});
    line("LEVEL (FRACTION OF BUNDLE DIAMETER)   ", v[LEVEL]);
  } else {
    group(kTypeArea, {{"HEAT TRANSFER AREA         ", AREA}});
  }
  hs::write(unit, "");
}

}  // namespace r3::heat_exchanger
