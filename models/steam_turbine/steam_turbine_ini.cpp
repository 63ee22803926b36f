// R3STRB initialisation: initial values of the variables the user left
// missing, bounds, scales, step bounds and physical types.
//
// Missing here means at or above the data manager's missing threshold
// (DMS_RGLOB word 1). Enthalpies that the streams do not give come from the
// steam tables at a temperature estimate: the block's temperature parameter,
// otherwise just above saturation.
#include <algorithm>
#include <cmath>

#include "framework/host_services.h"
#include "models/steam_turbine/steam_turbine.h"

namespace r3::steam_turbine {
namespace {

// Highest molar enthalpy the bounds allow: above every steam-table state
// (2273.15 K at vanishing pressure is about 1.33e8 J/kmol), so that the
// solver is never pushed outside the tables by a bound.
constexpr double kEnthalpyUpper = 1.5e8;
constexpr double kEnthalpyLower = -2.877e8;
constexpr double kCriticalT = 647.096;

bool is_free(const Entry& e, int32_t pos) {
  return !hs::fixed(e.IYATTR[pos - 1]);
}
double& Y(Entry& e, int32_t pos) {
  return e.Y[pos - 1];
}

// Saturation temperature at p; above the critical pressure, the critical
// temperature stands in for it.
double tsat(double p) {
  double t = hs::rmiss();
  SSS_TSAT(&p, &t);
  return missing(t) ? kCriticalT : t;
}

// Molar enthalpy at (T, p) from the steam tables, with the phase indicator
// (P - Psat(T)) / P.
double enthalpy(double t, double p) {
  double ps = hs::rmiss(), h = hs::rmiss();
  SSS_PSATW(&t, &ps);
  const double one = 1.0;
  const double frac = missing(ps) ? -1.0 : (p - ps) / p;
  SSS_ENTH(&t, &p, &one, &frac, &h);
  return h;
}

// A stream's molar enthalpy: its mass enthalpy times M when given, otherwise
// the steam tables at the temperature t (missing: saturation plus dt).
double stream_enthalpy(const State& st, const double* v, double t, double p, double dt) {
  const double hm = v[st.ncf + 3];
  if (!missing(hm)) return hm * st.M;
  const double T = missing(t) ? tsat(p) + dt : t;
  return enthalpy(T, p);
}

void fix(Entry& e, int32_t pos) {
  U3FXV(&e.IYATTR[pos - 1]);
}

}  // namespace

void R3STRB_INI(Entry& e, State& st) {
  const Layout& l = st.lay;
  const int s = st.s;
  const double rg2 = DMS_RGLOB[kRglobDefaultLower];
  // Inlet streams.
  double pmin = 0.0;
  for (int i = 0; i < s; ++i) {
    const double* v = e.SMATIN + static_cast<size_t>(i) * static_cast<size_t>(*e.LSTRM);
    if (st.imode == 0) {
      for (int32_t p : {l.Fi[i], l.Gi[i], l.hi[i], l.Pi[i]}) fix(e, p);
    }
    if (missing(Y(e, l.Fi[i]))) {
      const double f = v[st.w - 1];
      Y(e, l.Fi[i]) = (missing(f) || (f == 0.0 && is_free(e, l.Fi[i]))) ? 1.0 : f;
    }
    if (missing(Y(e, l.Gi[i]))) Y(e, l.Gi[i]) = Y(e, l.Fi[i]);
    if (missing(Y(e, l.Pi[i]))) Y(e, l.Pi[i]) = missing(v[st.ncf + 2]) ? 1e6 : v[st.ncf + 2];
    if (missing(Y(e, l.hi[i]))) {
      Y(e, l.hi[i]) = stream_enthalpy(st, v, st.t_in[i], Y(e, l.Pi[i]), 20.0);
    }
    pmin = i == 0 ? Y(e, l.Pi[i]) : std::min(pmin, Y(e, l.Pi[i]));
  }
  // Leakage.
  if (is_free(e, l.L) && missing(Y(e, l.L))) Y(e, l.L) = 0.0;
  // Outlet streams (the first one is the turbine's; any others start alike).
  double sumF = 0.0;
  for (int i = 0; i < s; ++i) sumF += Y(e, l.Fi[i]);
  for (int j = 0; j < st.nout; ++j) {
    const double* v = e.SMATOUT + static_cast<size_t>(j) * static_cast<size_t>(*e.LSTRM);
    const int32_t Fo = l.Fo + 4 * j, Go = Fo + 1, ho = Fo + 2, Po = Fo + 3;
    if (missing(Y(e, Fo))) {
      const double f = v[st.w - 1];
      Y(e, Fo) = (missing(f) || (f == 0.0 && is_free(e, Fo))) ? sumF - Y(e, l.L) : f;
    }
    if (missing(Y(e, Go))) Y(e, Go) = Y(e, Fo);
    if (missing(Y(e, Po))) Y(e, Po) = missing(v[st.ncf + 2]) ? 0.5 * pmin : v[st.ncf + 2];
    if (missing(Y(e, ho))) Y(e, ho) = stream_enthalpy(st, v, st.t_out, Y(e, Po), 1.0);
  }
  const double Fo = Y(e, l.Fo), ho = Y(e, l.ho), Po = Y(e, l.Po), L = Y(e, l.L);
  const double h1 = Y(e, l.hi[0]), F1 = Y(e, l.Fi[0]);
  auto set = [&](int32_t pos, double value) {
    if (pos && is_free(e, pos) && missing(Y(e, pos))) Y(e, pos) = value;
  };
  // Admission: the intermediate enthalpies start at the admission steam's.
  if (st.iturb == 3) {
    set(l.hm, Y(e, l.hi[1]));
    set(l.hx, Y(e, l.hi[1]));
  }
  // Pressure drops and specifications.
  for (int i = 0; i < s; ++i) set(l.dP[i], Y(e, l.Pi[i]) - Po);
  auto spec_start = [&](int32_t pos, int32_t code) { set(pos, code == 1 ? 1.0 : 1e-6); };
  if (l.spec1) spec_start(l.spec1, st.code[0]);
  if (l.spec2) spec_start(l.spec2, st.code[1]);
  // Powers.
  if (st.iturb != 3) {
    set(l.Pt, (h1 - ho) * Fo);
    if (st.iturb == 2) set(l.pu, h1 - ho);
  } else {
    const double h2 = Y(e, l.hi[1]);
    set(l.S1, (h1 - h2) * (F1 - L));
    set(l.Pt, (h2 - ho) * Fo + Y(e, l.S1));
    set(l.S2, Y(e, l.Pt) - Y(e, l.S1));
  }
  const double Pt = Y(e, l.Pt);
  // Work streams.
  if (l.Win) {
    if (st.imode == 0) fix(e, l.Win);
    if (missing(Y(e, l.Win))) {
      if (!missing(e.SINFIN[0])) {
        Y(e, l.Win) = e.SINFIN[0];
      } else if (l.Wout) {
        Y(e, l.Win) = hs::fixed(e.IYATTR[l.Wout - 1]) ? Pt + Y(e, l.Wout) : 2.0 * Pt;
      } else {
        Y(e, l.Win) = Pt;
      }
    }
  }
  if (l.Wout && missing(Y(e, l.Wout))) {
    if (!missing(e.SINFOUT[0])) {
      Y(e, l.Wout) = e.SINFOUT[0];
    } else {
      Y(e, l.Wout) = (l.Win ? Y(e, l.Win) : 0.0) - Pt;
    }
  }
  // Efficiencies: the modelled value at the starting point; none or a
  // tiny one starts at 0.5.
  const int nst = st.iturb == 3 ? 2 : 1;
  for (int k = 0; k < nst; ++k) {
    const int32_t pos = l.eta[k];
    if (!(is_free(e, pos) && missing(Y(e, pos)))) continue;
    const bool t3 = st.iturb == 3;
    const double power = std::fabs(t3 ? Y(e, k == 0 ? l.S1 : l.S2) : Pt);
    const double hin = k == 0 ? h1 : Y(e, l.hm);
    const double pin = Y(e, l.Pi[k]);
    const double pout = (t3 && k == 0) ? Y(e, l.Pi[1]) : Po;
    const int32_t sp = k == 0 ? l.spec1 : l.spec2;
    const double eta = stage_efficiency(st, k + 1, power, hin, pin, pout, sp ? Y(e, sp) : 0.0);
    Y(e, pos) = (missing(eta) || static_cast<float>(eta) <= 0.001f) ? 0.5 : eta;
  }
  // Condensing: flow-passing parameter and losses.
  if (st.iturb == 2) {
    if (is_free(e, l.A) && missing(Y(e, l.A))) {
      const double P1 = Y(e, l.Pi[0]);
      const double d = P1 * P1 - Po * Po;
      if (d < 1000.0) {
        Y(e, l.A) = static_cast<double>(0.1f);
      } else {
        double T = 0, x = 0, v = 0;
        const int32_t one = 1;
        SSS_PHTX(&P1, &h1, &T, &x);
        SSS_VOLW(&T, &P1, &x, &one, &v);
        Y(e, l.A) =
            missing(v) ? static_cast<double>(0.1f) : st.M * Fo * std::sqrt(P1 * v * st.M / d);
      }
    }
    set(l.ml, 0.0);
    set(l.el, 0.0);
  }
  // Admission fraction.
  if (st.iturb == 3) set(l.a, Y(e, l.Fi[1]) / std::max(std::fabs(F1), 1e-15));

  // Bounds, scales, step bounds and types, each only where missing.
  auto put = [&](int32_t pos, double lb, bool has_ub, double ub, double scl, int32_t type) {
    if (!pos) return;
    const int32_t j = pos - 1;
    if (missing(e.YLB[j])) e.YLB[j] = lb;
    if (has_ub && missing(e.YUB[j])) e.YUB[j] = ub;
    if (missing(e.YSCL[j])) e.YSCL[j] = scl;
    if (missing(e.YSBND[j])) e.YSBND[j] = 1.0;
    hs::set_type(e.IYATTR[j], type);
  };
  auto flow = [&](int32_t pos, double ref, double scl, int32_t type) {
    const double b = 100000.0 * std::max(std::fabs(ref), 1.0);
    put(pos, -b, true, b, scl, type);
  };
  auto enth = [&](int32_t pos) {
    put(pos, kEnthalpyLower, true, kEnthalpyUpper, st.Hs, kTypeSteamMolarEnthalpy);
  };
  auto pres = [&](int32_t pos) { put(pos, 100.0, true, 1e8, st.Ps, kTypePressure); };
  for (int i = 0; i < s; ++i) {
    flow(l.Fi[i], Y(e, l.Fi[i]), st.Fs, kTypeMolarFlow);
    flow(l.Gi[i], Y(e, l.Fi[i]), st.Fs, kTypeMolarFlow);
    enth(l.hi[i]);
    pres(l.Pi[i]);
  }
  for (int j = 0; j < st.nout; ++j) {
    const int32_t f = l.Fo + 4 * j;
    flow(f, Y(e, f), st.Fs, kTypeMolarFlow);
    flow(f + 1, Y(e, f), st.Fs, kTypeMolarFlow);
    enth(f + 2);
    pres(f + 3);
  }
  flow(l.Win, Pt, st.PWs, kTypePower);
  flow(l.Wout, Pt, st.PWs, kTypePower);
  for (int i = 0; i < s; ++i) {
    put(l.dP[i], rg2, true, 1e8, st.Ps, kTypePressureDifference);
    put(l.eta[i], 1e-5, true, 1.0, 1.0, kTypeDimensionless);
  }
  flow(l.L, F1, st.Fs, kTypeMolarFlow);
  flow(l.Pt, Pt, st.PWs, kTypePower);
  auto spec_bounds = [&](int32_t pos, int32_t code) {
    if (code == 1) {
      put(pos, 1e-5, true, 1.0, 1.0, kTypeDimensionless);
    } else {
      put(pos, rg2, false, 0.0, 1.0, kTypeDimensionless);
    }
  };
  if (l.spec1) spec_bounds(l.spec1, st.code[0]);
  if (l.spec2) spec_bounds(l.spec2, st.code[1]);
  if (st.iturb == 2) {
    flow(l.pu, Y(e, l.pu), st.Hs, kTypeTurbinePerFlow);
    flow(l.ml, Y(e, l.ml), st.Hs, kTypeTurbinePerFlow);
    flow(l.el, Y(e, l.el), st.Hs, kTypeTurbinePerFlow);
    put(l.A, rg2, false, 0.0, 1.0, kTypeTurbinePerFlow);
  }
  if (st.iturb == 3) {
    flow(l.S1, Y(e, l.S1), st.PWs, kTypePower);
    flow(l.S2, Y(e, l.S2), st.PWs, kTypePower);
    enth(l.hx);
    enth(l.hm);
    put(l.a, rg2, false, 0.0, 1.0, kTypeDimensionless);
  }
}

}  // namespace r3::steam_turbine
