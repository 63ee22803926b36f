// R3SKEW block report: input data, knot points, component skew, inlet and
// outlet streams, in SI units on the report unit.
#include <algorithm>
#include <string>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/composition_skew/composition_skew.h"

namespace r3::composition_skew {

namespace {

constexpr const char* kTail = "---------------";

void line(int32_t unit, std::string_view text) {
  hs::write(unit, rec::Record().x(1).a(text).view());
}
void value(int32_t unit, std::string_view label, int v) {
  hs::write(unit, rec::ListDirected().add(label).add(v).view());
}
void value(int32_t unit, std::string_view label, double v) {
  hs::write(unit, rec::ListDirected().add(label).add(v).view());
}

}  // namespace

void R3SKEW_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const StreamMap& map = st.s.map;
  auto y = [&](int32_t p) { return e.Y[p - 1]; };
  auto section = [&](std::string_view head) { line(unit, std::string(head) + kTail); };
  line(unit, "R3SKEW block report:");
  section("Input data ------------------------------------------------");
  value(unit, "Number of knot points   (nknots) = ", st.nknots);
  value(unit, "Number of components    (ncf)    = ", st.nc);
  value(unit, "Composition type        (icomp)  = ", st.icomp);
  line(unit, "       0 = mole fraction");
  line(unit, "       1 = mass fraction");
  line(unit, "       2 = stdvol fraction");
  value(unit, "Knot temperature flag   (iknot)  = ", st.iknot);
  line(unit, "       0 = knot temps *not* variables");
  line(unit, "       1 = knot temps open variables");
  value(unit, "Mass balance flag       (imbal)  = ", st.imbal);
  line(unit, "       0 = do not enforce mass balance");
  line(unit, "       1 = enforce mass balance");

  section("Knot point data -------------------------------------------");
  line(unit, "Knot   Temp [K]     Value");
  line(unit, "----  ----------  ----------");
  for (int j = 1; j <= st.nknots; ++j) {
    hs::write(unit, rec::Record()
                        .x(1)
                        .i(j, 4)
                        .x(2)
                        .e1p(knot_temperature(e, st, j), 10, 3)
                        .x(2)
                        .e1p(y(pos(st, G_XKNOT, j)), 10, 3)
                        .view());
  }

  section("Component data --------------------------------------------");
  line(unit, std::string("Comp ID    Tint [K]      Xin      ") + "   Skew        Xout");
  line(unit, std::string("--------  ----------  ----------  ") + "----------  ----------");
  for (int i = 1; i <= st.nc; ++i) {
    hs::write(unit, rec::Record()
                        .x(1)
                        .a(std::string_view(st.cid[i - 1], 8), 8)
                        .x(2)
                        .e1p(tint(e, st, i), 10, 3)
                        .x(2)
                        .e1p(y(pos(st, G_COMPIN, i)), 10, 3)
                        .x(2)
                        .e1p(y(pos(st, G_SKEW, i)), 10, 3)
                        .x(2)
                        .e1p(y(pos(st, G_COMPOUT, i)), 10, 3)
                        .view());
  }
  value(unit, "Normalization factor = ", y(pos(st, G_CNORM)));

  section("Inlet stream data -----------------------------------------");
  value(unit, "Molar flow     [Kmol/sec] = ", y(map.in_flow));
  value(unit, "Mass flow      [Kg/sec]   = ", y(pos(st, G_MASSIN)));
  value(unit, "STDVOL flow    [m^3/sec]  = ", y(pos(st, G_STDVIN)));

  section("Outlet stream data ----------------------------------------");
  value(unit, "Temperature    [K]        = ", y(pos(st, G_TOUT)));
  // The set's vapour fraction runs outside [0, 1] for a single phase (it
  // measures the distance from the phase boundary); the physical one is clamped.
  value(unit, "Vapor fraction [Unitless] = ", std::clamp(y(st.layout[1]), 0.0, 1.0));
  value(unit, "Pressure       [Pa]       = ", y(map.out_pres));
  value(unit, "Molar flow     [Kmol/sec] = ", y(map.out_flow));
  value(unit, "Mass flow      [Kg/sec]   = ", y(pos(st, G_MASSOUT)));
  value(unit, "STDVOL flow    [m^3/sec]  = ", y(pos(st, G_STDVOUT)));
}

}  // namespace r3::composition_skew
