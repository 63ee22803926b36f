// Blocks of the heat exchanger for its tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "models/heat_exchanger/heat_exchanger.h"

extern "C" void R3HTUA(R3_ENTRY_PARAMS);

namespace r3::test::htua {

using namespace r3::heat_exchanger;

// A heat exchanger with the model integers `ints` (IMODE, IPRMST, IRUNMD,
// IFLDIR, INLSID[, bundle]), `ninfi`/`ninfout` heat streams (inlet value
// 2.0e6 W) and, optionally, one material stream through it.
inline host::Block make_hx(std::vector<int32_t> ints, int ninfi = 0, int ninfout = 0,
                           bool material = false) {
  host::Block b("HX", R3HTUA);
  if (material) {
    b.matin = {"HIN"};
    b.matout = {"HOUT"};
  }
  for (int i = 0; i < ninfi; ++i) b.infin.push_back("QIN" + std::to_string(i + 1));
  for (int i = 0; i < ninfout; ++i) b.infout.push_back("QOUT" + std::to_string(i + 1));
  b.ints = std::move(ints);
  b.reals = {0.0};
  b.connect_streams();
  if (material) b.set_material_inlet(0, {1.0}, 350.0, 2.0e5);
  if (ninfi > 0) b.set_info_inlet(0, 2.0e6);
  return b;
}

// The request arrays at the given sizes, as the host would hold them had it
// gone on after a refused dimension request.
inline void allocate(host::Block& b, int ny, int nf, int nz) {
  b.ny = ny;
  b.nf = nf;
  b.nz = nz;
  for (auto* v : {&b.y, &b.ylb, &b.yub, &b.yscl, &b.ysbnd}) v->assign(static_cast<size_t>(ny), host::kRmiss);
  b.f.assign(static_cast<size_t>(nf), 0.0);
  b.fscl.assign(static_cast<size_t>(nf), host::kRmiss);
  b.dfdy.assign(static_cast<size_t>(nz), 0.0);
  b.iyattr.assign(static_cast<size_t>(ny), 0);
  b.ijrow.assign(static_cast<size_t>(nz), 0);
  b.ijcol.assign(static_cast<size_t>(nz), 0);
  b.varnam.assign(static_cast<size_t>(ny) * 4 * static_cast<size_t>(b.lname), ' ');
  b.eqnnam.assign(static_cast<size_t>(nf) * 4 * static_cast<size_t>(b.lname), ' ');
}

// Dimension and names, then the user's values, then the initialisation.
template <class Fill>
int32_t prepare_with(host::Block& b, Fill fill) {
  if (b.dimension() != 0) return b.istat;
  if (b.call(KODE_NAMES) != 0) return b.istat;
  fill(b);
  return b.call(KODE_INIT);
}

inline double& yv(host::Block& b, int v) { return b.y.at(static_cast<size_t>(v - 1)); }

}  // namespace r3::test::htua
