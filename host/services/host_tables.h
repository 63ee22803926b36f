// Small per-run tables of the substitute host that the driver fills or reads:
// the known blocks (IU_FIABLK), their non-zero limits (U3BLK_*_MAXNZ) and the
// outlet phases models declare (U3_MSTRM_SET_KPH).
#pragma once

#include <cstdint>
#include <string>

namespace r3::host {

// Registers a block identifier and returns its index (from 1); an identifier
// already known keeps its index.
int32_t register_block(const std::string& id);
// Forgets all blocks, their non-zero limits and the recorded phases.
void reset_host_tables();
// The phase (1 vapour, 2 liquid) last declared for material outlet k (from 1),
// or 0 when none was.
int32_t recorded_phase(int32_t k);

}  // namespace r3::host
