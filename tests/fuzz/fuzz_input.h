// Reading fuzz inputs: bytes, 16-bit words, and integers and reals that are
// either raw (tag 0 and the value's bytes, as the seeds write them) or one of
// the values hosts send carelessly: extremes, the missing markers, NaN, ±Inf.
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
  uint8_t byte() {
    uint8_t v = 0;
    take(&v, 1);
    return v;
  }
  uint16_t u16() {
    uint16_t v = 0;
    take(&v, 2);
    return v;
  }
  int32_t integer() {
    static const int32_t special[] = {INT32_MAX, INT32_MIN, -2147483647, -1};
    const uint8_t tag = byte();
    if (tag == 0) {
      int32_t v = 0;
      take(&v, 4);
      return v;
    }
    return tag <= 4 ? special[tag - 1] : tag - 5;
  }
  double real() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double special[] = {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1.0e35, 0.0, -1.0, 1.0e300, 1.0e-300};
    const uint8_t tag = byte();
    if (tag == 0) {
      double v = 0.0;
      take(&v, 8);
      return v;
    }
    return tag <= 8 ? special[tag - 1] : (tag - 9) * 0.5;
  }

 private:
  void take(void* out, size_t k) {
    const size_t m = k < n_ ? k : n_;
    if (m == 0) return;
    std::memcpy(out, d_, m);
    d_ += m;
    n_ -= m;
  }
  const uint8_t* d_;
  size_t n_;
};

}  // namespace r3::fuzz
