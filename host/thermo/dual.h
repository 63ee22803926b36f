// Forward-mode derivative types of the property engine.
//   Dual<N>: a value and its first derivatives along N directions (the
//            Peng-Robinson residual over (T, P, a, da/dT, d2a/dT2, b) uses
//            Dual<6>; the value-only mixing rule uses Dual<1> in T).
//   Jet:     a value and its first three derivatives along one variable (a
//            truncated Taylor series), for pure-component temperature
//            functions and the mixing rule with derivatives.
// Dual<1> performs, on its two parts, the same operations as Jet performs on
// its value and first derivative (log and pow through the same reciprocal
// and quotient, products in the same order), so a calculation written once
// for both (the mixing rule, the Twu alpha) gives the same value and first
// derivative in either: the property calls without derivatives take the
// Dual<1> path, those with derivatives the Jet path, and both must agree.
#pragma once

#include <cmath>

namespace r3::thermo::detail {

template <int N>
struct Dual {
  double v = 0;
  double d[N] = {};
  static Dual cst(double x) {
    Dual r;
    r.v = x;
    return r;
  }
  // The variable of direction k, at x.
  static Dual var(double x, int k = 0) {
    Dual r;
    r.v = x;
    r.d[k] = 1;
    return r;
  }
};

template <int N>
inline Dual<N> operator+(const Dual<N>& a, const Dual<N>& b) {
  Dual<N> r;
  r.v = a.v + b.v;
  for (int k = 0; k < N; ++k) r.d[k] = a.d[k] + b.d[k];
  return r;
}
template <int N>
inline Dual<N> operator-(const Dual<N>& a, const Dual<N>& b) {
  Dual<N> r;
  r.v = a.v - b.v;
  for (int k = 0; k < N; ++k) r.d[k] = a.d[k] - b.d[k];
  return r;
}
template <int N>
inline Dual<N> operator*(const Dual<N>& a, const Dual<N>& b) {
  Dual<N> r;
  r.v = a.v * b.v;
  for (int k = 0; k < N; ++k) r.d[k] = a.d[k] * b.v + a.v * b.d[k];
  return r;
}
template <int N>
inline Dual<N> operator*(double s, const Dual<N>& a) {
  Dual<N> r;
  r.v = s * a.v;
  for (int k = 0; k < N; ++k) r.d[k] = s * a.d[k];
  return r;
}
template <int N>
inline Dual<N> operator+(const Dual<N>& a, double s) {
  Dual<N> r = a;
  r.v += s;
  return r;
}
template <int N>
inline Dual<N> operator-(const Dual<N>& a, double s) {
  Dual<N> r = a;
  r.v -= s;
  return r;
}
template <int N>
inline Dual<N> operator-(double s, const Dual<N>& a) {
  Dual<N> r;
  r.v = s - a.v;
  for (int k = 0; k < N; ++k) r.d[k] = -a.d[k];
  return r;
}
template <int N>
inline Dual<N> operator/(const Dual<N>& a, const Dual<N>& b) {
  Dual<N> r;
  r.v = a.v / b.v;
  const double ib = 1.0 / b.v;
  for (int k = 0; k < N; ++k) r.d[k] = (a.d[k] - r.v * b.d[k]) * ib;
  return r;
}
// The derivatives of ln a are d/v; with one direction u d, u = 1/v, as Jet
// rounds its first derivative (several directions divide each: the rounding
// the Peng-Robinson residual's outputs were established with).
template <int N>
inline Dual<N> log(const Dual<N>& a) {
  Dual<N> r;
  r.v = std::log(a.v);
  if constexpr (N == 1) {
    r.d[0] = (1.0 / a.v) * a.d[0];
  } else {
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] / a.v;
  }
  return r;
}
template <int N>
inline Dual<N> exp(const Dual<N>& a) {
  Dual<N> r;
  r.v = std::exp(a.v);
  for (int k = 0; k < N; ++k) r.d[k] = r.v * a.d[k];
  return r;
}
template <int N>
inline Dual<N> pow(const Dual<N>& a, double p) {
  Dual<N> r;
  r.v = std::pow(a.v, p);
  const double f1 = p * r.v / a.v;
  for (int k = 0; k < N; ++k) r.d[k] = f1 * a.d[k];
  return r;
}
template <int N>
inline Dual<N> sqrt(const Dual<N>& a) {
  return pow(a, 0.5);
}

// Value and first three derivatives of a function of one variable.
struct Jet {
  double v = 0, d1 = 0, d2 = 0, d3 = 0;
  static Jet var(double x) { return {x, 1, 0, 0}; }
  static Jet cst(double x) { return {x, 0, 0, 0}; }
};
inline Jet operator+(Jet a, Jet b) { return {a.v + b.v, a.d1 + b.d1, a.d2 + b.d2, a.d3 + b.d3}; }
inline Jet operator-(Jet a, Jet b) { return {a.v - b.v, a.d1 - b.d1, a.d2 - b.d2, a.d3 - b.d3}; }
inline Jet operator+(Jet a, double b) { return {a.v + b, a.d1, a.d2, a.d3}; }
inline Jet operator-(double b, Jet a) { return {b - a.v, -a.d1, -a.d2, -a.d3}; }
inline Jet operator*(double k, Jet a) { return {k * a.v, k * a.d1, k * a.d2, k * a.d3}; }
inline Jet operator*(Jet a, Jet b) {
  return {a.v * b.v, a.d1 * b.v + a.v * b.d1, a.d2 * b.v + 2 * a.d1 * b.d1 + a.v * b.d2,
          a.d3 * b.v + 3 * a.d2 * b.d1 + 3 * a.d1 * b.d2 + a.v * b.d3};
}
// phi(a) given phi and its first three derivatives at a.v.
inline Jet chain(Jet a, double f0, double f1, double f2, double f3) {
  return {f0, f1 * a.d1, f2 * a.d1 * a.d1 + f1 * a.d2,
          f3 * a.d1 * a.d1 * a.d1 + 3 * f2 * a.d1 * a.d2 + f1 * a.d3};
}
inline Jet inv(Jet a) {
  double u = 1 / a.v;
  return chain(a, u, -u * u, 2 * u * u * u, -6 * u * u * u * u);
}
inline Jet operator/(Jet a, Jet b) { return a * inv(b); }
inline Jet log(Jet a) {
  double u = 1 / a.v;
  return chain(a, std::log(a.v), u, -u * u, 2 * u * u * u);
}
inline Jet exp(Jet a) {
  double e = std::exp(a.v);
  return chain(a, e, e, e, e);
}
inline Jet pow(Jet a, double p) {
  double f0 = std::pow(a.v, p);
  return chain(a, f0, p * f0 / a.v, p * (p - 1) * f0 / (a.v * a.v),
               p * (p - 1) * (p - 2) * f0 / (a.v * a.v * a.v));
}
inline Jet sqrt(Jet a) { return pow(a, 0.5); }

}  // namespace r3::thermo::detail
