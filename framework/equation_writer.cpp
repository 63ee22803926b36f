#include "framework/equation_writer.h"

#include <cmath>

#include "framework/host_services.h"

namespace r3 {

void EquationWriter::row(std::string_view name, double scale, double residual) {
  if (pass_ == RowPass::Names) hs::enam(name, *e_.LNAME, name_slot(e_.EQNNAM, *e_.LNAME, m_ + 1));
  finish_row(scale, residual);
}

void EquationWriter::stream_row(const int32_t* stream_id, int32_t code, double scale,
                                double residual) {
  if (pass_ == RowPass::Names) {
    U3SEID(e_.IDBLK, stream_id, &code, e_.LNAME, name_slot(e_.EQNNAM, *e_.LNAME, m_ + 1));
  }
  finish_row(scale, residual);
}

void EquationWriter::finish_row(double scale, double residual) {
  if (pass_ == RowPass::Scales) {
    const double held = e_.FSCL[m_];
    if (scales_always || (scale_missing != nullptr ? scale_missing(held) : hs::is_missing(held))) {
      e_.FSCL[m_] = scale;
    }
  } else if (pass_ == RowPass::Residuals) {
    e_.F[m_] = residual;
  }
  ++m_;
}

void EquationWriter::at(int32_t pos, double derivative) {
  if (pass_ == RowPass::Pattern) {
    e_.IJROW[k_] = m_;
    e_.IJCOL[k_] = pos;
  } else if (pass_ == RowPass::Jacobian) {
    e_.DFDY[k_] = derivative;
  }
  ++k_;
}

void EquationWriter::property(const PropertyRow& r) {
  int32_t ncomp = s_->ncomp, ny_unused = 0;
  int32_t action = 0;
  switch (pass_) {
    case RowPass::Count:
      switch (r.set) {
        case PropertySet::Enthalpy:
          return RTO_ENDIM(&ncomp, &m_, &ny_unused, &k_);
        case PropertySet::Volume:
          return RTO_VMDIM(&ncomp, &m_, &ny_unused, &k_);
        case PropertySet::HeatCapacity:
          return RTO_CPDIM(&ncomp, &m_, &ny_unused, &k_);
        case PropertySet::MolecularWeight:
          return RTO_MWDIM(&ncomp, &m_, &ny_unused, &k_);
      }
      return;
    case RowPass::Names:
    case RowPass::Scales:
      return row(r.name, r.scale, 0.0);
    case RowPass::Pattern:
      action = kSetPattern;
      break;
    case RowPass::Residuals:
      action = kSetResidual;
      break;
    case RowPass::Jacobian:
      action = kSetJacobian;
      break;
  }
  property_equation(e_, *s_, r.set, r.phase, r.comp, r.ip, r.it, r.iprop, fs_, ps_, action, m_, k_);
}

void mean_row(EquationWriter& w, std::string_view name, double scale, int32_t m, int32_t a,
              int32_t b) {
  w.row(name, scale, 2.0 * w.y(m) - w.y(a) - w.y(b));
  w.at(m, 2.0);
  w.at(a, -1.0);
  w.at(b, -1.0);
}

void exp_row(EquationWriter& w, std::string_view name, double scale, int32_t v, int32_t l) {
  w.row(name, scale, w.y(v) - std::exp(w.y(l)));
  w.at(v, 1.0);
  w.at(l, -std::exp(w.y(l)));
}

void product_row(EquationWriter& w, std::string_view name, double scale, int32_t a, int32_t b,
                 int32_t c) {
  w.row(name, scale, w.y(a) - w.y(b) * w.y(c));
  w.at(a, 1.0);
  w.at(b, -w.y(c));
  w.at(c, -w.y(b));
}

}  // namespace r3
