// Fuzz target: bytes as a case file for the loader, every stream reference
// looked up again; bytes that begin like an ELF file go to the reader of a
// library's exported functions instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/case/case.h"
#include "host/case/loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (size >= 4 && std::memcmp(data, "\177ELF", 4) == 0) {
    static const std::string path = "/tmp/r3fuzz_elf_" + std::to_string(::getpid());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(data, 1, size, f);
      std::fclose(f);
      std::vector<std::string> names;
      r3::host::exported_functions(path, names, error);
      std::remove(path.c_str());
    }
    return 0;
  }
  r3::host::Case c;
  if (!r3::host::parse_case(text, "fuzz.toml", c, error)) return 0;
  // What the loader accepts is what the host can use: printable identifiers,
  // options in range, parameter arrays of sensible size, no dangling references.
  auto printable = [](const std::string& id) {
    for (unsigned char ch : id) {
      if (ch < 0x21 || ch > 0x7e) std::abort();
    }
  };
  for (const auto& s : c.streams) printable(s.id);
  for (const auto& b : c.blocks) {
    printable(b.id);
    printable(b.model);
    if (b.diagnostic_level && (*b.diagnostic_level < 0 || *b.diagnostic_level > 10)) std::abort();
    if (b.ints.size() > 10000 || b.reals.size() > 10000) std::abort();
    for (const auto* list : {&b.inlets, &b.outlets, &b.info_inlets, &b.info_outlets}) {
      for (const auto& s : *list) {
        if (c.stream(s) == nullptr) std::abort();  // the loader accepted a dangling reference
      }
    }
  }
  return 0;
}
