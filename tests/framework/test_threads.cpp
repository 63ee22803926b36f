// Example cases (blocks of one model on both threads, then other models,
// methods and work areas in the data manager's pool) solved at once on two
// threads, many times, give exactly the serial solutions.
// Built with -fsanitize=thread (scripts/test-threads.sh) this also shows that
// the calls share no state.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/case/case.h"
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

// An example case solved on the calling thread: its values.
struct Solution {
  std::string error;
  std::vector<double> values;
  bool operator==(const Solution&) const = default;
};

Solution solve_example(const std::string& name) {
  Solution s;
  host::units::capture(host::units::kMessageUnit);
  host::units::capture(host::units::kReportUnit);
  host::Case c;
  if (!host::load_case(std::string(R3_SOURCE_DIR) + "/examples/" + name, c, s.error)) return s;
  const auto user = [](auto* f) {
    return reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(f));
  };
  const std::map<std::string, EntryFn> entries{
      {"R3NUML", R3NUML},          {"R3SKEW", R3SKEW},       {"R3STRB", R3STRB},
      {"R3PUMP", R3PUMP},          {"R3UMIX", user(R3UMIX)}, {"R3UHEAT", user(R3UHEAT)},
      {"R3UPDROP", user(R3UPDROP)}};
  const auto resolve = [&](const std::string& m) {
    return entries.count(m) ? entries.at(m) : nullptr;
  };
  host::Flowsheet fs;
  if (!fs.build(c, resolve, s.error) || fs.initialise(s.error) != host::Outcome::Solved ||
      fs.check_structure(s.error) != host::Outcome::Solved)
    return s;
  const auto rep = fs.solve(c.solver.max_iterations, c.solver.tolerance, nullptr);
  if (!rep.converged) s.error = rep.message;
  s.values = fs.values();
  return s;
}

// Each thread solves its list of cases in turn; both lists start with a pump
// (two different blocks of one model at once) and go on to other models.
TEST(Threads, CasesOnTwoThreadsMatchSerialRuns) {
  const std::vector<std::string> first{"pump.toml", "numl/mix_heat_drop.toml"},
      second{"pump_eo.toml", "skew/mass_open_knots.toml", "strb/standard.toml"};
  const auto solve_all = [](const std::vector<std::string>& cases) {
    std::vector<Solution> out;
    for (const auto& c : cases) out.push_back(solve_example(c));
    return out;
  };
  const std::vector<Solution> a0 = solve_all(first), b0 = solve_all(second);
  for (const auto* list : {&a0, &b0})
    for (const Solution& s : *list) ASSERT_EQ(s.error, "");
  for (int round = 0; round < 10; ++round) {
    std::vector<Solution> a, b;
    std::thread ta([&] { a = solve_all(first); });
    std::thread tb([&] { b = solve_all(second); });
    ta.join();
    tb.join();
    ASSERT_EQ(a, a0) << "round " << round;
    ASSERT_EQ(b, b0) << "round " << round;
  }
}

}  // namespace
}  // namespace r3::test
