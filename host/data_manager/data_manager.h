// The substitute host's data manager: one fixed work pool shared by real and
// integer areas, the component data tables in that pool, the message gate,
// the error buffer and the message counts the driver reports.
#pragma once

#include <cstdint>

namespace r3::host {

// Size of DMS_PLEX in doubles (DMS_IPLEX, its integer view, has twice as
// many words).
inline constexpr int32_t kPlexSize = 1 << 20;

// Frees every area, clears the error buffer and message counts, lays out the
// run's component tables at the start of the pool (DMS_IPOFF1 words 306
// molecular weights, 413 normal boiling points: component i at
// DMS_PLEX(offset + i)), sets DMS_NCOMP word 12 to the water component's
// index (0 when absent) and DMS_GLOBAL word 6 to the default message level.
// Called by reset_shared_areas().
void reset_data_manager();

// Doubles of the pool not held by any area.
int32_t pool_free();
// Areas currently allocated.
int pool_areas();

struct MessageCounts {
  int errors = 0;
  int warnings = 0;
  int infos = 0;
};
// Messages signalled through U3ERROR_SIG_* since the last reset.
MessageCounts message_counts();

}  // namespace r3::host
