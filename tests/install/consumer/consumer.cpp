// Loads the installed model library and finds an entry in it.
#include <dlfcn.h>

#include <cstdio>

#include "framework/host_services.h"

int main() {
  void* lib = dlopen(R3_LIBRARY_FILE, RTLD_LAZY | RTLD_LOCAL);
  if (lib == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  const auto entry = reinterpret_cast<r3::EntryFn>(dlsym(lib, "R3PUMP"));
  std::printf(entry != nullptr ? "R3PUMP found in %s\n" : "R3PUMP missing from %s\n", R3_LIBRARY_FILE);
  return entry != nullptr ? 0 : 1;
}
