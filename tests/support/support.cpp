#include "tests/support/support.h"

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "framework/host_services.h"
#include "host/units/units.h"

namespace r3::test {
namespace {

namespace un = host::units;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every unit reset and captured in memory, no failure switches.
void capture_units() {
  un::reset();
  for (int32_t u : {un::kStandardOutput, un::kMessageUnit, un::kReportUnit, un::kSecondMessageUnit}) un::capture(u);
  host::clear_failures();
}

// One request on a point, its output array first filled with NaN so that an
// entry the block leaves unwritten shows.
std::vector<double> evaluate(host::Block& b, const std::vector<double>& y, int32_t kode) {
  std::vector<double>& out = kode == KODE_RESID ? b.f : b.dfdy;
  b.y = y;
  std::fill(out.begin(), out.end(), kNaN);
  b.call(kode);
  return out;
}

double safe_scale(double s) { return (s == host::kRmiss || !(std::fabs(s) > 0.0)) ? 1.0 : std::fabs(s); }

void check_point(host::Block& b, const std::vector<double>& y0, const ConformanceOptions& opt,
                 const std::string& where) {
  const std::vector<double> f0 = evaluate(b, y0, KODE_RESID), jac = evaluate(b, y0, KODE_JACOB);
  for (int i = 0; i < b.nf; ++i)
    EXPECT_TRUE(std::isfinite(f0[i])) << where << ": residual " << b.eqn_name(i + 1) << " not written or not finite";
  std::map<std::pair<int, int>, double> analytic;  // entries summed per (row, column)
  for (int k = 0; k < b.nz; ++k) {
    EXPECT_TRUE(std::isfinite(jac[k])) << where << ": Jacobian entry " << k + 1 << " not written or not finite";
    analytic[{b.ijrow[k], b.ijcol[k]}] += jac[k];
  }
  // Central differences column by column; at a lower bound (a flow at zero)
  // the difference is one-sided.
  std::vector<double> y = y0;
  for (int j = 1; j <= b.ny; ++j) {
    const double yj = y0[j - 1], ys = safe_scale(b.yscl[j - 1]);
    const double h = opt.step * std::max(std::fabs(yj), ys), lo = b.ylb[j - 1];
    const bool one_sided = lo != host::kRmiss && yj - h < lo;
    y[j - 1] = yj + h;
    const std::vector<double> fp = residuals_at(b, y);
    y[j - 1] = one_sided ? yj : yj - h;
    const std::vector<double> fm = residuals_at(b, y);
    y[j - 1] = yj;
    for (int i = 1; i <= b.nf; ++i) {
      const double num = (fp[i - 1] - fm[i - 1]) / (one_sided ? h : 2 * h);
      const auto it = analytic.find({i, j});
      const double ana = it == analytic.end() ? 0.0 : it->second, k = ys / safe_scale(b.fscl[i - 1]);
      if (!(std::fabs(ana - num) * k <= opt.abs_tol + opt.rel_tol * std::fabs(num) * k))
        ADD_FAILURE() << where << ": d " << b.eqn_name(i) << " / d " << b.var_name(j)
                      << (it == analytic.end() ? " (not in the pattern)" : "") << ": analytic " << ana
                      << ", finite difference " << num;
    }
  }
}

}  // namespace

void reset_host(const std::vector<std::string>& components, thermo::Method method) {
  capture_units();
  host::run().report_units = host::ReportUnits::SI;
  std::string error;
  if (!host::configure_run(components, method, error)) ADD_FAILURE() << "cannot configure the run: " << error;
  host::reset_shared_areas();
}

std::vector<std::string> records(int32_t unit) { return un::take(unit); }
std::vector<std::string> messages() { return records(un::kMessageUnit); }
std::vector<std::string> report() { return records(un::kReportUnit); }
std::vector<std::string> standard_output() { return records(un::kStandardOutput); }

std::vector<double> residuals_at(host::Block& b, const std::vector<double>& y) { return evaluate(b, y, KODE_RESID); }

void check_conformance(host::Block& b, const ConformanceOptions& opt) {
  const int ny = b.ny, nf = b.nf;
  ASSERT_TRUE(ny > 0 && nf > 0 && b.y.size() == static_cast<size_t>(ny)) << ny << " variables, " << nf << " equations";
  // Exactly NY variable and NF equation names, none empty, all distinct.
  for (auto [n, name] : {std::pair{ny, &host::Block::var_name}, std::pair{nf, &host::Block::eqn_name}}) {
    std::set<std::string> seen;
    for (int i = 1; i <= n; ++i) {
      const std::string s = (b.*name)(i);
      EXPECT_FALSE(s.empty()) << "variable/equation " << i << " has no name";
      EXPECT_TRUE(seen.insert(s).second) << "name " << s << " repeated";
    }
  }
  // Pattern: NZ entries inside NF x NY, no entry twice, every row used.
  std::set<std::pair<int, int>> seen;
  std::set<int> rows;
  for (int k = 0; k < b.nz; ++k) {
    const int r = b.ijrow[k], c = b.ijcol[k];
    if (r < 1 || r > nf || c < 1 || c > ny) {
      ADD_FAILURE() << "pattern entry " << k + 1 << " at row " << r << ", column " << c << " outside the block";
      return;
    }
    EXPECT_TRUE(seen.insert({r, c}).second) << "pattern entry " << b.eqn_name(r) << " / " << b.var_name(c) << " repeated";
    rows.insert(r);
  }
  for (int r = 1; r <= nf; ++r) EXPECT_TRUE(rows.count(r)) << b.eqn_name(r) << " has no entry";
  // Scales and values written.
  for (int i = 0; i < nf; ++i) EXPECT_NE(b.fscl[i], host::kRmiss) << "no scale for " << b.eqn_name(i + 1);
  for (int j = 0; j < ny; ++j) {
    EXPECT_NE(b.yscl[j], host::kRmiss) << "no scale for " << b.var_name(j + 1);
    EXPECT_NE(b.y[j], host::kRmiss) << "no value for " << b.var_name(j + 1);
  }
  // Repeated calls give identical results.
  const std::vector<double> y0 = b.y;
  for (int32_t kode : {KODE_RESID, KODE_JACOB}) {
    const std::vector<double> first = evaluate(b, y0, kode), second = evaluate(b, y0, kode);
    EXPECT_TRUE(first.empty() || std::memcmp(first.data(), second.data(), first.size() * sizeof(double)) == 0)
        << "request " << kode << " not repeatable";
  }
  // The Jacobian at the initial point and at perturbed points.
  check_point(b, y0, opt, "initial point");
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (int p = 1; p <= opt.extra_points; ++p) {
    std::vector<double> y = y0;
    for (double& v : y) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      v *= 1.0 + opt.spread * (static_cast<double>(seed >> 11) / 9007199254740992.0 * 2.0 - 1.0);
    }
    check_point(b, y, opt, "point " + std::to_string(p));
  }
  b.y = y0;
}

double CaseRun::value(const std::string& name) const {
  for (const host::Variable& v : flowsheet->variables())
    if (v.name == name) return v.value;
  ADD_FAILURE() << "no variable " << name;
  return 0.0;
}

const std::vector<double>& CaseRun::stream(const std::string& id) const {
  static const std::vector<double> none;
  const std::vector<double>* v = flowsheet->stream_vector(id);
  if (v == nullptr) ADD_FAILURE() << "no stream " << id;
  return v ? *v : none;
}

CaseRun run_case(const std::string& path, const std::map<std::string, EntryFn>& entries) {
  CaseRun r;
  r.flowsheet = std::make_unique<host::Flowsheet>();
  capture_units();
  host::Case c;
  const auto resolve = [&](const std::string& name) -> EntryFn {
    const auto it = entries.find(name);
    return it == entries.end() ? nullptr : it->second;
  };
  if (!host::load_case(path, c, r.error) || !r.flowsheet->build(c, resolve, r.error)) return r;
  r.outcome = r.flowsheet->initialise(r.error);
  if (r.outcome == host::Outcome::Solved) r.outcome = r.flowsheet->check_structure(r.error);
  if (r.outcome == host::Outcome::Solved) {
    r.solve = r.flowsheet->solve(c.solver.max_iterations, c.solver.tolerance, nullptr);
    r.outcome = r.solve.outcome;
    if (!r.solve.converged) r.error = r.solve.message;
    r.flowsheet->update_streams();
    r.flowsheet->write_reports();
  }
  r.report = un::take(un::kReportUnit);
  r.messages = un::take(un::kMessageUnit);
  return r;
}

std::vector<const thermo::Component*> synthetic_components(const std::vector<std::string>& base,
                                                           int n) {
  static std::deque<thermo::Component> rows;
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> list;
  for (int i = 0; i < n; ++i) {
    thermo::Component c = db[db.find(base[static_cast<size_t>(i) % base.size()])];
    c.id = std::string("C").append(
        std::to_string(i + 1));  // appended: GCC 12 -Wrestrict false positive
    c.mw *= 1.0 + 0.001 * i;
    list.push_back(&rows.emplace_back(std::move(c)));
  }
  return list;
}

std::string file_text(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

CaseRun run_case_text(const std::string& text, const std::map<std::string, EntryFn>& entries) {
  // One file per process: test cases may run in parallel.
  const auto path =
      std::filesystem::temp_directory_path() / ("r3_case_" + std::to_string(::getpid()) + ".toml");
  std::ofstream(path) << text;
  CaseRun r = run_case(path.string(), entries);
  std::filesystem::remove(path);
  return r;
}

std::string example_path(const std::string& name) { return std::string(R3_SOURCE_DIR) + "/examples/" + name; }

}  // namespace r3::test
