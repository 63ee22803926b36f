// Shared helpers of the turbo-expander tests: a natural-gas expander block
// and the steps of preparing it with user specifications.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3TREX(R3_ENTRY_PARAMS);

namespace r3::test::trex {

using host::Block;
using host::kImiss;
using host::kRmiss;

inline const std::vector<std::string> kGas = {"CH4", "C2H6", "C3H8", "N2"};
inline const std::vector<double> kLean = {0.85, 0.08, 0.04, 0.03};
inline const std::vector<double> kRich = {0.75, 0.10, 0.13, 0.02};
inline constexpr double kPin = 6.0e6;

inline void use_gas() {
  reset_host(kGas, thermo::Method::PengRobinson);
}

// The integer parameters: IMODE, ICURV, NPASS, IPHASE and room for the
// position store (NINT = 3 + 37 = p + 36 with p = 4).
inline std::vector<int32_t> params(int32_t imode, int32_t npass, int32_t iphase) {
  std::vector<int32_t> v(37, 0);
  v[0] = imode;
  v[1] = 0;
  v[2] = npass;
  v[3] = iphase;
  return v;
}

// An expander on the lean or rich gas at (T, 60 bar).
inline Block make_trex(int32_t iphase, int ninfout, const std::vector<double>& flows = kLean,
                       double T = 320.0, int32_t imode = 1, int32_t npass = 5) {
  Block b("X1", R3TREX);
  b.matin = {"GAS"};
  b.matout = {"EXP"};
  if (ninfout > 0) b.infout.assign(static_cast<size_t>(ninfout), "SHAFT");
  if (ninfout > 1) b.infout[1] = "SHAFT2";
  b.ints = params(imode, npass, iphase);
  b.reals.assign(2 + 4 * flows.size(), 0.0);
  b.reals[0] = 0.1;
  b.reals[1] = 1.0;
  b.ipropset = 2;
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, flows, T, kPin));
  return b;
}

// Dimension and names, then the user's specifications, then initialisation.
inline int32_t prepare_with(Block& b, const std::function<void(Block&)>& specs) {
  if (b.dimension() != 0) return b.istat;
  if (b.call(KODE_NAMES) != 0) return b.istat;
  if (specs) specs(b);
  return b.initialise();
}

inline int var(const Block& b, const std::string& name) {
  const int i = b.find_var(name);
  EXPECT_GT(i, 0) << "no variable " << name;
  return i;
}
inline double& yv(Block& b, const std::string& name) {
  return b.y.at(static_cast<size_t>(var(b, name) - 1));
}
inline void fix(Block& b, const std::string& name, double value) {
  yv(b, name) = value;
  b.fix(var(b, name));
}
inline void guess(Block& b, const std::string& name, double value) {
  yv(b, name) = value;
}

// Outlet pressure and both efficiencies: the usual fixed values.
inline void standard_specs(Block& b) {
  fix(b, "EXP.PRESSURE", 3.0e6);
  fix(b, "SEFF", 0.82);
  fix(b, "MEFF", 0.97);
}

// The lines of an input-check failure.
inline std::vector<std::string> check_error(const std::string& l1, const std::string& l2 = {}) {
  std::vector<std::string> v = {"", " ERROR in subroutine R3X_ICHK:", "      " + l1};
  if (!l2.empty()) v.push_back("      " + l2);
  return v;
}

}  // namespace r3::test::trex
