// Steam-turbine blocks for the tests: the three turbine types on steam-table
// feeds, with the integer and real parameters laid out as the block reads
// them.
#pragma once

#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "host/services/block.h"

extern "C" void R3STRB(R3_ENTRY_PARAMS);

namespace r3::test::strb {

inline constexpr double kMw = 18.015268;  // the steam tables' molar mass
inline constexpr double kRmiss = 1.0e35;

struct Params {
  int32_t imode = 1, irunmd = 0, units = 0, npass = 1, iturb = 1, ne = 0, nw = 0;
  std::vector<int32_t> codes{1};
  double t_out = kRmiss;
  std::vector<double> t_in{kRmiss};
  std::vector<double> relpar;  // seven values when given
  std::vector<double> effx, effy, wrx, wry;
};

std::vector<int32_t> int_params(const Params& p);
std::vector<double> real_params(const Params& p);

// A block with feeds at (T, P, flow) per inlet and one outlet; work streams
// by count. The host is reset for water with the steam-table method.
host::Block make_turbine(const Params& p, const std::vector<std::vector<double>>& feeds,
                         int ninfi = 0, int ninfout = 0);

}  // namespace r3::test::strb
