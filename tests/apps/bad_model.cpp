// A deliberately faulty user model for the Jacobian check: two block
// variables X and Y with X - 2 = 0 and X*Y - 6 = 0, whose Jacobian entry
// d(PRODUCT)/dX is off by one.
#include <cstring>

#include "framework/entry_protocol.h"
#include "framework/host_services.h"

namespace {

using NameFn = void (*)(const int32_t*, const char*, const int32_t*, const int32_t*, char*);

void name(NameFn fn, r3::Entry& e, const char* text, char* names, int32_t slot) {
  const int32_t len = static_cast<int32_t>(std::strlen(text));
  fn(e.IDBLK, text, &len, e.LNAME, r3::name_slot(names, *e.LNAME, slot));
}

void run(r3::Entry& e) {
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      *e.NY = 2;
      *e.NF = 2;
      *e.NZ = 3;
      return;
    case r3::KODE_NAMES:
      name(U3VNAM, e, "X", e.VARNAM, 1);
      name(U3VNAM, e, "Y", e.VARNAM, 2);
      name(U3ENAM, e, "FIX_X", e.EQNNAM, 1);
      name(U3ENAM, e, "PRODUCT", e.EQNNAM, 2);
      return;
    case r3::KODE_INIT:
      for (int i = 0; i < 2; ++i) {
        e.Y[i] = e.YSCL[i] = e.FSCL[i] = 1.0;
        e.YLB[i] = -100.0;
        e.YUB[i] = 100.0;
        e.YSBND[i] = 10.0;
      }
      e.IJROW[0] = 1, e.IJCOL[0] = 1;
      e.IJROW[1] = 2, e.IJCOL[1] = 1;
      e.IJROW[2] = 2, e.IJCOL[2] = 2;
      return;
    case r3::KODE_RESID:
      e.F[0] = e.Y[0] - 2.0;
      e.F[1] = e.Y[0] * e.Y[1] - 6.0;
      return;
    case r3::KODE_JACOB:
      e.DFDY[0] = 1.0;
      e.DFDY[1] = e.Y[1] + 1.0;  // the fault: should be Y
      e.DFDY[2] = e.Y[0];
      return;
    default:
      return;
  }
}

}  // namespace

R3_DEFINE_ENTRY(R3BAD, run)
