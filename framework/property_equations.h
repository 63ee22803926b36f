// Calls of the host's property-equation sets for a state held in Y: the
// composition at a stream's composition positions, the pressure, the
// temperature and the property variable at theirs. One routine serves the
// residual (action 3), pattern (2) and Jacobian (4) requests, so the three
// always write the same rows in the same order.
#pragma once

#include <cstdint>

#include "framework/entry_protocol.h"

namespace r3 {

enum class PropertySet { Enthalpy, Volume, HeatCapacity, MolecularWeight };

inline constexpr int32_t kSetPattern = 2, kSetResidual = 3, kSetJacobian = 4;

// One row of RTO_ENSET, RTO_VMSET, RTO_CPSET or RTO_MWSET; phase 1 vapour,
// 2 liquid; fs and ps are the flow and pressure scales; m and k are advanced.
void property_equation(Entry& e, const Setup& s, PropertySet set, int32_t phase,
                       const int32_t* comp, int32_t ip, int32_t it, int32_t iprop, double fs,
                       double ps, int32_t action, int32_t& m, int32_t& k);

// One row of RTO_MWSET: the molecular weight of the composition at `comp`
// against the variable at imw.
void molecular_weight_equation(Entry& e, const Setup& s, const int32_t* comp, int32_t imw,
                               int32_t action, int32_t& m, int32_t& k);

}  // namespace r3
