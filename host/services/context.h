// The substitute host's run state: the simulation's component list and
// property method, the shared areas' initial contents, and the failure
// switches that tests use to exercise the models' failure paths.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/thermo/thermo.h"

namespace r3::host {

inline constexpr double kRmiss = 1.0e35;
inline constexpr int32_t kImiss = -2147483647;
inline constexpr int kMaxComponents = 200;

enum class ReportUnits { SI = 0, MET = 1, ENG = 2 };

struct Run {
  thermo::Method method = thermo::Method::PengRobinson;
  std::vector<const thermo::Component*> components;
  // The Peng-Robinson interaction parameters the run's models take over the
  // databank's (its case's, not those of a case read since).
  std::vector<thermo::BinaryInteraction> kij;
  ReportUnits report_units = ReportUnits::SI;
  int ncomp() const { return static_cast<int>(components.size()); }
};

Run& run();

// Sets the simulation's components (databank identifiers, in order),
// property method and interaction parameters (by default the process-wide
// list as it is now). Returns false with a message on an unknown identifier,
// an empty or over-long list, or a method that cannot serve the list.
bool configure_run(const std::vector<std::string>& ids, thermo::Method method, std::string& error,
                   const std::vector<thermo::BinaryInteraction>& kij = thermo::interaction_overrides());

// The same from databank rows (or rows a test made); the rows must outlive
// the run.
bool configure_run(std::vector<const thermo::Component*> components, thermo::Method method,
                   std::string& error,
                   const std::vector<thermo::BinaryInteraction>& kij = thermo::interaction_overrides());

// The property model for a method and a component list given as 1-based
// indices into the run's list (cached; null when the list is invalid).
const thermo::Model* model_for(int32_t ipropset, std::span<const int32_t> idx);

// Puts the shared areas into their initial state (RMISS, missing marker,
// units, diagnostic levels) and clears the per-run tables.
void reset_shared_areas();
// The same for the calling thread's run-time areas only (PPEXEC_USER, the
// block identifier, the global tables), leaving the process's data manager
// alone: what a second thread does before it runs its own flowsheet.
void reset_thread_areas();

// Makes the next `times` calls of a named host operation fail (tests).
void fail_operation(std::string_view name, int times = 1);
// True (and consumes one failure) when the operation is to fail now.
bool take_failure(std::string_view name);
void clear_failures();

// Size of the pattern arrays (IJROW, IJCOL, DFDY) of the block whose entry
// is being called, so that host services that write a pattern never pass it.
void set_call_pattern_capacity(int32_t n);
int32_t call_pattern_capacity();
// NY and NF of that call (-1 outside a block's call), so that host services
// holding state between requests can tell that the block has changed size.
void set_call_sizes(int32_t ny, int32_t nf);
int32_t call_ny();
int32_t call_nf();

// Molecular weight of a composition over the run's components (1-based list).
double molecular_weight(std::span<const int32_t> idx, std::span<const double> x);

}  // namespace r3::host
