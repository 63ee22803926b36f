// Discovery commands of r3sim: the databank's components, a case's blocks
// and variables without solving, and what each model does.
#pragma once

#include <string>

namespace r3::host {

// Components whose identifier, name, formula or CAS number contains `text`
// (ignoring case; all when empty). Exit code 0, or 1 when none matches.
int command_components(const std::string& text);

// Every block's variables with units, values, bounds and fixed or free,
// after set-up and initialisation but without solving. Returns the set-up's
// exit code.
int command_describe(const std::string& case_path, const std::string& library);

// One line on what a model entry does; empty for entries this project does
// not know (a user's own models).
std::string model_description(const std::string& entry);

}  // namespace r3::host
