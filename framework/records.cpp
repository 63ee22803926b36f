// Fortran-style text records, laid out as gfortran's runtime lays them out.
//
// Digits come from std::to_chars with an explicit precision: it rounds the
// exact binary value to nearest with ties to even, which is what gfortran
// gets from the C library, and it ignores the locale. The layout rules
// (leading zero only when there is room, asterisks, exponent forms, the G
// choice between F and E) follow gfortran's observed output.
#include "framework/records.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace r3::rec {
namespace {

// Fixed notation of the largest double has 309 integer digits.
constexpr int kMaxIntegerDigits = 320;
using DigitBuffer = std::array<char, kMaxIntegerDigits + kMaxWidth + 16>;

int clamp_width(int w) {
  return w > kMaxWidth ? kMaxWidth : w;
}

void put_stars(std::string& out, int w) {
  out.append(w > 0 ? static_cast<std::size_t>(w) : 1, '*');
}

void put_blanks(std::string& out, int n) {
  if (n > 0) out.append(static_cast<std::size_t>(n), ' ');
}

// A number split into the parts an F or E field is assembled from.
struct Parts {
  std::string before;    // digits before the decimal point, no leading zeros
  std::string after;     // digits after the decimal point
  std::string exponent;  // "E+03", "+103" (three-digit exponents drop the E), or empty
  bool ok = true;        // false: the exponent has no representation
};

// F editing with scale factor k (0 or 1): k = 1 moves the decimal point one
// place right, so the digits are those of the exact value rounded to d + k
// decimals.
template <class T>
Parts fixed_parts(T m, int d, int k) {
  Parts p;
  DigitBuffer buf;
  const auto res =
      std::to_chars(buf.data(), buf.data() + buf.size(), m, std::chars_format::fixed, d + k);
  if (res.ec != std::errc{}) {
    p.ok = false;
    return p;
  }
  const std::string_view s(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
  const std::size_t dot = s.find('.');
  std::string integer(s.substr(0, dot));
  std::string fraction(dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1));
  if (k == 1 && !fraction.empty()) {
    integer += fraction.front();
    fraction.erase(0, 1);
  }
  const std::size_t first = integer.find_first_not_of('0');
  p.before = first == std::string::npos ? std::string() : integer.substr(first);
  p.after = std::move(fraction);
  return p;
}

// Exponent field: with exp_digits == 0 gfortran's default (E+dd, or +ddd
// without the E for three-digit exponents); otherwise exactly exp_digits
// digits after "E+".
bool make_exponent(int value, int exp_digits, std::string& out) {
  const int mag = value < 0 ? -value : value;
  const std::string digits = std::to_string(mag);
  const char sign = value < 0 ? '-' : '+';
  if (exp_digits <= 0) {
    if (mag <= 99) {
      out = std::string("E") + sign + (mag < 10 ? "0" : "") + digits;
    } else if (mag <= 999) {
      out = std::string(1, sign) + digits;
    } else {
      return false;
    }
    return true;
  }
  if (static_cast<int>(digits.size()) > exp_digits) return false;
  out = std::string("E") + sign + std::string(exp_digits - digits.size(), '0') + digits;
  return true;
}

// E editing with scale factor k: k = 0 gives 0.dddd (d significant digits),
// k = 1 gives d.dddd (d + 1 significant digits).
template <class T>
Parts exp_parts(T m, int d, int k, int exp_digits) {
  Parts p;
  const int ndigits = k == 1 ? d + 1 : d;
  std::string digits;
  int exponent = 0;
  if (m == 0) {
    digits.assign(static_cast<std::size_t>(ndigits), '0');
  } else {
    DigitBuffer buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), m,
                                   std::chars_format::scientific, ndigits - 1);
    if (res.ec != std::errc{}) {
      p.ok = false;
      return p;
    }
    const std::string_view s(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    const std::size_t epos = s.find('e');
    for (char c : s.substr(0, epos))
      if (c != '.') digits += c;
    int e10 = 0;  // to_chars always writes the exponent's sign
    std::from_chars(s.data() + epos + 2, s.data() + s.size(), e10);
    if (s[epos + 1] == '-') e10 = -e10;
    exponent = e10 + 1 - k;
  }
  if (k == 1) {
    p.before = digits.substr(0, 1);
    p.after = digits.substr(1);
  } else {
    p.after = std::move(digits);
  }
  p.ok = make_exponent(exponent, exp_digits, p.exponent);
  return p;
}

// Assembles an F or E field of width w (0: smallest width, F only), followed
// by npad blanks (the G descriptor's trailing blanks). The zero before the
// decimal point is printed only when there is room for it.
void put_parts(std::string& out, const Parts& p, bool negative, int w, int npad) {
  const int nb = static_cast<int>(p.before.size());
  const int na = static_cast<int>(p.after.size());
  const int ne = static_cast<int>(p.exponent.size());
  const int ns = negative ? 1 : 0;
  if (w == 0) w = nb + na + 1 + ns + (nb + na == 0 ? 1 : 0);
  int blanks = w - (nb + na + 1 + ne) - ns;
  const bool lead_zero = nb == 0 && blanks > 0;
  if (lead_zero) --blanks;
  if (!p.ok || blanks < 0 || w == 1 || (w == 2 && negative)) {
    put_stars(out, w + npad);
    return;
  }
  put_blanks(out, blanks);
  if (negative) out += '-';
  if (lead_zero) out += '0';
  out += p.before;
  out += '.';
  out += p.after;
  out += p.exponent;
  put_blanks(out, npad);
}

// NaN and infinities, right-justified in w columns (w == 0: just wide enough).
void put_nonfinite(std::string& out, bool nan, bool negative, int w) {
  if (w == 0) w = (!nan && negative) ? 4 : 3;
  if (w < 3 || (!nan && negative && w == 3)) {
    put_stars(out, w);
    return;
  }
  std::string_view word;
  if (nan) {
    word = "NaN";
  } else if (negative) {
    word = w >= 9 ? "-Infinity" : "-Inf";
  } else {
    word = w >= 8 ? "Infinity" : "Inf";
  }
  put_blanks(out, w - static_cast<int>(word.size()));
  out += word;
}

// Validates w and d; on failure writes the asterisks and returns false.
bool check_descriptor(std::string& out, int& w, int d, bool zero_width_ok) {
  w = clamp_width(w);
  if (w < 0 || d < 0 || d > kMaxWidth || (w == 0 && !zero_width_ok)) {
    put_stars(out, w);
    return false;
  }
  return true;
}

template <class T>
void put_fixed(std::string& out, T v, int w, int d, int k) {
  if (!check_descriptor(out, w, d, true)) return;
  if (!std::isfinite(v)) return put_nonfinite(out, std::isnan(v), std::signbit(v), w);
  put_parts(out, fixed_parts(std::fabs(v), d, k), std::signbit(v), w, 0);
}

template <class T>
void put_exp(std::string& out, T v, int w, int d, int k, int exp_digits) {
  if (!check_descriptor(out, w, d, false)) return;
  if (k == 0 && d == 0) return put_stars(out, w);  // 0.E+00 has no digits at all
  if (!std::isfinite(v)) return put_nonfinite(out, std::isnan(v), std::signbit(v), w);
  put_parts(out, exp_parts(std::fabs(v), d, k, exp_digits), std::signbit(v), w, 0);
}

// 10**n in T, built by repeated multiplication so that the G range tests
// below round exactly like gfortran's.
template <class T>
T power_of_ten(int n) {
  T r = 1;
  for (int j = 0; j < (n < 0 ? -n : n); ++j) r *= 10;
  return n < 0 ? 1 / r : r;
}

// 1PGw.d. Values whose rounded magnitude lies in [0.1, 10**d) (and zero) use
// F editing with d significant digits followed by blanks in place of the
// exponent; the others use 1PE editing. comp_d = 1 drops the extra digit 1P
// would add in the E form (list-directed output uses that).
template <class T>
void put_general(std::string& out, T v, int w, int d, int exp_digits, int comp_d) {
  if (!check_descriptor(out, w, d, false)) return;
  if (!std::isfinite(v)) return put_nonfinite(out, std::isnan(v), std::signbit(v), w);
  const T m = std::fabs(v);
  // A value rounds up to the next power of ten once it reaches
  // 10**s * (1 - 0.5 * 10**-d); the tests are done in T, as gfortran does.
  const T exp_d = power_of_ten<T>(d);
  const T r = static_cast<T>(0.5);
  const T r_sc = 1 - r / exp_d;
  const T low = static_cast<T>(0.1 * static_cast<double>(r_sc));
  if (d == 0 || (m > 0 && (m < low || r >= exp_d - m))) {
    return put_exp(out, v, w, d - comp_d, 1, exp_digits);
  }
  // Smallest mid with m < 10**(mid-1) * r_sc: mid - 1 digits before the point.
  int lo = 0, hi = d + 1, mid = 0, lbound = 0, ubound = d + 1;
  while (lo <= hi) {
    mid = (lo + hi) / 2;
    const T bound = power_of_ten<T>(mid - 1) * r_sc;
    if (m < bound) {
      ubound = mid;
      if (ubound == lbound + 1) break;
      hi = mid - 1;
    } else if (m > bound) {
      lbound = mid;
      if (ubound == lbound + 1) {
        ++mid;
        break;
      }
      lo = mid + 1;
    } else {
      ++mid;
      break;
    }
  }
  int npad = exp_digits <= 0 ? 4 : exp_digits + 2;
  if (npad >= w) npad = w - 1;
  const int fd = m == 0 ? d - 1 : d + 1 - mid;
  put_parts(out, fixed_parts(m, fd < 0 ? 0 : fd, 0), std::signbit(v), w - npad, npad);
}

void put_integer(std::string& out, long long v, int w, bool min_width_ok) {
  w = clamp_width(w);
  if (w < 0 || (w == 0 && !min_width_ok)) return put_stars(out, w);
  const unsigned long long mag =
      v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  const std::string digits = std::to_string(mag);
  const int len = static_cast<int>(digits.size()) + (v < 0 ? 1 : 0);
  if (w == 0) w = len;
  if (len > w) return put_stars(out, w);
  put_blanks(out, w - len);
  if (v < 0) out += '-';
  out += digits;
}

// Runs one append; if memory runs out the record is left as it was.
template <class Fn>
void guarded(std::string& text, Fn&& fn) noexcept {
  const std::size_t size = text.size();
  try {
    fn(text);
  } catch (...) {
    text.resize(size);
  }
}

}  // namespace

Record& Record::x(int n) noexcept {
  guarded(text_, [&](std::string& out) { put_blanks(out, clamp_width(n)); });
  return *this;
}

Record& Record::text(std::string_view s) noexcept {
  guarded(text_, [&](std::string& out) { out += s; });
  return *this;
}

Record& Record::a(std::string_view s) noexcept {
  return text(s);
}

Record& Record::a(std::string_view s, int w) noexcept {
  // Fortran's Aw: a shorter string is right-justified, a longer one keeps
  // its leftmost w characters. A has no asterisk form.
  guarded(text_, [&](std::string& out) {
    const int width = clamp_width(w);
    if (width <= 0) return;
    const std::size_t uw = static_cast<std::size_t>(width);
    if (s.size() >= uw) {
      out += s.substr(0, uw);
    } else {
      put_blanks(out, static_cast<int>(uw - s.size()));
      out += s;
    }
  });
  return *this;
}

Record& Record::i(long long v, int w) noexcept {
  guarded(text_, [&](std::string& out) { put_integer(out, v, w, true); });
  return *this;
}

Record& Record::f(double v, int w, int d) noexcept {
  guarded(text_, [&](std::string& out) { put_fixed(out, v, w, d, 0); });
  return *this;
}

Record& Record::f1p(double v, int w, int d) noexcept {
  guarded(text_, [&](std::string& out) { put_fixed(out, v, w, d, 1); });
  return *this;
}

Record& Record::e(double v, int w, int d) noexcept {
  guarded(text_, [&](std::string& out) { put_exp(out, v, w, d, 0, 0); });
  return *this;
}

Record& Record::e1p(double v, int w, int d) noexcept {
  guarded(text_, [&](std::string& out) { put_exp(out, v, w, d, 1, 0); });
  return *this;
}

Record& Record::g1p(double v, int w, int d) noexcept {
  guarded(text_, [&](std::string& out) { put_general(out, v, w, d, 0, 0); });
  return *this;
}

// gfortran writes a blank before every list item except the first (which
// gets the record's leading blank instead) and except a character item that
// directly follows another character item.
ListDirected& ListDirected::add(std::string_view s) noexcept {
  guarded(text_, [&](std::string& out) {
    if (!started_ || !last_was_text_) out += ' ';
    out += s;
  });
  started_ = true;
  last_was_text_ = true;
  return *this;
}

ListDirected& ListDirected::add(int v) noexcept {
  guarded(text_, [&](std::string& out) {
    out += ' ';
    put_integer(out, v, 11, false);
  });
  started_ = true;
  last_was_text_ = false;
  return *this;
}

ListDirected& ListDirected::add(double v) noexcept {
  guarded(text_, [&](std::string& out) {
    out += ' ';
    put_general(out, v, 25, 17, 3, 1);
  });
  started_ = true;
  last_was_text_ = false;
  return *this;
}

ListDirected& ListDirected::add(float v) noexcept {
  guarded(text_, [&](std::string& out) {
    out += ' ';
    put_general(out, v, 16, 9, 2, 1);
  });
  started_ = true;
  last_was_text_ = false;
  return *this;
}

}  // namespace r3::rec
