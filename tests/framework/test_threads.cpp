// Two blocks of one model, each on its own thread with its own host run,
// called many times at once, give exactly the results each gives alone; and
// two whole cases (different models, methods and work areas in the data
// manager's pool) solved at once on two threads give the serial solutions.
// Built with -fsanitize=thread (scripts/test-threads.sh) this also shows that
// the calls share no state.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/case/case.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/solver/flowsheet.h"
#include "host/units/units.h"

extern "C" {
void R3PUMP(R3_ENTRY_PARAMS);
void R3NUML(R3_ENTRY_PARAMS);
void R3SKEW(R3_ENTRY_PARAMS);
void R3STRB(R3_ENTRY_PARAMS);
void R3UMIX(R3_USER_PARAMS);
void R3UHEAT(R3_USER_PARAMS);
void R3UPDROP(R3_USER_PARAMS);
}

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

// An example case solved on the calling thread: its iterations and values.
struct Solution {
  std::string error;
  int iterations = -1;
  std::vector<double> values;
  bool operator==(const Solution&) const = default;
};

Solution solve_example(const std::string& name) {
  Solution s;
  host::units::capture(host::units::kMessageUnit);
  host::units::capture(host::units::kReportUnit);
  host::Case c;
  if (!host::load_case(std::string(R3_SOURCE_DIR) + "/examples/" + name, c, s.error)) return s;
  const auto resolve = [](const std::string& m) -> EntryFn {
    if (m == "R3NUML") return R3NUML;
    if (m == "R3SKEW") return R3SKEW;
    if (m == "R3STRB") return R3STRB;
    if (m == "R3PUMP") return R3PUMP;
    if (m == "R3UMIX") return reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(R3UMIX));
    if (m == "R3UHEAT") return reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(R3UHEAT));
    if (m == "R3UPDROP") return reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(R3UPDROP));
    return nullptr;
  };
  host::Flowsheet fs;
  if (!fs.build(c, resolve, s.error) || fs.initialise(s.error) != host::Outcome::Solved ||
      fs.check_structure(s.error) != host::Outcome::Solved)
    return s;
  const auto rep = fs.solve(c.solver.max_iterations, c.solver.tolerance, nullptr);
  if (!rep.converged) s.error = rep.message;
  s.iterations = rep.iterations;
  s.values = fs.values();
  return s;
}

TEST(Threads, TwoCasesOnTwoThreadsMatchSerialRuns) {
  const std::string first = "numl/mix_heat_drop.toml", second = "skew/mass_open_knots.toml",
                    third = "strb/standard.toml";
  const Solution a0 = solve_example(first), b0 = solve_example(second), c0 = solve_example(third);
  for (const Solution* s : {&a0, &b0, &c0}) ASSERT_EQ(s->error, "");
  for (int round = 0; round < 3; ++round) {
    Solution a, b, c;
    std::thread ta([&] { a = solve_example(first); });
    std::thread tb([&] { b = solve_example(second); c = solve_example(third); });
    ta.join();
    tb.join();
    ASSERT_EQ(a, a0) << "round " << round;
    ASSERT_EQ(b, b0) << "round " << round;
    ASSERT_EQ(c, c0) << "round " << round;
  }
}

}  // namespace
}  // namespace r3::test
