#include "host/case/loader.h"

#include "host/case/case_units.h"
#include "host/case/feed_basis.h"
#include "host/units/quantity.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#ifndef R3_DEFAULT_LIBRARY
#define R3_DEFAULT_LIBRARY "libr3models.so"
#endif

namespace fs = std::filesystem;

namespace r3::host {

std::string library_path(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("R3_LIBRARY")) return env;
  if (fs::exists(R3_DEFAULT_LIBRARY)) return R3_DEFAULT_LIBRARY;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const fs::path& p : {self.parent_path() / "libr3models.so",
                              self.parent_path() / "../lib/libr3models.so"}) {
      if (fs::exists(p)) return p.string();
    }
  }
  return "libr3models.so";
}

// The host's own blocks: the library built with this program, else
// libr3blocks.so beside the model library, else beside the running program.
std::string blocks_library_path(const std::string& models) {
#ifdef R3_BLOCKS_LIBRARY
  if (fs::exists(R3_BLOCKS_LIBRARY)) return R3_BLOCKS_LIBRARY;
#endif
  const fs::path beside = fs::path(models).parent_path() / "libr3blocks.so";
  if (fs::exists(beside)) return beside.string();
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("libr3blocks.so") : (self.parent_path() / "libr3blocks.so").string();
}

void* open_library(const std::string& path, std::string& error) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) error = "cannot load the model library " + path + ": " + dlerror();
  return h;
}

bool exported_functions(const std::string& path, std::vector<std::string>& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < sizeof(Elf64_Ehdr) || std::memcmp(data.data(), ELFMAG, SELFMAG) != 0 ||
      data[EI_CLASS] != ELFCLASS64) {
    error = path + " is not a 64-bit ELF shared library";
    return false;
  }
  Elf64_Ehdr eh;
  std::memcpy(&eh, data.data(), sizeof eh);
  auto section = [&](size_t i, Elf64_Shdr& sh) {
    const size_t off = eh.e_shoff + i * eh.e_shentsize;
    if (off + sizeof sh > data.size()) return false;
    std::memcpy(&sh, data.data() + off, sizeof sh);
    return true;
  };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!section(i, sh) || sh.sh_type != SHT_DYNSYM) continue;
    Elf64_Shdr strtab;
    if (!section(sh.sh_link, strtab)) break;
    for (size_t k = 0; k * sizeof(Elf64_Sym) + sizeof(Elf64_Sym) <= sh.sh_size; ++k) {
      Elf64_Sym sym;
      const size_t off = sh.sh_offset + k * sizeof(Elf64_Sym);
      if (off + sizeof sym > data.size()) break;
      std::memcpy(&sym, data.data() + off, sizeof sym);
      if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF) continue;
      if (ELF64_ST_BIND(sym.st_info) != STB_GLOBAL) continue;
      const size_t name = strtab.sh_offset + sym.st_name;
      if (name >= data.size()) continue;
      out.emplace_back(data.data() + name);
    }
  }
  std::sort(out.begin(), out.end());
  return true;
}

// An unknown variable's message with the nearest names of the block.
std::string with_suggestion(Flowsheet& fsh, const std::string& error) {
  const std::string key = " has no variable '";
  const size_t at = error.find(key), list = error.find(" (its variables: ");
  if (at == std::string::npos || list == std::string::npos) return error;
  const size_t name_end = error.find('\'', at + key.size());
  const std::string name = error.substr(at + key.size(), name_end - at - key.size());
  std::vector<std::string> names;
  for (const auto& b : fsh.blocks()) {
    for (int i = 1; i <= b->ny; ++i) {
      const std::string full = b->var_name(i);
      names.push_back(full);
      const size_t dot = full.find('.');
      if (dot != std::string::npos && full.substr(0, dot) == b->id) names.push_back(full.substr(dot + 1));
    }
  }
  const std::string hint = did_you_mean(name, names);
  return hint.empty() ? error : error.substr(0, name_end + 1) + hint + error.substr(name_end + 1);
}

// Loads the case and the libraries (the model library, a --library, the
// case's own) and initialises the flowsheet; returns the exit code (0 when
// ready). Entries are looked up in the libraries in that order.
int prepare_flowsheet(const std::string& case_path, const std::string& extra_library, Flowsheet& fsh,
                      std::vector<void*>& libs) {
  Case c;
  std::string error;
  if (!load_case(case_path, c, error)) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  const int code = prepare_flowsheet(c, extra_library, fsh, libs, error);
  if (code != 0) std::cerr << "r3sim: " << error << "\n";
  return code;
}

int prepare_flowsheet(Case c, const std::string& extra_library, Flowsheet& fsh,
                      std::vector<void*>& libs, std::string& error) {
  std::vector<std::string> paths = {library_path("")};
  if (!extra_library.empty()) paths.push_back(extra_library);
  for (const std::string& lib : c.libraries) {
    // A case's library not found beside the case is looked for beside r3sim.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path near = self.parent_path() / fs::path(lib).filename();
    paths.push_back(!fs::exists(lib) && !ec && fs::exists(near) ? near.string() : lib);
  }
  const size_t blocks = paths.size();  // the host's own blocks, looked up last
  paths.push_back(blocks_library_path(paths[0]));
  for (size_t i = 0; i < paths.size(); ++i) {
    void* lib = open_library(paths[i], error);
    if (lib == nullptr && i == blocks) {
      error.clear();  // without its own blocks the host still runs the models
      continue;
    }
    if (lib == nullptr) {
      // The model library may be absent when a user library serves the case.
      if (i == 0 && blocks > 1) continue;
      return 1;
    }
    libs.push_back(lib);
  }
  auto resolve = [&libs](const std::string& name) -> r3::EntryFn {
    for (void* lib : libs) {
      if (void* f = dlsym(lib, name.c_str())) return reinterpret_cast<r3::EntryFn>(f);
    }
    return nullptr;
  };
  if (!fsh.build(c, resolve, error)) {
    return 1;
  }
  Outcome init = fsh.initialise(error);
  bool corrected = false;
  if (init == Outcome::Solved && !check_measured_values(fsh, c, corrected, error)) init = Outcome::BadInput;
  // Values whose SI number depends on the variable's type: set up again.
  if (init == Outcome::Solved && corrected) {
    fsh.blocks().clear();
    if (!fsh.build(c, resolve, error)) init = Outcome::BadInput;
    if (init == Outcome::Solved) init = fsh.initialise(error);
  }
  if (init != Outcome::Solved) {
    error = with_suggestion(fsh, error);
    return static_cast<int>(init);
  }
  uom::current_report_units() = c.report;
  return 0;
}

}  // namespace r3::host
