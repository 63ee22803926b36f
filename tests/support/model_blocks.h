// Shared helpers of the model tests: a block's variables by name, the
// requests up to the user's values and the initialisation, and the names a
// block gives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "host/services/block.h"

namespace r3::test {

// 1-based position of a variable (full name or after the block prefix).
inline int var(const host::Block& b, const std::string& name) {
  const int i = b.find_var(name);
  EXPECT_GT(i, 0) << "no variable " << name;
  return i;
}
inline double& yv(host::Block& b, int v) {
  return b.y.at(static_cast<size_t>(v > 0 ? v - 1 : 0));
}
inline double& yv(host::Block& b, const std::string& name) {
  return yv(b, var(b, name));
}
// A user's fixed value; without a value the variable is only marked fixed.
inline void fix(host::Block& b, const std::string& name, double value) {
  yv(b, name) = value;
  b.fix(var(b, name));
}
inline void fix(host::Block& b, const std::string& name) {
  b.fix(var(b, name));
}
// 1-based position of an equation by its text after the block prefix; 0 when
// the block has no such equation.
inline int find_eqn(const host::Block& b, const std::string& name) {
  for (int i = 1; i <= b.nf; ++i)
    if (b.eqn_name(i) == b.id + "." + name) return i;
  return 0;
}
// The same for an equation the block must have.
inline int eqn(const host::Block& b, const std::string& name) {
  const int i = find_eqn(b, name);
  EXPECT_GT(i, 0) << "no equation " << name;
  return i > 0 ? i : 1;
}
// An entry of a per-variable array by variable name.
template <typename V>
auto& at(const host::Block& b, V& a, const std::string& name) {
  return a.at(static_cast<size_t>(var(b, name) - 1));
}

// Dimension and names, then the user's values, then the initialisation.
inline int32_t prepare_with(host::Block& b, const std::function<void(host::Block&)>& fill) {
  if (b.dimension() != 0) return b.istat;
  if (b.call(KODE_NAMES) != 0) return b.istat;
  if (fill) fill(b);
  return b.initialise();
}

// Every variable and equation name, one a line, for a golden text.
inline std::vector<std::string> names_of(const host::Block& b) {
  std::vector<std::string> v;
  for (int i = 1; i <= b.ny; ++i) v.push_back("Y " + std::to_string(i) + " " + b.var_name(i));
  for (int i = 1; i <= b.nf; ++i) v.push_back("F " + std::to_string(i) + " " + b.eqn_name(i));
  return v;
}

}  // namespace r3::test
