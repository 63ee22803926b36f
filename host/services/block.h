// A block as the host sees it: the model entry, the connected streams with
// their identifiers and vectors, the parameter arrays, and the host-owned
// arrays of the equation-oriented requests, each allocated at exactly the
// size the block declared. Tests and the driver describe a block with this
// class and call its entry through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"

namespace r3::host {

class Block {
 public:
  Block(std::string id, EntryFn entry);

  // --- Description (set before calling) ---
  std::string id;
  EntryFn entry;
  std::vector<std::string> matin, infin, matout, infout;  // stream identifiers
  std::vector<double> smatin, sinfin, smatout, sinfout;   // stream vectors
  std::vector<int32_t> ints;                              // model integers (after the header)
  std::vector<double> reals;                              // model reals
  int32_t ipropset = 2;
  int32_t idiag = 4;
  int32_t lname = 16;
  int32_t ilayer = 0;

  // Sizes the stream vectors for the identifiers given (LSTRM reals per
  // material stream, all missing; information streams missing).
  void connect_streams();
  // Sets a material inlet vector from component flows, temperature and
  // pressure, completed by the host's flash. Returns false when the flash fails.
  bool set_material_inlet(int k, const std::vector<double>& flows, double T, double P);
  void set_info_inlet(int k, double value);
  int32_t lstrm() const;
  int32_t ncomp() const;

  // --- The request arrays (exact sizes after dimension()) ---
  int32_t nf = 0, ny = 0, nz = 0, naux1 = 0, naux2 = 0, naux3 = 0;
  std::vector<double> y, ylb, yub, yscl, ysbnd, f, fscl, dfdy;
  std::vector<int32_t> iyattr, ijrow, ijcol;
  std::vector<char> varnam, eqnnam;
  int32_t ieval1 = 0, ieval2 = 0;
  int32_t istat = 0;

  // One call of the entry with the current arrays; returns ISTAT, which holds
  // `istat_in` when the entry is called.
  int32_t call(int32_t kode, int32_t istat_in = 0);
  // The dimension request; on success every request array is allocated at its
  // exact size, reals filled with RMISS, attributes and names cleared.
  int32_t dimension();
  // Dimension, names and initialisation in order; stops at the first failure.
  int32_t prepare();
  // The initialisation request, checking that the pattern fits the arrays.
  int32_t initialise();

  std::string var_name(int i) const;  // 1-based, without trailing blanks
  std::string eqn_name(int i) const;
  // 1-based position of a variable by name (full or after the block prefix), or 0.
  int find_var(const std::string& name) const;
  bool fixed(int i) const;  // 1-based
  void fix(int i);          // marks a variable fixed (user specification)

 private:
  // Fills the call's INT array (the host's header, then the model's
  // integers) and identifier words into buffers kept between calls, so that
  // repeated requests allocate nothing.
  void fill_int_array();
  static void fill_id_words(const std::vector<std::string>& ids, std::vector<int32_t>& w);
  std::vector<int32_t> intv_;
  std::vector<int32_t> idw_[4];
  std::vector<int32_t> scratch_;
};

}  // namespace r3::host
