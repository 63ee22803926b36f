#include "tests/control_valve/valve_fixture.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

// The data manager's gate and printer, seen through the linker's wrapping.
extern "C" int32_t __real_DMS_IRRCHK(const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*, const int32_t*);
extern "C" void __real_DMS_ERRPRT(const int32_t*);

extern "C" int32_t __wrap_DMS_IRRCHK(const int32_t* routine, const int32_t* iclass,
                                     const int32_t* msgno, const int32_t* level,
                                     const int32_t* glevel, const int32_t* a6, const int32_t* a7,
                                     const int32_t* a8) {
  r3::test::GateCall c;
  c.routine.assign(reinterpret_cast<const char*>(routine), 8);
  c.iclass = *iclass;
  c.msgno = *msgno;
  c.level = *level;
  c.glevel = *glevel;
  c.a6 = *a6;
  c.a7 = *a7;
  c.a8 = *a8;
  // The levels must be the data manager's own words 6 and 8.
  EXPECT_EQ(level, &DMS_GLOBAL[5]);
  EXPECT_EQ(glevel, &DMS_GLOBAL[7]);
  r3::test::gate_calls().push_back(c);
  return __real_DMS_IRRCHK(routine, iclass, msgno, level, glevel, a6, a7, a8);
}

extern "C" void __wrap_DMS_ERRPRT(const int32_t* n) {
  r3::test::print_calls().push_back(n ? *n : -999);
  __real_DMS_ERRPRT(n);
}

namespace r3::test {

std::vector<GateCall>& gate_calls() {
  static std::vector<GateCall> v;
  return v;
}
std::vector<int32_t>& print_calls() {
  static std::vector<int32_t> v;
  return v;
}

void ValveTest::SetUp() {
  reset_host({"H2O"});
  gate_calls().clear();
  print_calls().clear();
}

host::Block make_valve(const ValveInts& p, int ncomp) {
  const bool vap = p.phase == 1;
  if (vap) {
    if (ncomp == 1) {
      reset_host({"CH4"}, thermo::Method::PengRobinson);
    } else {
      reset_host({"CH4", "C2H6", "N2"}, thermo::Method::PengRobinson);
    }
  } else {
    if (ncomp == 1) {
      reset_host({"H2O"}, thermo::Method::PengRobinson);
    } else {
      reset_host({"NC6", "NC7", "NC8"}, thermo::Method::PengRobinson);
    }
  }
  gate_calls().clear();
  print_calls().clear();
  host::Block b("V1", R3VALV);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  b.ints = p.list();
  b.ipropset = 2;
  b.connect_streams();
  std::vector<double> flows;
  if (ncomp == 1) {
    flows = {vap ? 0.5 : 1.0};
  } else {
    flows = vap ? std::vector<double>{0.4, 0.08, 0.02} : std::vector<double>{0.5, 0.3, 0.2};
  }
  EXPECT_TRUE(b.set_material_inlet(0, flows, 300.0, vap ? 2.0e6 : 5.0e5));
  return b;
}

int var(const host::Block& b, const std::string& name) {
  const int i = b.find_var(name);
  EXPECT_NE(i, 0) << "no variable " << name;
  return i;
}

double& y(host::Block& b, const std::string& name) {
  static double none = 0.0;
  const int i = var(b, name);
  return i > 0 ? b.y[static_cast<size_t>(i - 1)] : none;
}

void fix(host::Block& b, const std::string& name, double value) {
  const int i = var(b, name);
  if (i == 0) return;
  b.y[static_cast<size_t>(i - 1)] = value;
  b.fix(i);
}

std::vector<double> residuals(host::Block& b) { return residuals_at(b, b.y); }

int eqn(const host::Block& b, const std::string& name) {
  for (int i = 1; i <= b.nf; ++i) {
    if (b.eqn_name(i) == b.id + "." + name) return i;
  }
  ADD_FAILURE() << "no equation " << name;
  return 1;
}

std::string write_case(const std::string& name, const std::string& text) {
  // One directory per process: test cases may run in parallel.
  const auto dir = std::filesystem::temp_directory_path() /
                   ("r3_valve_tests_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / name;
  std::ofstream(path) << text;
  return path.string();
}

}  // namespace r3::test
