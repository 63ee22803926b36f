// The host's table of numeric-layer configurations: which user model a
// numeric-layer block wraps, how its derivatives are obtained, and the
// variable groups kept between its requests. A block's layer identifier
// (entry argument 34) indexes this table.
#pragma once

#include <cstdint>
#include <string>

#include "framework/entry_protocol.h"

namespace r3::host {

struct LayerConfig {
  intptr_t user_entry = 0;  // address of the wrapped user model (80 arguments)
  int32_t second = 0;       // handed to the user model in place of argument 34
  int32_t derivatives = 2;  // 0 analytic, 1 analytic pattern + numerical Jacobian, 2 numerical
  int32_t check = 0;        // 1 pattern, 2 Jacobian, 3 both
  // Passed to the numeric services: 1 forward (0) or central (1) differences
  // of the Jacobian, 2 and 3 unused, 4 pattern points (1 or 2); 5 and 6 unused.
  int32_t cfg[6] = {0, 0, 0, 2, 0, 0};
  int32_t groups = -1;  // variable-group handle, negative when none
};

// Registers a configuration and returns its identifier (1, 2, ...).
int32_t register_layer(const LayerConfig& c);
// The configuration of an identifier, or null.
LayerConfig* layer(int32_t id);
void reset_layers();

// Residual evaluations the numeric services have asked for since the last
// reset (tests count them).
int64_t numeric_evaluations();
void reset_numeric_evaluations();

}  // namespace r3::host
