#include "host/services/c_api.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/properties/properties.h"
#include "host/services/context.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace {

// Records taken from the units, kept until read.
std::map<int32_t, std::vector<std::string>>& taken() {
  static std::map<int32_t, std::vector<std::string>> t;
  return t;
}

std::vector<std::string>& records(int32_t unit) {
  auto& list = taken()[unit];
  for (std::string& r : r3::host::units::take(unit)) list.push_back(std::move(r));
  return list;
}

}  // namespace

extern "C" {

void R3HOST_SETUP(const int32_t* ncomp, const int32_t* ids, const int32_t* method,
                  int32_t* istat) {
  using namespace r3::host;
  *istat = 1;
  if (*ncomp < 1 || *ncomp > kMaxComponents || *method < 1 || *method > 3) {
    std::fprintf(stderr, "R3HOST_SETUP: %d components, method %d: out of range\n", *ncomp, *method);
    return;
  }
  std::vector<std::string> list;
  for (int32_t i = 0; i < *ncomp; ++i) list.push_back(trim(words_to_text(ids + 2 * i, 2)));
  std::string error;
  if (!configure_run(list, static_cast<r3::thermo::Method>(*method), error)) {
    std::fprintf(stderr, "R3HOST_SETUP: %s\n", error.c_str());
    return;
  }
  units::reset();
  for (int32_t u : {units::kStandardOutput, units::kMessageUnit, units::kReportUnit,
                    units::kSecondMessageUnit}) {
    units::capture(u);
  }
  taken().clear();
  clear_failures();
  reset_shared_areas();
  *istat = 0;
}

void R3HOST_STREAM(const int32_t* method, const double* flows, const double* t, const double* p,
                   double* vec, int32_t* istat) {
  using namespace r3::host;
  const std::vector<double> f(flows, flows + run().ncomp());
  *istat = fill_stream_vector(*method, f, *t, *p, vec) ? 0 : 1;
}

int32_t R3HOST_NREC(const int32_t* unit) { return static_cast<int32_t>(records(*unit).size()); }

void R3HOST_GETREC(const int32_t* unit, const int32_t* k, int32_t* words, const int32_t* nwords,
                   int32_t* length) {
  const auto& list = records(*unit);
  const std::string rec =
      (*k >= 1 && *k <= static_cast<int32_t>(list.size())) ? list[static_cast<size_t>(*k - 1)] : "";
  r3::host::text_to_words(rec, words, *nwords);
  *length = static_cast<int32_t>(rec.size());
}

}  // extern "C"
