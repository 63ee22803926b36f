// Text records in the layout gfortran produces.
//
// The models' diagnostics and reports were historically written with Fortran
// edit descriptors, and downstream tools (and people diffing old and new runs)
// expect those exact bytes. Record builds one formatted record field by field
// (I, F, E, 1PF, 1PE, 1PG, A, nX and literals); ListDirected builds one record
// of list-directed output (WRITE(*,*) ...). Both reproduce what gfortran's
// runtime writes, including its rounding, blank padding, optional leading
// zero, exponent forms and asterisk-filled fields.
//
// Conventions shared by every numeric field:
//  * A value that does not fit its field prints w asterisks.
//  * NaN prints as "NaN", infinities as "Inf"/"Infinity" with a mandatory
//    minus sign, right-justified; fields narrower than that get asterisks.
//  * Negative zero, and negative values that round to zero, keep their minus
//    sign ("-0.000"), as gfortran does by default.
//  * I and F accept w == 0 and then use the smallest width that holds the
//    value (I0, F0.d). E, 1PE and 1PG need a positive width.
//  * A descriptor that cannot be honoured (w < 0, d < 0, E with d == 0, or a
//    zero width where one is required) prints asterisks: w of them, or one
//    when w is not positive. Widths above kMaxWidth are treated as kMaxWidth,
//    so a corrupt width cannot exhaust memory.
//
// The builders never throw: if memory runs out, the field being added is
// dropped and the record keeps what it had. No global or static state is
// used; the output does not depend on the C locale.
#pragma once

#include <string>
#include <string_view>

namespace r3::rec {

// Largest field width (and number of decimal digits) honoured by a single
// descriptor.
inline constexpr int kMaxWidth = 4096;

// One formatted record, built left to right.
class Record {
 public:
  Record& x(int n) noexcept;                      // nX: n blanks (none if n <= 0)
  Record& text(std::string_view s) noexcept;      // a literal in the format
  Record& a(std::string_view s) noexcept;         // A: the string as it is
  Record& a(std::string_view s, int w) noexcept;  // Aw
  Record& i(long long v, int w) noexcept;         // Iw
  Record& f(double v, int w, int d) noexcept;     // Fw.d
  Record& f1p(double v, int w, int d) noexcept;   // 1PFw.d (prints v * 10)
  Record& e(double v, int w, int d) noexcept;     // Ew.d   (0.ddddE+xx)
  Record& e1p(double v, int w, int d) noexcept;   // 1PEw.d (d.ddddE+xx)
  Record& g1p(double v, int w, int d) noexcept;   // 1PGw.d

  std::string str() const { return text_; }
  std::string_view view() const noexcept { return text_; }
  void clear() noexcept { text_.clear(); }

 private:
  std::string text_;
};

// One record of list-directed output, as WRITE(*,*) writes it with gfortran:
// a leading blank, then the items. Numbers are preceded by a blank separator
// and padded to gfortran's fixed widths (INTEGER: 11 columns; REAL(8):
// 1PG25.17E3 with 17 significant digits; REAL(4): 1PG16.9E2 with 9);
// character items are written as they are, with a separating blank only
// when they follow a number. An empty builder is an empty record.
class ListDirected {
 public:
  ListDirected& add(std::string_view s) noexcept;
  ListDirected& add(const char* s) noexcept { return add(std::string_view(s ? s : "")); }
  ListDirected& add(int v) noexcept;     // INTEGER(4)
  ListDirected& add(double v) noexcept;  // REAL(8)
  ListDirected& add(float v) noexcept;   // REAL(4)

  std::string str() const { return text_; }
  std::string_view view() const noexcept { return text_; }
  void clear() noexcept {
    text_.clear();
    started_ = false;
    last_was_text_ = false;
  }

 private:
  std::string text_;
  bool started_ = false;        // the leading blank has been written
  bool last_was_text_ = false;  // previous item was a character item
};

}  // namespace r3::rec
