// Suggestions for a misspelt name: the nearest known names by edit distance.
#pragma once

#include <string>
#include <vector>

namespace r3::host {

// Up to three of `names` nearest to `name` (ignoring case), nearest first;
// empty when none is close.
std::vector<std::string> nearest_names(const std::string& name,
                                       const std::vector<std::string>& names);

// " (did you mean A or B?)", or nothing when no name is close.
std::string did_you_mean(const std::string& name, const std::vector<std::string>& names);

}  // namespace r3::host
