// A C interface to the substitute host for programs in other languages (a
// Fortran host client among them): set up a run, fill stream vectors, and
// read back the records written on a unit. Every argument by address; texts
// are held in 4-byte words, blank-padded, with no hidden lengths.
#pragma once

#include <cstdint>

extern "C" {

// Configures the run: ncomp components given as 8-character identifiers in
// two words each, the property method (1 IDEAL, 2 PENG-ROB, 3 STEAM-TA).
// Resets the shared areas and captures every output unit in memory.
// istat = 0 on success, 1 with a message on standard error otherwise.
void R3HOST_SETUP(const int32_t* ncomp, const int32_t* ids, const int32_t* method,
                  int32_t* istat);
// Fills a material stream vector (ncomp + 9 reals) from component flows,
// temperature and pressure by a flash. istat = 1 when the flash fails.
void R3HOST_STREAM(const int32_t* method, const double* flows, const double* t, const double* p,
                   double* vec, int32_t* istat);
// Number of records captured on a unit since the last take.
int32_t R3HOST_NREC(const int32_t* unit);
// Record k (1-based) of a unit into nwords words, blank-padded; its length
// in characters (0 when there is no such record).
void R3HOST_GETREC(const int32_t* unit, const int32_t* k, int32_t* words, const int32_t* nwords,
                   int32_t* length);
}
