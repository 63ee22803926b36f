#include "host/services/context.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "host/units/units.h"

// Shared areas defined by the host, one set per thread. PPEXEC_USER starts
// with a double, so it is aligned for one.
extern "C" {
alignas(8) R3_SHARED_AREA int32_t PPEXEC_USER[R3_PPEXEC_USER_WORDS];
R3_SHARED_AREA int32_t PPEXEC_KBASE[16];
R3_SHARED_AREA int32_t RXN_IBLKID[2];
R3_SHARED_AREA int32_t DMS_GLOBAL[64];
R3_SHARED_AREA double DMS_RGLOB[16];
R3_SHARED_AREA int32_t DMS_NCOMP[16];
R3_SHARED_AREA int32_t DMS_FLES[16];
R3_SHARED_AREA int32_t DMS_IPOFF1[512];
}

namespace r3::host {
namespace {

std::map<std::string, int, std::less<>>& failures() {
  thread_local std::map<std::string, int, std::less<>> f;
  return f;
}

struct ModelKey {
  int32_t method;
  std::vector<int32_t> idx;
  bool operator<(const ModelKey& o) const {
    return method != o.method ? method < o.method : idx < o.idx;
  }
};

std::map<ModelKey, std::unique_ptr<thermo::Model>>& model_cache() {
  thread_local std::map<ModelKey, std::unique_ptr<thermo::Model>> c;
  return c;
}

// The last model looked up, so that repeated calls for one block cost a
// comparison and no allocation.
struct LastModel {
  int32_t method = 0;
  std::vector<int32_t> idx;
  const thermo::Model* model = nullptr;
};
LastModel& last_model() {
  thread_local LastModel l;
  return l;
}

}  // namespace

Run& run() {
  thread_local Run r;
  return r;
}

bool configure_run(const std::vector<std::string>& ids, thermo::Method method, std::string& error,
                   const std::vector<thermo::BinaryInteraction>& kij) {
  if (ids.empty()) {
    error = "the component list is empty";
    return false;
  }
  if (static_cast<int>(ids.size()) > kMaxComponents) {
    error = "more than 200 components";
    return false;
  }
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (const std::string& id : ids) {
    const int i = db.find(id);
    if (i < 0) {
      error = "unknown component '" + id + "'";
      return false;
    }
    for (const thermo::Component* c : comps) {
      if (c == &db[i]) {
        error = "component '" + id + "' listed twice";
        return false;
      }
    }
    comps.push_back(&db[i]);
  }
  return configure_run(std::move(comps), method, error, kij);
}

bool configure_run(std::vector<const thermo::Component*> comps, thermo::Method method,
                   std::string& error, const std::vector<thermo::BinaryInteraction>& kij) {
  if (comps.empty()) {
    error = "the component list is empty";
    return false;
  }
  std::string why;
  if (!thermo::make_model(method, comps, &why, nullptr, &kij)) {
    error = "property method cannot serve the component list: " + why;
    return false;
  }
  run().method = method;
  run().components = std::move(comps);
  run().kij = kij;
  model_cache().clear();
  last_model() = LastModel{};
  DMS_NCOMP[0] = run().ncomp();
  return true;
}

const thermo::Model* model_for(int32_t ipropset, std::span<const int32_t> idx) {
  LastModel& last = last_model();
  if (last.model != nullptr && last.method == ipropset && last.idx.size() == idx.size() &&
      std::equal(idx.begin(), idx.end(), last.idx.begin())) {
    return last.model;
  }
  if (ipropset < 1 || ipropset > 3 || idx.empty() ||
      static_cast<int>(idx.size()) > kMaxComponents) {
    return nullptr;
  }
  std::vector<const thermo::Component*> comps;
  comps.reserve(idx.size());
  for (int32_t i : idx) {
    if (i < 1 || i > run().ncomp()) return nullptr;
    comps.push_back(run().components[static_cast<size_t>(i - 1)]);
  }
  ModelKey key{ipropset, std::vector<int32_t>(idx.begin(), idx.end())};
  auto it = model_cache().find(key);
  if (it == model_cache().end()) {
    auto m = thermo::make_model(static_cast<thermo::Method>(ipropset), comps, nullptr, nullptr, &run().kij);
    if (!m) return nullptr;
    it = model_cache().emplace(key, std::move(m)).first;
  }
  last.method = ipropset;
  last.idx = key.idx;
  last.model = it->second.get();
  return last.model;
}

void reset_shared_areas() {
  reset_thread_areas();
  std::memset(DMS_IPOFF1, 0, sizeof DMS_IPOFF1);
  reset_data_manager();
}

void reset_thread_areas() {
  std::memset(PPEXEC_USER, 0, sizeof PPEXEC_USER);
  const double rmiss = kRmiss;
  std::memcpy(PPEXEC_USER, &rmiss, sizeof rmiss);
  PPEXEC_USER[2] = kImiss;
  PPEXEC_USER[7] = 4;  // diagnostic level
  PPEXEC_USER[10] = units::kMessageUnit;
  PPEXEC_USER[11] = units::kReportUnit;
  PPEXEC_USER[12] = units::kSecondMessageUnit;
  std::memset(PPEXEC_KBASE, 0, sizeof PPEXEC_KBASE);
  std::memset(RXN_IBLKID, 0x20, sizeof RXN_IBLKID);
  std::memset(DMS_GLOBAL, 0, sizeof DMS_GLOBAL);
  DMS_GLOBAL[7] = 4;
  for (double& r : DMS_RGLOB) r = 0.0;
  DMS_RGLOB[0] = 0.5 * kRmiss;  // values at or above this count as missing
  DMS_NCOMP[0] = run().ncomp();
  std::memset(DMS_FLES, 0, sizeof DMS_FLES);
  DMS_FLES[13] = units::kReportUnit;  // the data manager's report unit
}

void fail_operation(std::string_view name, int times) {
  failures()[std::string(name)] = times;
}

bool take_failure(std::string_view name) {
  if (failures().empty()) return false;
  auto it = failures().find(name);
  if (it == failures().end() || it->second <= 0) return false;
  --it->second;
  return true;
}

void clear_failures() { failures().clear(); }

namespace {
thread_local int32_t g_pattern_capacity = 0;
}

void set_call_pattern_capacity(int32_t n) { g_pattern_capacity = n; }
int32_t call_pattern_capacity() { return g_pattern_capacity; }

namespace {
thread_local int32_t g_call_ny = -1, g_call_nf = -1;  // per thread, as the blocks it describes
}

void set_call_sizes(int32_t ny, int32_t nf) {
  g_call_ny = ny;
  g_call_nf = nf;
}
int32_t call_ny() { return g_call_ny; }
int32_t call_nf() { return g_call_nf; }

double molecular_weight(std::span<const int32_t> idx, std::span<const double> x) {
  double sum = 0.0, mw = 0.0;
  for (size_t i = 0; i < idx.size() && i < x.size(); ++i) {
    const int32_t k = idx[i];
    if (k < 1 || k > run().ncomp()) continue;
    sum += x[i];
    mw += x[i] * run().components[static_cast<size_t>(k - 1)]->mw;
  }
  return sum > 0.0 ? mw / sum : 0.0;
}

}  // namespace r3::host
