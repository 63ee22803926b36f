#include "tests/control_valve/valve_fixture.h"

namespace {
std::vector<std::string> gate_lines, print_counts;
}

// The data manager's gate and printer, seen through the linker's wrapping.
extern "C" int32_t __real_DMS_IRRCHK(const int32_t*, const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*);
extern "C" void __real_DMS_ERRPRT(const int32_t*);

extern "C" int32_t __wrap_DMS_IRRCHK(const int32_t* routine, const int32_t* iclass,
                                     const int32_t* msgno, const int32_t* level,
                                     const int32_t* glevel, const int32_t* a6, const int32_t* a7,
                                     const int32_t* a8) {
  // The levels must be the data manager's own words 6 and 8.
  EXPECT_EQ(level, &DMS_GLOBAL[5]);
  EXPECT_EQ(glevel, &DMS_GLOBAL[7]);
  auto s = [](const int32_t* v) { return std::to_string(*v); };
  gate_lines.push_back("gate [" + std::string(reinterpret_cast<const char*>(routine), 8) +
                       "] class " + s(iclass) + " message " + s(msgno) + " levels " + s(level) +
                       " " + s(glevel) + " arguments " + s(a6) + " " + s(a7) + " " + s(a8));
  return __real_DMS_IRRCHK(routine, iclass, msgno, level, glevel, a6, a7, a8);
}

extern "C" void __wrap_DMS_ERRPRT(const int32_t* n) {
  print_counts.push_back(n ? std::to_string(*n) : "null");
  __real_DMS_ERRPRT(n);
}

namespace r3::test {

std::vector<std::string> take_gate_calls() {
  std::vector<std::string> out;
  out.swap(gate_lines);
  std::string p = "printed";
  for (const auto& n : print_counts) p += " " + n;
  out.push_back(p);
  print_counts.clear();
  return out;
}

host::Block make_valve(const ValveInts& p, int ncomp) {
  const bool vap = p.phase == 1;
  const std::vector<std::string> comps = ncomp == 1 ? std::vector<std::string>{vap ? "CH4" : "H2O"}
                                         : vap      ? std::vector<std::string>{"CH4", "C2H6", "N2"}
                                                    : std::vector<std::string>{"NC6", "NC7", "NC8"};
  reset_host(comps, thermo::Method::PengRobinson);
  take_gate_calls();
  host::Block b("V1", R3VALV);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  b.ints = {p.imode, p.phase, p.chr, p.direction, p.choke, p.npass};
  b.connect_streams();
  std::vector<double> flows = {vap ? 0.5 : 1.0};
  if (ncomp == 3)
    flows = vap ? std::vector<double>{0.4, 0.08, 0.02} : std::vector<double>{0.5, 0.3, 0.2};
  EXPECT_TRUE(b.set_material_inlet(0, flows, 300.0, vap ? 2.0e6 : 5.0e5));
  return b;
}

int32_t init_with(host::Block& b, const Fixes& fixes) {
  EXPECT_EQ(b.dimension(), 0);
  EXPECT_EQ(b.call(KODE_NAMES), 0);
  for (const auto& [n, v] : fixes) {
    y(b, n) = v;
    b.fix(var(b, n));
  }
  return b.call(KODE_INIT);
}

int var(const host::Block& b, const std::string& name) {
  const int i = b.find_var(name);
  EXPECT_NE(i, 0) << "no variable " << name;
  return i;
}

double& y(host::Block& b, const std::string& name) {
  return b.y.at(static_cast<size_t>(var(b, name) - 1));
}

int eqn(const host::Block& b, const std::string& name) {
  for (int i = 1; i <= b.nf; ++i) {
    if (b.eqn_name(i) == b.id + "." + name) return i;
  }
  ADD_FAILURE() << "no equation " << name;
  return 1;
}

std::vector<double> residuals(host::Block& b) {
  return residuals_at(b, b.y);
}

}  // namespace r3::test
