// Writes model-entry fuzz inputs from a case file, one per block:
//   fuzz_seed CASE.toml OUTDIR [REQUESTS]
// REQUESTS is hex bytes for the request part (default: dimension, names,
// initialisation, residuals, Jacobian, stream update, check, report).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/case/case.h"

using namespace r3::host;

namespace {

const char* const kModels[] = {"R3CCMP", "R3CSEP", "R3HTUA", "R3NUML", "R3PUMP", "R3RCMP",
                               "R3SKEW", "R3STOIC", "R3STRB", "R3TREX", "R3VALV"};
const char* const kUsers[] = {"R3UMIX", "R3UHEAT", "R3UPDROP"};

template <class T>
void raw(std::string& out, T v, bool tagged = true) {
  if (tagged) out += '\0';
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <size_t N>
uint8_t index_of(const char* const (&list)[N], const std::string& name) {
  return static_cast<uint8_t>(std::find(list, list + N, name) - list) % N;
}

}  // namespace

int main(int argc, char** argv) {
  Case c;
  std::string error;
  if (argc < 3 || !load_case(argv[1], c, error)) {
    std::fprintf(stderr, "usage: fuzz_seed CASE.toml OUTDIR [REQUESTS]\n%s\n", error.c_str());
    return 1;
  }
  std::string requests("\x00\x01\x02\x03\x04\x05\x06\x07", 8);
  if (argc > 3) {
    requests.clear();
    for (size_t i = 0; i + 1 < std::string(argv[3]).size(); i += 2) requests += static_cast<char>(std::stoi(std::string(argv[3]).substr(i, 2), nullptr, 16));
  }
  const r3::thermo::Databank& db = r3::thermo::Databank::builtin();
  for (const BlockDef& b : c.blocks) {
    std::string s;
    s += static_cast<char>(index_of(kModels, b.model));
    s += static_cast<char>(static_cast<int>(c.method) - 1);
    s += static_cast<char>(c.components.size() - 1);
    for (const auto& id : c.components) raw(s, static_cast<uint16_t>(db.find(id)), false);
    for (size_t n : {b.inlets.size(), b.outlets.size(), b.info_inlets.size(), b.info_outlets.size()}) s += static_cast<char>(n);
    for (const auto& id : b.inlets) {
      const StreamDef* d = c.stream(id);
      raw(s, d->temperature.value_or(300.0));
      raw(s, d->pressure.value_or(1.0e5));
      for (size_t i = 0; i < c.components.size(); ++i) raw(s, d->flows ? (*d->flows)[i] : 1.0);
    }
    for (const auto& id : b.info_inlets) raw(s, c.stream(id)->value.value_or(0.0));
    raw(s, static_cast<uint16_t>(b.ints.size()), false);
    for (int32_t v : b.ints) raw(s, v);
    raw(s, static_cast<uint16_t>(b.reals.size()), false);
    for (double v : b.reals) raw(s, v);
    s += static_cast<char>(b.diagnostic_level.value_or(4));
    if (b.model == "R3NUML") {
      s += static_cast<char>(index_of(kUsers, b.user_model));
      s += static_cast<char>(b.derivatives);
      s += static_cast<char>(b.check);
    }
    s += requests;
    const std::string name = std::string(argv[2]) + "/" + std::filesystem::path(argv[1]).stem().string() + "_" + b.id;
    std::ofstream(name, std::ios::binary) << s;
  }
  return 0;
}
