#include "tests/support/support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "framework/host_services.h"
#include "host/units/units.h"

namespace r3::test {

void reset_host(const std::vector<std::string>& components, thermo::Method method) {
  host::units::reset();
  for (int32_t u : {host::units::kStandardOutput, host::units::kMessageUnit,
                    host::units::kReportUnit, host::units::kSecondMessageUnit}) {
    host::units::capture(u);
  }
  host::clear_failures();
  host::run().report_units = host::ReportUnits::SI;
  std::string error;
  if (!host::configure_run(components, method, error)) {
    ADD_FAILURE() << "cannot configure the run: " << error;
  }
  host::reset_shared_areas();
}

std::vector<std::string> records(int32_t unit) { return host::units::take(unit); }
std::vector<std::string> messages() { return records(host::units::kMessageUnit); }
std::vector<std::string> report() { return records(host::units::kReportUnit); }
std::vector<std::string> standard_output() { return records(host::units::kStandardOutput); }

std::vector<double> residuals_at(host::Block& b, const std::vector<double>& y) {
  b.y = y;
  std::fill(b.f.begin(), b.f.end(), std::numeric_limits<double>::quiet_NaN());
  b.call(KODE_RESID);
  return b.f;
}

namespace {

std::vector<double> jacobian_at(host::Block& b, const std::vector<double>& y) {
  b.y = y;
  std::fill(b.dfdy.begin(), b.dfdy.end(), std::numeric_limits<double>::quiet_NaN());
  b.call(KODE_JACOB);
  return b.dfdy;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return false;
  }
  return true;
}

double safe_scale(double s) { return (s == host::kRmiss || !(std::fabs(s) > 0.0)) ? 1.0 : std::fabs(s); }

void check_point(host::Block& b, const std::vector<double>& y0, const ConformanceOptions& opt,
                 const std::string& where) {
  const int ny = b.ny, nf = b.nf, nz = b.nz;
  const std::vector<double> f0 = residuals_at(b, y0);
  for (int i = 0; i < nf; ++i) {
    EXPECT_TRUE(std::isfinite(f0[static_cast<size_t>(i)]))
        << where << ": residual " << b.eqn_name(i + 1) << " not written or not finite";
  }
  const std::vector<double> jac = jacobian_at(b, y0);
  // Analytic entries summed per (row, column).
  std::map<std::pair<int, int>, double> analytic;
  for (int k = 0; k < nz; ++k) {
    EXPECT_TRUE(std::isfinite(jac[static_cast<size_t>(k)]))
        << where << ": Jacobian entry " << k + 1 << " not written or not finite";
    analytic[{b.ijrow[static_cast<size_t>(k)], b.ijcol[static_cast<size_t>(k)]}] +=
        jac[static_cast<size_t>(k)];
  }
  // Central differences, column by column.
  std::vector<double> y = y0;
  for (int j = 1; j <= ny; ++j) {
    const double yj = y0[static_cast<size_t>(j - 1)];
    const double h = opt.step * std::max(std::fabs(yj), safe_scale(b.yscl[static_cast<size_t>(j - 1)]));
    // At a lower bound (a flow at zero) the difference is one-sided.
    const double lo = b.ylb[static_cast<size_t>(j - 1)];
    const bool one_sided = lo != host::kRmiss && yj - h < lo;
    y[static_cast<size_t>(j - 1)] = yj + h;
    const std::vector<double> fp = residuals_at(b, y);
    y[static_cast<size_t>(j - 1)] = one_sided ? yj : yj - h;
    const std::vector<double> fm = residuals_at(b, y);
    y[static_cast<size_t>(j - 1)] = yj;
    const double span = one_sided ? h : 2 * h;
    const double ys = safe_scale(b.yscl[static_cast<size_t>(j - 1)]);
    for (int i = 1; i <= nf; ++i) {
      const double num = (fp[static_cast<size_t>(i - 1)] - fm[static_cast<size_t>(i - 1)]) / span;
      auto it = analytic.find({i, j});
      const double ana = it == analytic.end() ? 0.0 : it->second;
      const double k = ys / safe_scale(b.fscl[static_cast<size_t>(i - 1)]);
      const double err = std::fabs(ana - num) * k;
      if (!(err <= opt.abs_tol + opt.rel_tol * std::fabs(num) * k)) {
        ADD_FAILURE() << where << ": d " << b.eqn_name(i) << " / d " << b.var_name(j)
                      << (it == analytic.end() ? " (not in the pattern)" : "")
                      << ": analytic " << ana << ", finite difference " << num;
      }
    }
  }
}

}  // namespace

void check_conformance(host::Block& b, const ConformanceOptions& opt) {
  const int ny = b.ny, nf = b.nf, nz = b.nz;
  ASSERT_GT(ny, 0);
  ASSERT_GT(nf, 0);
  ASSERT_EQ(b.y.size(), static_cast<size_t>(ny));
  // Names: exactly NY variable and NF equation names, all distinct.
  std::set<std::string> vn, en;
  for (int i = 1; i <= ny; ++i) {
    const std::string n = b.var_name(i);
    EXPECT_FALSE(n.empty()) << "variable " << i << " has no name";
    EXPECT_TRUE(vn.insert(n).second) << "variable name " << n << " repeated";
  }
  for (int i = 1; i <= nf; ++i) {
    const std::string n = b.eqn_name(i);
    EXPECT_FALSE(n.empty()) << "equation " << i << " has no name";
    EXPECT_TRUE(en.insert(n).second) << "equation name " << n << " repeated";
  }
  // Pattern: NZ entries inside NF x NY, no entry twice, every row used.
  std::set<std::pair<int, int>> seen;
  std::vector<int> row_used(static_cast<size_t>(nf) + 1, 0);
  for (int k = 0; k < nz; ++k) {
    const int r = b.ijrow[static_cast<size_t>(k)], c = b.ijcol[static_cast<size_t>(k)];
    EXPECT_TRUE(r >= 1 && r <= nf) << "pattern entry " << k + 1 << " row " << r;
    EXPECT_TRUE(c >= 1 && c <= ny) << "pattern entry " << k + 1 << " column " << c;
    if (r < 1 || r > nf || c < 1 || c > ny) return;
    EXPECT_TRUE(seen.insert({r, c}).second)
        << "pattern entry " << b.eqn_name(r) << " / " << b.var_name(c) << " repeated";
    row_used[static_cast<size_t>(r)] = 1;
  }
  for (int r = 1; r <= nf; ++r) EXPECT_TRUE(row_used[static_cast<size_t>(r)]) << b.eqn_name(r) << " has no entry";
  // Scales written.
  for (int i = 0; i < nf; ++i) {
    EXPECT_NE(b.fscl[static_cast<size_t>(i)], host::kRmiss) << "no scale for " << b.eqn_name(i + 1);
  }
  for (int j = 0; j < ny; ++j) {
    EXPECT_NE(b.yscl[static_cast<size_t>(j)], host::kRmiss) << "no scale for " << b.var_name(j + 1);
    EXPECT_NE(b.y[static_cast<size_t>(j)], host::kRmiss) << "no value for " << b.var_name(j + 1);
  }
  const std::vector<double> y0 = b.y;
  // Repeated calls give identical results.
  const std::vector<double> f1 = residuals_at(b, y0), f2 = residuals_at(b, y0);
  EXPECT_TRUE(same_bits(f1, f2)) << "residuals differ between two identical calls";
  const std::vector<double> j1 = jacobian_at(b, y0), j2 = jacobian_at(b, y0);
  EXPECT_TRUE(same_bits(j1, j2)) << "Jacobian differs between two identical calls";
  // The Jacobian at the initial point and at perturbed points.
  check_point(b, y0, opt, "initial point");
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (int p = 1; p <= opt.extra_points; ++p) {
    std::vector<double> y = y0;
    for (double& v : y) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      const double r = static_cast<double>(seed >> 11) / 9007199254740992.0 * 2.0 - 1.0;
      v *= 1.0 + opt.spread * r;
    }
    check_point(b, y, opt, "point " + std::to_string(p));
  }
  b.y = y0;
}

double CaseRun::value(const std::string& name) const {
  for (const host::Variable& v : flowsheet->variables()) {
    if (v.name == name) return v.value;
  }
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
  host::units::reset();
  for (int32_t u : {host::units::kStandardOutput, host::units::kMessageUnit,
                    host::units::kReportUnit, host::units::kSecondMessageUnit}) {
    host::units::capture(u);
  }
  host::clear_failures();
  host::Case c;
  if (!host::load_case(path, c, r.error)) return r;
  auto resolve = [&](const std::string& name) -> EntryFn {
    auto it = entries.find(name);
    return it == entries.end() ? nullptr : it->second;
  };
  if (!r.flowsheet->build(c, resolve, r.error)) return r;
  r.outcome = r.flowsheet->initialise(r.error);
  if (r.outcome == host::Outcome::Solved) {
    r.outcome = r.flowsheet->check_structure(r.error);
  }
  if (r.outcome == host::Outcome::Solved) {
    r.solve = r.flowsheet->solve(c.solver.max_iterations, c.solver.tolerance, nullptr);
    r.outcome = r.solve.outcome;
    if (!r.solve.converged) r.error = r.solve.message;
    r.flowsheet->update_streams();
    r.flowsheet->write_reports();
  }
  r.report = host::units::take(host::units::kReportUnit);
  r.messages = host::units::take(host::units::kMessageUnit);
  return r;
}

std::string example_path(const std::string& name) {
  return std::string(R3_SOURCE_DIR) + "/examples/" + name;
}

}  // namespace r3::test
