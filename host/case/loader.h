// Model libraries and the set-up of a run: where the model library is, loading
// libraries, the entries a library exports, and a case loaded, its blocks
// resolved and the flowsheet initialised.
#pragma once

#include <string>
#include <vector>

#include "host/solver/flowsheet.h"

namespace r3::host {

// The model library: the given path, else R3_LIBRARY, else the library beside
// the running program, else in the library directory of the prefix it is
// installed in, else the name alone for the dynamic loader to search.
std::string library_path(const std::string& given);

// dlopen with RTLD_LOCAL; null with a message on failure.
void* open_library(const std::string& path, std::string& error);

// Functions a shared library defines and exports, read from its dynamic
// symbol table, sorted.
bool exported_functions(const std::string& path, std::vector<std::string>& out, std::string& error);

// Loads the case and the libraries (the model library, `extra_library` when
// given, the case's own) and initialises the flowsheet. Entries are looked up
// in the libraries in that order. Returns the exit code (0 when ready; the
// message is already on standard error otherwise).
int prepare_flowsheet(const std::string& case_path, const std::string& extra_library, Flowsheet& fsh,
                      std::vector<void*>& libs);
// The same for a case already loaded, with the message in `error` instead of
// on standard error (front ends that solve a case many times, or report in
// their own way).
int prepare_flowsheet(Case c, const std::string& extra_library, Flowsheet& fsh,
                      std::vector<void*>& libs, std::string& error);

}  // namespace r3::host
