#include "host/case/loader.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

// The model library's file name and where the library directory is from the
// program's directory once installed (both set by the build).
#ifndef R3_MODELS_SONAME
#define R3_MODELS_SONAME "libr3models.so"
#endif
#ifndef R3_LIBDIR_FROM_BINDIR
#define R3_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace fs = std::filesystem;

namespace r3::host {

std::string library_path(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("R3_LIBRARY")) return env;
  // Found from where this program is, never from a path fixed at build time:
  // beside it (the build tree) or in its prefix's library directory (installed).
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path dir = self.parent_path();
    for (const fs::path& p : {dir / R3_MODELS_SONAME, dir / R3_LIBDIR_FROM_BINDIR / R3_MODELS_SONAME}) {
      if (fs::exists(p)) return p.lexically_normal().string();
    }
  }
  return R3_MODELS_SONAME;  // left to the dynamic loader's search path
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
  std::vector<std::string> paths = {library_path("")};
  if (!extra_library.empty()) paths.push_back(extra_library);
  for (const std::string& lib : c.libraries) {
    // A case's library not found beside the case is looked for beside r3sim.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path near = self.parent_path() / fs::path(lib).filename();
    paths.push_back(!fs::exists(lib) && !ec && fs::exists(near) ? near.string() : lib);
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    void* lib = open_library(paths[i], error);
    if (lib == nullptr) {
      // The model library may be absent when a user library serves the case.
      if (i == 0 && paths.size() > 1) continue;
      std::cerr << "r3sim: " << error << "\n";
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
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  const Outcome init = fsh.initialise(error);
  if (init != Outcome::Solved) {
    std::cerr << "r3sim: " << error << "\n";
    return static_cast<int>(init);
  }
  return 0;
}

}  // namespace r3::host
