// R3CCMP input check (I3KCHK): parameter ranges, parameter-array lengths,
// curve coefficients and connectivity. Each finding is a buffer of 74-character
// lines signalled to the host as information, warning or error; only errors
// make the block invalid.
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/centrifugal_compressor/centrifugal_compressor.h"

namespace r3::centrifugal_compressor {
namespace {

constexpr int kLineLen = 74;
constexpr int kMaxLines = 4;

enum class Severity { Info, Warning, Error };

// Signals one finding of the check with its lines.
void signal(Severity sev, int32_t msgno, std::initializer_list<std::string> lines) {
  char buf[kMaxLines][kLineLen];
  std::memset(buf, ' ', sizeof buf);
  int32_t n = 0;
  for (const std::string& l : lines) {
    if (n == kMaxLines) break;
    std::memcpy(buf[n], l.data(), l.size() < kLineLen ? l.size() : kLineLen);
    ++n;
  }
  int32_t routine[2];
  std::memcpy(routine, "I3KCHK  ", 8);
  const int32_t len = kLineLen;
  switch (sev) {
    case Severity::Info:
      U3ERROR_SIG_APINFO(routine, &msgno, &n, &buf[0][0], &len);
      break;
    case Severity::Warning:
      U3ERROR_SIG_WARNING(routine, &msgno, &n, &buf[0][0], &len);
      break;
    case Severity::Error:
      U3ERROR_SIG_ERROR(routine, &msgno, &n, &buf[0][0], &len);
      break;
  }
}

// An index in a two-character field.
std::string i2(int v) { return rec::Record().i(v, 2).str(); }

}  // namespace

bool streams_ok(const Entry& e) {
  return *e.NMATIN == 1 && *e.NMATOUT == 1 && *e.NINFI >= 0 && *e.NINFI <= 1 && *e.NINFOUT == 0;
}

int32_t I3KCHK(const Entry& e, const State& st) {
  const Params& p = st.p;
  int32_t result = 0;
  auto error = [&](int32_t no, std::initializer_list<std::string> lines) {
    signal(Severity::Error, no, lines);
    result = 1;
  };
  if (*e.NINT < 11) {
    signal(Severity::Info, 1,
           {"THE VALUE ENTERED IN \"PARAM NINT\" IS NOT AT LEAST 11.",
            "YOU MAY HAVE INPUT FOR A PREVIOUS VERSION OF R3CCMP.",
            "PLEASE CONSULT THE USER MANUAL AND UPDATE YOUR INPUT.",
            "DEFAULT VALUES WILL BE USED FOR MISSING PARAMETERS."});
  }
  auto invalid = [&](int index) {
    error(index - 2, {"INVALID VALUE SPECIFIED FOR PARAMETER INT(" + i2(index) + ")."});
  };
  if (p.imode != 0 && p.imode != 1) invalid(4);
  if (p.npass < 0 || p.npass > 50) invalid(5);
  const int32_t flags[6] = {p.zsel, p.units, p.head, p.eff, p.surge, p.rpm};
  for (int i = 0; i < 6; ++i) {
    if (flags[i] != 0 && flags[i] != 1) invalid(6 + i);
  }
  const int32_t nreal = *e.NREAL;
  if (nreal < 8) {
    error(21, {"THE VALUE ENTERED IN \"PARAM NREAL\" MUST BE AT LEAST 10.",
               "PLEASE CONSULT THE USER MANUAL AND CORRECT YOUR INPUT."});
  } else if (nreal < 10) {
    signal(Severity::Warning, 22,
           {"THE VALUE ENTERED IN \"PARAM NREAL\" MUST BE AT LEAST 10.",
            "YOU MAY HAVE INPUT FOR A PREVIOUS VERSION OF R3CCMP.",
            "PLEASE CONSULT THE USER MANUAL AND CORRECT YOUR INPUT.",
            "DEFAULT VALUES WILL BE USED FOR MISSING PARAMETERS."});
  }
  if (nreal >= 10) {
    if (p.nlow < 0.0) error(24, {"PARAMETER REAL(" + i2(9) + ") MUST BE POSITIVE."});
    if (p.nhigh < p.nlow) {
      error(25, {"PARAMETER REAL(" + i2(10) + ") MUST BE LARGER THAN REAL(" + i2(9) + ")."});
    }
  }
  // A curve in use needs all of its coefficients.
  if (nreal >= 8) {
    auto coefficients = [&](bool on, int32_t no, const char* curve, int sw, const double* c,
                            int first, int count) {
      if (!on) return;
      for (int i = 0; i < count; ++i) {
        if (!hs::is_missing(c[i])) continue;
        error(no, {std::string(curve) + " CURVE IS ON (INT(" + i2(sw) + ") = 1) BUT COEFFICIENT REAL(" +
                       i2(first + i) + ") IS MISSING."});
      }
    };
    coefficients(p.head_on(), 26, "HEAD", 8, p.a, 1, 3);
    coefficients(p.eff_on(), 27, "EFFICIENCY", 9, p.b, 4, 3);
    coefficients(p.surge_on(), 28, "SURGE", 10, p.s, 7, 2);
  }
  if (st.s.ncomp > kMaxComponents) {
    error(31, {"R3CCMP ONLY SUPPORTS UP TO " + rec::Record().i(kMaxComponents, 4).str() +
                   " NON-ZERO COMPONENTS."});
  }
  if (*e.NINFI >= 2) error(32, {"ONLY ONE INLET INFORMATION (WORK) STREAM IS PERMITTED."});
  if (*e.NMATIN != 1) error(33, {"EXACTLY ONE INLET MATERIAL STREAM IS REQUIRED."});
  if (*e.NMATOUT != 1) error(34, {"EXACTLY ONE OUTLET MATERIAL STREAM IS REQUIRED."});
  if (*e.NINFOUT != 0) error(35, {"NO OUTLET INFORMATION STREAM IS PERMITTED."});
  return result;
}

}  // namespace r3::centrifugal_compressor
