// Property and gradient calls allocate nothing: the global allocation
// functions of this test program count their calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/thermo/thermo_test_util.h"

namespace {
std::atomic<long> g_allocations{0};
}

// AddressSanitizer brings its own allocation functions; the count is taken
// in the normal build only.
#if !defined(__SANITIZE_ADDRESS__)
#define R3_COUNT_ALLOCATIONS 1
// None of them inlined: where GCC 12 sees malloc() or free() behind only one
// of a new/delete pair it reports a mismatch (-Wmismatched-new-delete).
[[gnu::noinline]] void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t n) { return operator new(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace r3::thermo {
namespace {

TEST(NoAllocation, PropertyAndGradientCalls) {
#if !defined(R3_COUNT_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
#endif
  for (Method meth : {Method::Ideal, Method::PengRobinson}) {
    auto m = testing::model_of(meth, {"N2", "CH4", "C3H8", "NC6", "H2O"});
    ASSERT_TRUE(m);
    const int n = m->size();
    std::vector<double> x{0.1, 0.5, 0.2, 0.15, 0.05}, dx(n), lp(n), dT(n), dP(n), dX(n * n);
    Gradient g{0, 0, dx};
    LnPhiDerivatives d{dT, dP, dX};
    double v;
    const long before = g_allocations.load();
    for (Phase ph : {Phase::Vapour, Phase::Liquid})
      for (double T : {250.0, 1200.0}) {
        for (int k = 0; k < 4; ++k) EXPECT_EQ(testing::property(*m, k, ph, T, 2e6, x, v, &g), Status::Ok);
        EXPECT_EQ(m->compressibility(ph, T, 2e6, x, v), Status::Ok);
        EXPECT_EQ(m->ln_fugacity_coefficients(ph, T, 2e6, x, lp, &d), Status::Ok);
        EXPECT_EQ(m->molecular_weight(x, v, &g), Status::Ok);
      }
    EXPECT_NE(m->vapour_pressure(2, 300, v), Status::Failed);
    EXPECT_EQ(g_allocations.load(), before);
  }
}

}  // namespace
}  // namespace r3::thermo
