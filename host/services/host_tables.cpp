// Block registry, per-block non-zero limits, declared outlet phases, and the
// names built from a stream identifier and a code.
#include "host/services/host_tables.h"

#include <algorithm>
#include <map>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/descriptor.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace r3::host {
namespace {

struct Tables {
  std::vector<std::string> blocks;
  std::map<int32_t, int32_t> maxnz;  // block index -> limit
  std::map<int32_t, int32_t> phase;  // outlet number -> phase
};

Tables& tables() {
  thread_local Tables t;
  return t;
}

void message(const std::string& text) {
  units::write(PPEXEC_USER[10], text);
}

// The variable part of a stream name for a code, or "" for an invalid code.
std::string code_suffix(int32_t code) {
  switch (code) {
    case -1:
      return "TOTAL_FLOW";
    case -2:
      return "ENTHALPY";
    case -3:
      return "PRESSURE";
    case -4:
    case -5:
      return "VALUE";
    default:
      break;
  }
  if (code >= 1 && code <= run().ncomp()) return "FLOW_" + component_id(code);
  return {};
}

std::string stream_name(const char* who, const int32_t* sid, const int32_t* code) {
  const std::string id = sid ? trim(words_to_text(sid, 2)) : std::string("?");
  const int32_t c = code ? *code : 0;
  std::string suffix = code_suffix(c);
  if (suffix.empty()) {
    // Built by appending: GCC 12 reports a false overlap (-Wrestrict) when
    // optimising a concatenation that starts with a literal.
    std::string text = " ";
    text.append(who).append(": code ").append(std::to_string(c)).append(" for stream ").append(id);
    message(text + " is neither a component index nor -1 to -5.");
    suffix = "CODE_";
    suffix += std::to_string(c);
  }
  return id + "." + suffix;
}

}  // namespace

int32_t register_block(const std::string& id) {
  std::vector<std::string>& b = tables().blocks;
  const std::string key = trim(id);
  auto it = std::find(b.begin(), b.end(), key);
  if (it != b.end()) return static_cast<int32_t>(it - b.begin()) + 1;
  b.push_back(key);
  return static_cast<int32_t>(b.size());
}

void reset_host_tables() {
  tables() = Tables{};
}

int32_t recorded_phase(int32_t k) {
  auto it = tables().phase.find(k);
  return it == tables().phase.end() ? 0 : it->second;
}

}  // namespace r3::host

using namespace r3::host;

extern "C" {

void U3_MSTRM_SET_KPH(const int32_t* dmatout, const int32_t* k, const int32_t* kph) {
  if (!valid(dmatout) || dmatout[kKind] != kMatOut || k == nullptr || kph == nullptr || *k < 1 ||
      *k > dmatout[kCount] || (*kph != 1 && *kph != 2)) {
    message(
        " U3_MSTRM_SET_KPH: needs a material-outlet descriptor, an outlet number of it"
        " and the phase 1 or 2; ignored.");
    return;
  }
  tables().phase[*k] = *kph;
}

void U3SVID(const int32_t*, const int32_t* sid, const int32_t* code, const int32_t* lname,
            char* slot) {
  // Stream variables belong to the stream, not the block: no block prefix,
  // as in the names U3SVL writes.
  if (lname == nullptr || *lname <= 0) return;
  put_text(stream_name("U3SVID", sid, code), slot, 4 * static_cast<size_t>(*lname));
}

void U3SEID(const int32_t* idblk, const int32_t* sid, const int32_t* code, const int32_t* lname,
            char* slot) {
  if (lname == nullptr || *lname <= 0) return;
  write_name(idblk, "BAL_" + stream_name("U3SEID", sid, code), *lname, slot);
}

int32_t IU_FIABLK(const int32_t* idblk) {
  if (idblk == nullptr) return 1;
  return register_block(words_to_text(idblk, 2));
}

void U3BLK_INQ_MAXNZ(const int32_t* iblk, int32_t* maxnz) {
  if (maxnz == nullptr) return;
  *maxnz = 0;
  if (iblk == nullptr) return;
  auto it = tables().maxnz.find(*iblk);
  if (it != tables().maxnz.end()) *maxnz = it->second;
}

void U3BLK_SET_MAXNZ(const int32_t* iblk, const int32_t* maxnz) {
  if (iblk == nullptr || maxnz == nullptr || *iblk < 1 || *maxnz < 0) {
    message(" U3BLK_SET_MAXNZ: needs a block index from 1 and a limit of 0 or more; ignored.");
    return;
  }
  tables().maxnz[*iblk] = *maxnz;
}

}  // extern "C"
