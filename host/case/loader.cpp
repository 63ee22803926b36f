#include "host/case/loader.h"

#include "host/case/case_units.h"
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
#include <link.h>
#include <map>
#include <set>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/units/units.h"

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

namespace {

// The folder of the running program; empty when it cannot be read.
fs::path program_dir() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

}  // namespace

std::string library_path(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("R3_LIBRARY")) return env;
  // Found from where this program is, never from a path fixed at build time:
  // beside it (the build tree) or in its prefix's library directory (installed).
  if (const fs::path dir = program_dir(); !dir.empty()) {
    for (const fs::path& p : {dir / R3_MODELS_SONAME, dir / R3_LIBDIR_FROM_BINDIR / R3_MODELS_SONAME}) {
      if (fs::exists(p)) return p.lexically_normal().string();
    }
  }
  return R3_MODELS_SONAME;  // left to the dynamic loader's search path
}

// The host's own blocks: the library built with this program, else
// libr3blocks.so beside the model library, else beside the running program.
std::string blocks_library_path(const std::string& models) {
  const fs::path beside = fs::path(models).parent_path() / "libr3blocks.so";
  if (fs::exists(beside)) return beside.string();
  const fs::path dir = program_dir();
  return dir.empty() ? std::string("libr3blocks.so") : (dir / "libr3blocks.so").string();
}

void* open_library(const std::string& path, std::string& error) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) error = "cannot load the model library " + path + ": " + dlerror();
  return h;
}

namespace {

// True when [off, off + len) lies inside a buffer of `size` bytes; computed
// without overflow, so offsets near 2^64 in a damaged file fail here.
bool inside(uint64_t off, uint64_t len, size_t size) { return off <= size && len <= size - off; }

}  // namespace

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
  const std::string damaged = path + " is a damaged ELF file: ";
  if (eh.e_shnum > 0 && eh.e_shentsize < sizeof(Elf64_Shdr)) {
    error = damaged + "section headers are too short";
    return false;
  }
  uint64_t table_size = 0;
  if (__builtin_mul_overflow(uint64_t{eh.e_shnum}, uint64_t{eh.e_shentsize}, &table_size) ||
      !inside(eh.e_shoff, table_size, data.size())) {
    error = damaged + "the section headers lie outside the file";
    return false;
  }
  auto section = [&](size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, data.data() + eh.e_shoff + i * eh.e_shentsize, sizeof sh);
    return sh;
  };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNSYM) continue;
    if (sh.sh_link >= eh.e_shnum || !inside(sh.sh_offset, sh.sh_size, data.size())) {
      error = damaged + "its dynamic symbol table lies outside the file";
      return false;
    }
    const Elf64_Shdr strtab = section(sh.sh_link);
    if (strtab.sh_type != SHT_STRTAB || !inside(strtab.sh_offset, strtab.sh_size, data.size())) {
      error = damaged + "its symbol names lie outside the file";
      return false;
    }
    const char* names = data.data() + strtab.sh_offset;
    for (uint64_t k = 0; k < sh.sh_size / sizeof(Elf64_Sym); ++k) {
      Elf64_Sym sym;
      std::memcpy(&sym, data.data() + sh.sh_offset + k * sizeof(Elf64_Sym), sizeof sym);
      if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF) continue;
      if (ELF64_ST_BIND(sym.st_info) != STB_GLOBAL) continue;
      // A name must end inside the string table.
      const void* end = sym.st_name < strtab.sh_size
                            ? std::memchr(names + sym.st_name, '\0', strtab.sh_size - sym.st_name) : nullptr;
      if (end == nullptr) {
        error = damaged + "a symbol name runs past its string table";
        return false;
      }
      out.emplace_back(names + sym.st_name, static_cast<const char*>(end));
    }
  }
  std::sort(out.begin(), out.end());
  return true;
}

namespace {

// The function `name` when the library itself defines it; null when it is
// absent or found only in one of the library's dependencies (libc's `abort`
// looked up through a model library's handle).
void* own_function(void* lib, const std::string& name) {
  void* f = dlsym(lib, name.c_str());
  if (f == nullptr) return nullptr;
  Dl_info info;
  void* holder = nullptr;
  link_map* self = nullptr;
  if (dladdr1(f, &info, &holder, RTLD_DL_LINKMAP) == 0 || dlinfo(lib, RTLD_DI_LINKMAP, &self) != 0 ||
      holder != self) {
    return nullptr;
  }
  return f;
}

enum class EntryKind { Entry, UserModel, NotModel };

// What a function is, from one dimension request made with the numeric
// layer's 80 arguments (a model entry ignores the seven further ones, so the
// call is sound for both kinds): a model entry sets its status in argument
// 73, a user model in argument 80; a function that sets neither the status
// nor a size is no model. Every array is zeroed scratch; the messages of the
// call are discarded.
EntryKind probe_entry(void* fn, int32_t method) {
  using UserFn = void(R3_STDCALL*)(R3_USER_PARAMS);
  constexpr int32_t kUnset = -770077;
  std::vector<double> reals(16384, 0.0);
  std::vector<int32_t> ints(16384, 0);
  double* d = reals.data();
  int32_t* w = ints.data();
  void* z = d;
  char* names = reinterpret_cast<char*>(w);
  int32_t zero = 0, lstrm = static_cast<int32_t>(run().ncomp()) + 9, one = 1, kode = r3::KODE_DIMEN;
  int32_t ny = -1, nf = -1, nz = -1, naux = 0, lname = 8, idiag = 0, ilayer = 0;
  int32_t status73 = kUnset, status80 = kUnset;
  int32_t ips[6] = {method, 0, 0, 0, 0, 0};
  int32_t idblk[2];
  std::memcpy(idblk, "PROBE   ", 8);
  int32_t saved[3] = {PPEXEC_USER[10], PPEXEC_USER[11], PPEXEC_USER[12]};
  // The probe's messages go nowhere: the message units point at a unit of
  // its own, and some models write their check's findings on standard output.
  constexpr int32_t kDiscard = 98;
  const units::Muted discard(kDiscard), quiet(units::kStandardOutput);
  PPEXEC_USER[10] = PPEXEC_USER[11] = PPEXEC_USER[12] = kDiscard;
  reinterpret_cast<UserFn>(fn)(&zero, d, &zero, d, &zero, d, &zero, d, w, w, w, w, &lstrm, &one, w, w,
                               &zero, w, &zero, d, idblk, z, ips, z, z, z, z, z, z, z, w, z, z, &ilayer,
                               z, z, &kode, &naux, &nf, &ny, &naux, &naux, d, d, d, d, d, w, d, d, z,
                               &nz, w, w, d, z, z, z, &lname, z, names, names, &idiag, z, z, z, z, z,
                               &naux, &naux, z, z, &status73, w, w, w, w, w, w, &status80);
  std::copy(saved, saved + 3, PPEXEC_USER + 10);
  if (status80 != kUnset && status73 == kUnset) return EntryKind::UserModel;
  if (status73 != kUnset || ny != -1 || nf != -1 || nz != -1) return EntryKind::Entry;
  return EntryKind::NotModel;
}

}  // namespace

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
    const fs::path dir = program_dir();
    const fs::path near = dir / fs::path(lib).filename();
    paths.push_back(!fs::exists(lib) && !dir.empty() && fs::exists(near) ? near.string() : lib);
  }
  const size_t blocks = paths.size();  // the host's own blocks, looked up last
  paths.push_back(blocks_library_path(paths[0]));
  std::vector<std::string> loaded;  // the path of each entry of `libs`
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
    loaded.push_back(paths[i]);
  }
  // Names resolve only to functions the named libraries define themselves,
  // and a name is refused when its function is no model entry of the kind
  // the block needs.
  std::string refused;
  std::set<void*> used;
  std::map<void*, EntryKind> kinds;
  auto resolve = [&](const std::string& name) -> r3::EntryFn {
    for (size_t i = 0; i < libs.size(); ++i) {
      void* f = own_function(libs[i], name);
      if (f == nullptr) continue;
      const auto b = std::find_if(c.blocks.begin(), c.blocks.end(), [&](const BlockDef& d) { return d.model == name; });
      if (b != c.blocks.end()) {
        const std::string where = c.path + ":" + std::to_string(b->line) + ": block " + b->id + ": ";
        auto k = kinds.find(f);
        if (k == kinds.end()) k = kinds.emplace(f, probe_entry(f, static_cast<int32_t>(c.method))).first;
        const EntryKind kind = k->second;
        if (kind == EntryKind::UserModel) {
          refused = where + "'" + name + "' in " + loaded[i] +
                    " is a user model for the numeric layer (80 arguments), not a model entry; "
                    "wrap it: model = \"R3NUML\" with user_model = \"" + name + "\"";
          return nullptr;
        }
        if (kind == EntryKind::NotModel) {
          refused = where + "'" + name + "' in " + loaded[i] +
                    " is not a model entry: it answers nothing to the dimension request";
          return nullptr;
        }
      }
      used.insert(libs[i]);
      return reinterpret_cast<r3::EntryFn>(f);
    }
    return nullptr;
  };
  if (!fsh.build(c, resolve, error)) {
    if (!refused.empty()) error = refused;
    return 1;
  }
  // A library named besides the model library (and the host's own blocks)
  // must serve the case.
  for (size_t i = 0; i < libs.size(); ++i) {
    if (loaded[i] == paths[0] || loaded[i] == paths[blocks] || used.count(libs[i])) continue;
    std::vector<std::string> names;
    std::string ignored;
    exported_functions(loaded[i], names, ignored);
    std::string list;
    for (size_t k = 0; k < names.size() && k < 8; ++k) list += (k ? ", " : "") + names[k];
    if (names.size() > 8) list += ", ...";
    error = loaded[i] + " provides none of the case's models (it exports " +
            (names.empty() ? std::string("no functions") : list) + ")";
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
  if (init != Outcome::Solved) return static_cast<int>(init);
  uom::current_report_units() = c.report;
  return 0;
}

}  // namespace r3::host
