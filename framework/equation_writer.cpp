#include "framework/equation_writer.h"

#include "framework/host_services.h"

namespace r3 {

void EquationWriter::row(std::string_view name, double scale, double residual) {
  switch (pass_) {
    case RowPass::Names:
      hs::enam(name, *e_.LNAME, name_slot(e_.EQNNAM, *e_.LNAME, m_ + 1));
      break;
    case RowPass::Scales:
      if (scales_always || hs::is_missing(e_.FSCL[m_])) e_.FSCL[m_] = scale;
      break;
    case RowPass::Residuals:
      e_.F[m_] = residual;
      break;
    default:
      break;
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

}  // namespace r3
