// One description of a model's rows serves every request that concerns them.
// A model lists its rows once, in order, each with its name, scale, residual
// and derivatives; an EquationWriter run over that list in one pass counts
// the rows and non-zeros, writes the names, the equation scales, the
// sparsity pattern, the residuals or the Jacobian values. Rows and their
// entries are therefore always written in the same order by every request.
//
// The host's property-equation sets are rows of the same list, declared by a
// PropertyRow: the writer hands them to the set's own routines.
#pragma once

#include <cstdint>
#include <string_view>

#include "framework/entry_protocol.h"
#include "framework/property_equations.h"

namespace r3 {

enum class RowPass { Count, Names, Scales, Pattern, Residuals, Jacobian };

// One row of a host property-equation set: the property of the composition
// at `comp` (Y positions) at the pressure at ip and temperature at it,
// against the property variable at iprop (the molecular weight has no
// pressure or temperature).
struct PropertyRow {
  PropertySet set;
  int32_t phase;  // 1 vapour, 2 liquid
  const int32_t* comp;
  int32_t ip, it, iprop;
  std::string_view name;
  double scale;
};

class EquationWriter {
 public:
  // m and k: the rows and non-zeros already written before the model's own
  // (material balances and the like). fs and ps: the flow and pressure
  // scales the property sets are given.
  EquationWriter(Entry& e, const Setup& s, RowPass pass, int32_t m, int32_t k, double fs = 1.0,
                 double ps = 1.0)
      : e_(e), s_(&s), pass_(pass), m_(m), k_(k), fs_(fs), ps_(ps) {}
  // A writer for a model without property rows (and without the common
  // set-up): its rows alone, from the start of the arrays.
  EquationWriter(Entry& e, RowPass pass) : e_(e), s_(nullptr), pass_(pass), m_(0), k_(0) {}

  // The scales pass writes every row's scale, not only where FSCL holds the
  // missing value.
  bool scales_always = false;
  // The test of a missing equation scale, where the model's is not the
  // host's missing value (null).
  bool (*scale_missing)(double) = nullptr;

  RowPass pass() const { return pass_; }
  // Whether the pass writes names: a row's name that takes work to build
  // (component identifiers, numbers) is built only then.
  bool naming() const { return pass_ == RowPass::Names; }
  // The value at Y position pos where the pass writes values; 0 in the
  // other passes, which read nothing from Y.
  double y(int32_t pos) const { return evaluates() ? e_.Y[pos - 1] : 0.0; }
  // Whether the pass writes values (residuals or derivatives): only then
  // does a row read what its values need.
  bool evaluates() const { return pass_ == RowPass::Residuals || pass_ == RowPass::Jacobian; }

  // Starts the next row: its name, its scale (written where FSCL holds the
  // missing value) and its residual.
  void row(std::string_view name, double scale, double residual);
  // The same for a row the host names after a stream (its identifier) and a
  // balance code.
  void stream_row(const int32_t* stream_id, int32_t code, double scale, double residual);
  // An entry of the current row: the variable at Y position pos and the
  // derivative of the row's residual with respect to it.
  void at(int32_t pos, double derivative);
  // A row of a host property-equation set (a writer made with the set-up).
  void property(const PropertyRow& r);

  int32_t rows() const { return m_; }
  int32_t nonzeros() const { return k_; }

 private:
  // The scale and residual of the row the pass has named, and on to the next.
  void finish_row(double scale, double residual);

  Entry& e_;
  const Setup* s_;
  RowPass pass_;
  int32_t m_, k_;
  double fs_ = 1.0, ps_ = 1.0;
};

// Rows of forms several models write, over variables at Y positions.
// m is the mean of a and b: 2 m - a - b.
void mean_row(EquationWriter& w, std::string_view name, double scale, int32_t m, int32_t a,
              int32_t b);
// v is the exponential of l: v - exp(l).
void exp_row(EquationWriter& w, std::string_view name, double scale, int32_t v, int32_t l);
// a is the product of b and c: a - b c.
void product_row(EquationWriter& w, std::string_view name, double scale, int32_t a, int32_t b,
                 int32_t c);

}  // namespace r3
