// R3CCMP results report: powers, efficiencies, discharge conditions, speed,
// head, surge ratio and curve factors, from the solved Y.
#include <string>
#include <string_view>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/centrifugal_compressor/centrifugal_compressor.h"

namespace r3::centrifugal_compressor {

void R3CCMP_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const Params& p = st.p;
  const StreamMap& map = st.s.map;
  // Four blanks, the label left-justified in 33 characters, a blank, the value.
  auto line = [&](std::string_view label, double value) {
    std::string l(label.substr(0, 33));
    l.resize(33, ' ');
    hs::write(unit, rec::Record().x(4).a(l, 33).x(1).e1p(value, 13, 6).view());
  };
  // A value in report units, labelled with the unit the conversion returns.
  auto converted = [&](std::string_view text, double value, int32_t type) {
    int32_t label[2] = {0x20202020, 0x20202020};
    double out = value;
    const int32_t c7 = 7, c6 = 6;
    ZREP_RCONV1(&type, &value, &out, label, &c7, &c6);
    std::string unit_name(reinterpret_cast<const char*>(label), 8);
    for (char& ch : unit_name) {
      if (ch == '\0') ch = ' ';
    }
    while (!unit_name.empty() && unit_name.back() == ' ') unit_name.pop_back();
    line(std::string(text) + "(" + unit_name + ")", out);
  };
  auto y = [&](int v) { return e.Y[st.pos[v] - 1]; };
  hs::write(unit, "");
  hs::write(unit, rec::Record().x(22).text("***       R3CCMP RESULTS      ***").view());
  hs::write(unit, "");
  converted("INDICATED HORSEPOWER ", y(IHP), kTypePower);
  converted("BRAKE HORSEPOWER ", y(BHP), kTypePower);
  line("MECHANICAL EFFICIENCY", y(MECH_EFF));
  line("POLYTROPIC EFFICIENCY", y(POLY_EFF));
  hs::write(unit, "");
  converted("DISCHARGE PRESSURE ", e.Y[map.out_pres - 1], kTypePressure);
  converted("DISCHARGE TEMPERATURE ", y(DISCH_TEMP), kTypeTemperature);
  line("PRESSURE RATIO", y(PRATIO));
  hs::write(unit, "");
  if (p.any_on()) {
    if (p.rpm == 0) {
      line("SPEED (RPM)", y(SPEED));
    } else {
      converted("SPEED ", y(SPEED), kTypeSpeed);
    }
  }
  converted("HEAD ", y(HEAD), kTypeSpecificHead);
  if (p.surge_on()) line("SURGE RATIO", y(SURGE_RATIO));
  hs::write(unit, "");
  if (p.head_on()) line("HEAD CURVE FACTOR", y(HEAD_FACT));
  if (p.eff_on()) line("EFFICIENCY CURVE FACTOR", y(EFF_FACT));
  if (p.surge_on()) line("SURGE CURVE FACTOR", y(SURGE_FACT));
  hs::write(unit, "");
}

}  // namespace r3::centrifugal_compressor
