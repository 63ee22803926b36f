#include "framework/dispatch.h"

namespace r3 {

bool is_request(int32_t kode) {
  switch (kode) {
    case KODE_INIT:
    case KODE_RESID:
    case KODE_STRMUPD:
    case KODE_JACOB:
    case KODE_CHECK:
    case KODE_DIMEN:
    case KODE_NAMES:
    case KODE_REPORT:
      return true;
    default:
      return false;
  }
}

namespace dispatch_detail {

Needs needs(int32_t kode) {
  switch (kode) {
    case KODE_NAMES:
    case KODE_RESID:
      return {true, true, false};
    case KODE_INIT:
      return {true, true, true};
    case KODE_JACOB:
      return {true, false, true};
    default:  // the stream update and the report read the variables only
      return {true, false, false};
  }
}

bool sizes_fit(const Entry& e, Needs need, int32_t ny, int32_t nf, int32_t nz, SizeRule rule) {
  if (rule == SizeRule::Exactly) return *e.NY == ny && *e.NF == nf && *e.NZ == nz;
  return (!need.variables || *e.NY >= ny) && (!need.equations || *e.NF >= nf) &&
         (!need.nonzeros || *e.NZ >= nz);
}

}  // namespace dispatch_detail
}  // namespace r3
