// Two blocks of one model, each on its own thread with its own host run,
// called many times at once, give exactly the results each gives alone.
// Built with -fsanitize=thread (scripts/test-threads.sh) this also shows that
// the calls share no state.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/services/block.h"
#include "host/services/context.h"

extern "C" void R3PUMP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

struct Result {
  int32_t status = -1;
  std::vector<double> y, f, dfdy;
  std::vector<std::string> names;
  bool operator==(const Result&) const = default;
};

// A pump block prepared and evaluated `repeats` times on the calling thread.
Result evaluate(const std::string& id, double pressure, int repeats) {
  std::string error;
  Result r;
  if (!host::configure_run(std::vector<std::string>{"H2O", "NC6"}, thermo::Method::Ideal, error)) return r;
  host::reset_thread_areas();
  host::Block b(id, R3PUMP);
  b.matin = {id + "IN"};
  b.matout = {id + "OUT"};
  b.ints = {1, 1};
  b.ipropset = 1;
  b.connect_streams();
  if (!b.set_material_inlet(0, {0.7, 0.3}, 300.0, pressure)) return r;
  r.status = b.prepare();
  for (int i = 0; i < repeats && r.status == 0; ++i) r.status = b.call(KODE_RESID) | b.call(KODE_JACOB);
  r.y = b.y, r.f = b.f, r.dfdy = b.dfdy;
  for (int i = 1; i <= b.ny; ++i) r.names.push_back(b.var_name(i));
  return r;
}

TEST(Threads, TwoBlocksOfOneModelOnTwoThreadsMatchSerialRuns) {
  const Result one = evaluate("P1", 1.0e5, 1), two = evaluate("P2", 4.0e5, 1);
  ASSERT_EQ(one.status, 0);
  ASSERT_EQ(two.status, 0);
  ASSERT_NE(one.dfdy, two.dfdy);
  for (int round = 0; round < 20; ++round) {
    Result a, b;
    std::thread ta([&] { a = evaluate("P1", 1.0e5, 50); });
    std::thread tb([&] { b = evaluate("P2", 4.0e5, 50); });
    ta.join();
    tb.join();
    ASSERT_EQ(a, one) << "round " << round;
    ASSERT_EQ(b, two) << "round " << round;
  }
}

}  // namespace
}  // namespace r3::test
