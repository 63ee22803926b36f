// Fuzz target: one block of any model entry, built from the input and driven
// through requests in any order. Every host array has exactly the size the
// block declared (re-allocated after each dimension request), so a read or
// write past it is a sanitizer report. Input layout: fuzz_input.h.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "framework/entry_protocol.h"
#include "host/numeric/layers.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/units/units.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" {
void R3CCMP(R3_ENTRY_PARAMS); void R3CSEP(R3_ENTRY_PARAMS); void R3HTUA(R3_ENTRY_PARAMS);
void R3NUML(R3_ENTRY_PARAMS); void R3PUMP(R3_ENTRY_PARAMS); void R3RCMP(R3_ENTRY_PARAMS);
void R3SKEW(R3_ENTRY_PARAMS); void R3STOIC(R3_ENTRY_PARAMS); void R3STRB(R3_ENTRY_PARAMS);
void R3TREX(R3_ENTRY_PARAMS); void R3VALV(R3_ENTRY_PARAMS);
void R3UMIX(R3_USER_PARAMS); void R3UHEAT(R3_USER_PARAMS); void R3UPDROP(R3_USER_PARAMS);
}

namespace {

using namespace r3;
using namespace r3::host;
using r3::fuzz::Input;

const EntryFn kEntries[] = {R3CCMP, R3CSEP, R3HTUA, R3NUML, R3PUMP, R3RCMP,
                            R3SKEW, R3STOIC, R3STRB, R3TREX, R3VALV};
const intptr_t kUserModels[] = {reinterpret_cast<intptr_t>(R3UMIX), reinterpret_cast<intptr_t>(R3UHEAT),
                                reinterpret_cast<intptr_t>(R3UPDROP)};
enum { CCMP, CSEP, HTUA, NUML, PUMP, RCMP, SKEW, STOIC, STRB, TREX, VALV };

void connect(Block& b, Input& in, size_t nin, size_t nout) {
  b.matin.clear();
  b.matout.clear();
  for (size_t k = 0; k < nin; ++k) b.matin.push_back("IN" + std::to_string(k + 1));
  for (size_t k = 0; k < nout; ++k) b.matout.push_back("OUT" + std::to_string(k + 1));
  b.connect_streams();
  const size_t nc = static_cast<size_t>(b.ncomp()), ls = static_cast<size_t>(b.lstrm());
  for (size_t k = 0; k < nin; ++k) {
    std::vector<double> flows(nc);
    const double t = in.real(), p = in.real();
    for (double& f : flows) f = in.real();
    if (!b.set_material_inlet(static_cast<int>(k), flows, t, p)) {
      for (size_t i = 0; i < ls; ++i) b.smatin[k * ls + i] = in.real();
    }
  }
}

// Every request array at exactly its declared size.
void exact(Block& b) {
  for (auto* v : {&b.y, &b.ylb, &b.yub, &b.yscl, &b.ysbnd, &b.f, &b.fscl, &b.dfdy}) v->shrink_to_fit();
  for (auto* v : {&b.iyattr, &b.ijrow, &b.ijcol}) v->shrink_to_fit();
  b.varnam.shrink_to_fit();
  b.eqnnam.shrink_to_fit();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  units::reset();
  for (int32_t u : {units::kStandardOutput, units::kMessageUnit, units::kReportUnit, units::kSecondMessageUnit}) {
    units::capture(u);
  }
  clear_failures();
  // R3_FUZZ_MODEL=k keeps a campaign on one entry.
  static const char* only = std::getenv("R3_FUZZ_MODEL");
  int model = in.byte() % 11;
  if (only != nullptr && *only != '\0') model = std::atoi(only) % 11;
  const auto method = static_cast<thermo::Method>(1 + in.byte() % 3);
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (int n = 1 + in.byte() % 16; n > 0; --n) {
    const thermo::Component* c = &db[in.u16() % db.size()];
    if (std::find(comps.begin(), comps.end(), c) == comps.end()) comps.push_back(c);
  }
  std::string error;
  if (!configure_run(comps, method, error)) return 0;
  reset_shared_areas();
  reset_layers();
  Block b("B1", kEntries[model]);
  b.ipropset = static_cast<int32_t>(method);
  const size_t nin = in.byte() % 4, nout = in.byte() % 6;
  for (size_t k = in.byte() % 3; k > 0; --k) b.infin.push_back("WIN" + std::to_string(k));
  for (size_t k = in.byte() % 3; k > 0; --k) b.infout.push_back("WOUT" + std::to_string(k));
  connect(b, in, nin, nout);
  for (size_t k = 0; k < b.infin.size(); ++k) b.set_info_inlet(static_cast<int>(k), in.real());
  for (int n = in.u16() % 1024; n > 0; --n) b.ints.push_back(in.integer());
  for (int n = in.u16() % 1024; n > 0; --n) b.reals.push_back(in.real());
  b.idiag = in.byte() % 11;
  if (model == NUML) {
    LayerConfig lc;
    lc.user_entry = kUserModels[in.byte() % 3];
    lc.derivatives = in.byte() % 3;
    lc.check = in.byte() % 4;
    b.ilayer = register_layer(lc);
  }
  static const bool trace = std::getenv("R3_FUZZ_TRACE") != nullptr;  // requests and ISTAT on stderr
  for (int ops = 0; ops < 64 && !in.empty(); ++ops) {
    const int op = in.byte() % 16;
    if (trace) std::fprintf(stderr, "op %d (NY %zu, ISTAT %d)\n", op, b.y.size(), b.istat);
    static const int32_t kCodes[] = {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_CHECK, KODE_REPORT};
    auto pick = [&](size_t n) { return static_cast<size_t>(in.u16()) % n; };
    if (op == 0) {
      b.dimension();
      exact(b);
    } else if (op <= 7) {
      b.ieval1 = b.ieval2 = 0;
      b.call(kCodes[op - 1]);
    } else if (op == 8) {
      // Any code; the dimension request goes through the host's sequence
      // (counts cleared, arrays sized to the answer) as at op 0, since a raw
      // one leaves arrays that the counts no longer describe.
      const int32_t code = in.integer();
      if (code == KODE_DIMEN) {
        b.dimension();
        exact(b);
      } else {
        b.call(code);
      }
    } else if (op == 9 && !b.y.empty()) {
      b.y[pick(b.y.size())] = in.real();
    } else if (op == 10 && !b.iyattr.empty()) {
      b.iyattr[pick(b.iyattr.size())] ^= 1;
    } else if (op == 11) {
      const size_t ins = in.byte() % 4, outs = in.byte() % 6;
      connect(b, in, ins, outs);
    } else if (op == 12 && !b.y.empty()) {
      std::vector<double>* arrays[] = {&b.yscl, &b.ylb, &b.yub, &b.ysbnd};
      std::vector<double>& a = *arrays[in.byte() % 4];
      a[pick(a.size())] = in.real();
    } else if (op == 13 && !b.ints.empty()) {
      b.ints[pick(b.ints.size())] = in.integer();
    } else {
      b.call(KODE_RESID);
    }
  }
  return 0;
}
