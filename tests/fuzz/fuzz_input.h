// Reading fuzz inputs: bytes, 16-bit words, and integers and reals that are
// either raw (tag 0, then the value's bytes, as the seeds write them) or one
// of the values careless hosts send: extremes, missing markers, NaN, ±Inf.
// Past the end every read gives 0.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

namespace r3::fuzz {

class Input {
 public:
  Input(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  bool empty() const { return n_ == 0; }
  uint8_t byte() { return take<uint8_t>(); }
  uint16_t u16() { return take<uint16_t>(); }
  int32_t integer() {
    static const int32_t special[] = {INT32_MAX, INT32_MIN, -2147483647, -1};
    const uint8_t tag = byte();
    return tag == 0 ? take<int32_t>() : tag <= 4 ? special[tag - 1] : tag - 5;
  }
  double real() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double special[] = {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1.0e35, 0.0, -1.0, 1.0e300, 1.0e-300};
    const uint8_t tag = byte();
    return tag == 0 ? take<double>() : tag <= 8 ? special[tag - 1] : (tag - 9) * 0.5;
  }

 private:
  template <class T>
  T take() {
    T v{};
    const size_t m = sizeof v < n_ ? sizeof v : n_;
    if (m > 0) std::memcpy(&v, d_, m);
    d_ += m;
    n_ -= m;
    return v;
  }
  const uint8_t* d_;
  size_t n_;
};

}  // namespace r3::fuzz
