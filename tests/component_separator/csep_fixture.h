// Shared set-up of the component separator's tests.
#pragma once

#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3CSEP(R3_ENTRY_PARAMS);

namespace r3::test::csep {

// Light hydrocarbons, ideal method: every state the tests visit evaluates.
inline const std::vector<std::string> kLight = {"CH4", "C2H6", "C3H8"};

// A separator with `nout` outlets OUT1..OUTn on a feed of 1, 1/2, 1/3 ...
// kmol/s at 350 K and 2 bar. `ints` are the model integers after the
// host's header (IMODE at the third).
inline host::Block make_sep(int nout, std::vector<int32_t> ints = {0, 0, 0, 0, 0, 0}) {
  host::Block b("SEP", R3CSEP);
  b.matin = {"FEED"};
  for (int k = 1; k <= nout; ++k) b.matout.push_back("OUT" + std::to_string(k));
  b.ints = std::move(ints);
  b.ipropset = 1;
  b.connect_streams();
  std::vector<double> flows(static_cast<size_t>(b.ncomp()));
  for (size_t i = 0; i < flows.size(); ++i) flows[i] = 1.0 / static_cast<double>(i + 1);
  EXPECT_TRUE(b.set_material_inlet(0, flows, 350.0, 2.0e5));
  return b;
}

// Position of a variable by its text after the block prefix (fails if absent).
inline int var(const host::Block& b, const std::string& text) {
  const int p = b.find_var(text);
  EXPECT_GT(p, 0) << text;
  return p;
}
inline double& y(host::Block& b, const std::string& text) {
  return b.y.at(static_cast<size_t>(var(b, text) - 1));
}

}  // namespace r3::test::csep
