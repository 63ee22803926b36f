#include "framework/balance_model.h"

#include "framework/host_services.h"

namespace r3 {

void balance_pass(Entry& e, Setup& s, RowPass pass, int32_t& m, int32_t& k) {
  switch (pass) {
    case RowPass::Count:
      *e.NF = *e.NY = *e.NZ = 0;
      U3SNY(e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout,
            e.NY);
      U3_MBAL_NF(&s.ncomp, &s.sel, e.NF);
      U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &s.sel, e.NZ);
      return;
    case RowPass::Names:
      name_stream_variables(e, s);
      U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, RXN_IBLKID,
                  e.LNAME, e.EQNNAM, &m);
      return;
    case RowPass::Scales:
      U3_MBAL_SCL(&s.ncomp, &s.sel, e.FSCL, &m);
      return;
    case RowPass::Pattern:
      U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.IJROW,
                  e.IJCOL, &m, &k);
      return;
    case RowPass::Residuals:
      U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.F, &m);
      return;
    case RowPass::Jacobian:
      U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &s.sel, e.Y, e.DFDY,
                  &k);
      return;
  }
}

void name_block_variables(Entry& e, const char* const* names, const int32_t* pos, int32_t n) {
  const int32_t lname = *e.LNAME;
  for (int32_t v = 1; v <= n; ++v) {
    if (pos[v] != 0) hs::vnam(names[v], lname, name_slot(e.VARNAM, lname, pos[v]));
  }
}

int32_t present_variables(const int32_t* pos, int32_t n) {
  int32_t count = 0;
  for (int32_t v = 1; v <= n; ++v) count += pos[v] != 0 ? 1 : 0;
  return count;
}


}  // namespace r3
