// Two small blocks built only from the host's stream operations, run through
// the conformance harness: a pass-through block on the stream equations (as
// the valve uses them) and a heated mixer on the material and energy balances.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

namespace {

using r3::Entry;
using r3::Setup;

bool setup(Entry& e, Setup& s) {
  if (!r3::setup_components(e, s)) return false;
  r3::setup_header(e, s);
  if (!r3::setup_streams(e, s)) return false;
  r3::setup_block_id(e);
  r3::setup_scales(s);
  return true;
}

#define R3_GROUPS(e, s) \
  e.NMATIN, e.NINFI, e.NMATOUT, e.NINFOUT, s.dmatin, s.dinfin, s.dmatout, s.dinfout

// Maps the streams (outlets start as copies of the first inlet), inlets fixed.
void map_streams(Entry& e, Setup& s) {
  for (int k = 0; k < *e.NMATOUT; ++k) U3SCPY(e.SMATIN, e.LSTRM, e.SMATOUT + k * *e.LSTRM);
  const int32_t imode = 0;
  U3SPTX(R3_GROUPS(e, s), e.NSSTRM, e.ISSOFF, e.ISSTYP, e.LSTRM, e.SMATIN, e.SINFIN, e.SMATOUT,
         e.SINFOUT, &imode, e.Y, e.YLB, e.YUB, e.YSCL, e.YSBND, e.IYATTR);
}

// The pressure row P_out - (P_in - 1e4) = 0, after the host's rows.
void pressure_row(Entry& e, Setup& s, int32_t kode, int32_t& m, int32_t& k) {
  const int32_t pin = s.map.in_pres, pout = s.map.out_pres;
  switch (kode) {
    case r3::KODE_NAMES:
      r3::hs::enam("PRES", *e.LNAME, r3::name_slot(e.EQNNAM, *e.LNAME, m + 1));
      break;
    case r3::KODE_INIT:
      e.FSCL[m] = s.scales[4];
      e.IJROW[k] = e.IJROW[k + 1] = m + 1;
      e.IJCOL[k] = pout;
      e.IJCOL[k + 1] = pin;
      k += 2;
      break;
    case r3::KODE_RESID:
      e.F[m] = e.Y[pout - 1] - (e.Y[pin - 1] - 1.0e4);
      break;
    case r3::KODE_JACOB:
      e.DFDY[k++] = 1.0;
      e.DFDY[k++] = -1.0;
      break;
    default:
      break;
  }
  ++m;
}

void pass_through(Entry& e) {
  Setup s;
  if (!setup(e, s)) return;
  int32_t m = 0, k = 0;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      *e.NY = s.nstream;
      *e.NF = 1;
      *e.NZ = 2;
      U3SNF(R3_GROUPS(e, s), e.NF);
      U3SNNZ(R3_GROUPS(e, s), e.NZ);
      return;
    case r3::KODE_NAMES:
      U3SVL(R3_GROUPS(e, s), e.IDBLK, e.LNAME, e.VARNAM);
      U3SEL(R3_GROUPS(e, s), RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
      break;
    case r3::KODE_INIT:
      map_streams(e, s);
      U3SETF(R3_GROUPS(e, s), e.FSCL, &m);
      m = 0;
      U3SPAT(R3_GROUPS(e, s), e.IJROW, e.IJCOL, &m, &k);
      break;
    case r3::KODE_RESID:
      U3SRES(R3_GROUPS(e, s), e.Y, e.F, &m);
      break;
    case r3::KODE_JACOB:
      U3SJAC(R3_GROUPS(e, s), e.Y, e.DFDY, &k);
      break;
    default:
      return;
  }
  pressure_row(e, s, *e.KODE, m, k);
}

void heated_mixer(Entry& e) {
  Setup s;
  if (!setup(e, s)) return;
  int32_t m = 0, k = 0, sel = -1;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      *e.NY = s.nstream;
      *e.NF = 1;
      *e.NZ = 2;
      U3_MBAL_NF(&s.ncomp, &sel, e.NF);
      U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &sel, e.NZ);
      U3_EBAL_NF(R3_GROUPS(e, s), e.NF);
      U3_EBAL_NZ(R3_GROUPS(e, s), e.NZ);
      return;
    case r3::KODE_NAMES:
      U3SVL(R3_GROUPS(e, s), e.IDBLK, e.LNAME, e.VARNAM);
      U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, RXN_IBLKID,
                  e.LNAME, e.EQNNAM, &m);
      U3_EBAL_NAM(R3_GROUPS(e, s), RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
      break;
    case r3::KODE_INIT:
      map_streams(e, s);
      U3_MBAL_SCL(&s.ncomp, &sel, e.FSCL, &m);
      U3_EBAL_SCL(R3_GROUPS(e, s), e.FSCL, &m);
      m = 0;
      U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.IJROW, e.IJCOL,
                  &m, &k);
      U3_EBAL_PAT(R3_GROUPS(e, s), e.IJROW, e.IJCOL, &m, &k);
      break;
    case r3::KODE_RESID:
      U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.Y, e.F, &m);
      U3_EBAL_RES(R3_GROUPS(e, s), e.Y, e.F, &m);
      break;
    case r3::KODE_JACOB:
      U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.Y, e.DFDY, &k);
      U3_EBAL_JAC(R3_GROUPS(e, s), e.Y, e.DFDY, &k);
      break;
    default:
      return;
  }
  pressure_row(e, s, *e.KODE, m, k);
}

}  // namespace

R3_DEFINE_ENTRY(R3TEST_PASS, pass_through)
R3_DEFINE_ENTRY(R3TEST_MIX, heated_mixer)

namespace r3::test {
namespace {

class HostBlocks : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"N2", "H2O"}); }
};

TEST_F(HostBlocks, PassThroughBlockOnTheStreamEquations) {
  host::Block b("V1", R3TEST_PASS);
  b.matin = {"IN"};
  b.matout = {"OUT"};
  b.ipropset = 1;
  b.connect_streams();
  ASSERT_TRUE(b.set_material_inlet(0, {0.2, 0.8}, 350.0, 2.0e5));
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_EQ(b.ny, 10);
  EXPECT_EQ(b.nf, 5);
  EXPECT_EQ(b.nz, 10);
  EXPECT_EQ(b.eqn_name(4), "V1.SBAL_ENTHALPY");
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(b.fixed(i));
  for (int i = 6; i <= 10; ++i) EXPECT_FALSE(b.fixed(i));
  check_conformance(b);
  EXPECT_TRUE(messages().empty());
}

TEST_F(HostBlocks, HeatedMixerOnTheMaterialAndEnergyBalances) {
  host::Block b("M1", R3TEST_MIX);
  b.matin = {"A", "B"};
  b.infin = {"Q"};
  b.matout = {"C"};
  b.ipropset = 1;
  b.connect_streams();
  ASSERT_TRUE(b.set_material_inlet(0, {0.2, 0.8}, 350.0, 2.0e5));
  ASSERT_TRUE(b.set_material_inlet(1, {0.5, 0.1}, 300.0, 2.0e5));
  b.set_info_inlet(0, 5.0e5);
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_EQ(b.ny, 16);
  EXPECT_EQ(b.nf, 5);
  EXPECT_EQ(b.nz, 9 + 7 + 2);
  EXPECT_EQ(b.eqn_name(4), "M1.EBAL");
  EXPECT_EQ(b.var_name(11), "Q.VALUE");
  check_conformance(b);
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace r3::test
