// The host's property services over the thermo engine: stream-vector
// completion, the flash, the property monitors and the property-equation sets.
#pragma once

#include <cstdint>
#include <vector>

namespace r3::host {

// Fills a material stream vector (LSTRM = n_c + 9 reals) from component
// flows, temperature and pressure, completing it with a TP flash of the run's
// components. Returns false (enthalpy and the rest left missing) on failure.
bool fill_stream_vector(int32_t ipropset, const std::vector<double>& flows, double T, double P,
                        double* v);

// The same from pressure and molar vapour fraction, or pressure and mass
// enthalpy (J/kg).
bool fill_stream_vector_pv(int32_t ipropset, const std::vector<double>& flows, double P,
                           double beta, double* v);
bool fill_stream_vector_ph(int32_t ipropset, const std::vector<double>& flows, double P,
                           double h_mass, double* v);

// Pattern of one property row: the composition columns ix, ix+1, ...
// (ncomp of them), then ip, it and iprop, on row m+1; m and k advanced.
void property_row_pattern(int32_t ncomp, int32_t ix, int32_t ip, int32_t it, int32_t iprop,
                          int32_t& m, int32_t& k, int32_t* IJROW, int32_t* IJCOL);

// Completes a material stream vector whose flows, pressure and molar
// enthalpy are known by a PH flash (temperature estimate from the vector when
// present). Returns the flash status (0, -1 or -2).
int32_t complete_from_ph(int32_t ipropset, double* v, double h_molar);

}  // namespace r3::host
