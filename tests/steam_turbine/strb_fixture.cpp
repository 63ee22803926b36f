#include "tests/steam_turbine/strb_fixture.h"

#include <gtest/gtest.h>

namespace r3::test::strb {

std::vector<int32_t> int_params(const Params& p) {
  std::vector<int32_t> v = {p.imode, 0, p.irunmd, p.units, p.npass, p.iturb, p.ne, p.nw};
  v.insert(v.end(), p.codes.begin(), p.codes.end());
  return v;
}

std::vector<double> real_params(const Params& p) {
  std::vector<double> v = {p.t_out};
  v.insert(v.end(), p.t_in.begin(), p.t_in.end());
  std::vector<double> rel = p.relpar;
  rel.resize(7, kRmiss);
  v.insert(v.end(), rel.begin(), rel.end());
  v.insert(v.end(), p.effx.begin(), p.effx.end());
  v.insert(v.end(), p.effy.begin(), p.effy.end());
  v.insert(v.end(), p.wrx.begin(), p.wrx.end());
  v.insert(v.end(), p.wry.begin(), p.wry.end());
  return v;
}

host::Block make_turbine(const Params& p, const std::vector<std::vector<double>>& feeds, int ninfi,
                         int ninfout) {
  host::Block b("T1", R3STRB);
  // Names appended (GCC 12 reports a false -Wrestrict on "S" + string).
  for (size_t i = 0; i < feeds.size(); ++i) b.matin.push_back(std::string("S").append(std::to_string(i + 1)));
  b.matout = {"OUT"};
  if (ninfi) b.infin = {"WIN"};
  if (ninfout) b.infout = {"WOUT"};
  b.ints = int_params(p);
  b.reals = real_params(p);
  b.ipropset = 3;  // the steam-table method
  b.connect_streams();
  for (size_t i = 0; i < feeds.size(); ++i) {
    const auto& f = feeds[i];
    EXPECT_TRUE(b.set_material_inlet(static_cast<int>(i), {f[2]}, f[0], f[1]));
  }
  return b;
}

}  // namespace r3::test::strb
