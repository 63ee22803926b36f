// Two small blocks built only from the host's stream operations, run through
// the conformance harness in several shapes and checked by hand: a
// pass-through block on the stream equations (as the valve uses them) and a
// heated mixer on the material and energy balances.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
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

// The pass-through block on the stream equations or the heated mixer on the
// balances (all components, the total flow), each with the pressure row.
void host_block(Entry& e, bool mix) {
  Setup s;
  if (!setup(e, s)) return;
  int32_t m = 0, k = 0, sel = -1;
  switch (*e.KODE) {
    case r3::KODE_DIMEN:
      *e.NY = s.nstream;
      *e.NF = 1;
      *e.NZ = 2;
      if (!mix) {
        U3SNF(R3_GROUPS(e, s), e.NF);
        U3SNNZ(R3_GROUPS(e, s), e.NZ);
        return;
      }
      U3_MBAL_NF(&s.ncomp, &sel, e.NF);
      U3_MBAL_NZ(e.NMATIN, e.NMATOUT, &s.ncomp, &sel, e.NZ);
      U3_EBAL_NF(R3_GROUPS(e, s), e.NF);
      U3_EBAL_NZ(R3_GROUPS(e, s), e.NZ);
      return;
    case r3::KODE_NAMES:
      U3SVL(R3_GROUPS(e, s), e.IDBLK, e.LNAME, e.VARNAM);
      if (!mix) U3SEL(R3_GROUPS(e, s), RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
      if (mix) {
        U3_MBAL_NAM(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, RXN_IBLKID,
                    e.LNAME, e.EQNNAM, &m);
        U3_EBAL_NAM(R3_GROUPS(e, s), RXN_IBLKID, e.LNAME, e.EQNNAM, &m);
      }
      break;
    case r3::KODE_INIT:
      map_streams(e, s);
      if (!mix) U3SETF(R3_GROUPS(e, s), e.FSCL, &m);
      if (mix) U3_MBAL_SCL(&s.ncomp, &sel, e.FSCL, &m);
      if (mix) U3_EBAL_SCL(R3_GROUPS(e, s), e.FSCL, &m);
      m = 0;
      if (!mix) U3SPAT(R3_GROUPS(e, s), e.IJROW, e.IJCOL, &m, &k);
      if (mix) {
        U3_MBAL_PAT(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.IJROW,
                    e.IJCOL, &m, &k);
        U3_EBAL_PAT(R3_GROUPS(e, s), e.IJROW, e.IJCOL, &m, &k);
      }
      break;
    case r3::KODE_RESID:
      if (!mix) U3SRES(R3_GROUPS(e, s), e.Y, e.F, &m);
      if (mix)
        U3_MBAL_RES(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.Y, e.F, &m);
      if (mix) U3_EBAL_RES(R3_GROUPS(e, s), e.Y, e.F, &m);
      break;
    case r3::KODE_JACOB:
      if (!mix) U3SJAC(R3_GROUPS(e, s), e.Y, e.DFDY, &k);
      if (mix)
        U3_MBAL_JAC(e.NMATIN, e.NMATOUT, s.dmatin, s.dmatout, &s.ncomp, s.idx, &sel, e.Y, e.DFDY,
                    &k);
      if (mix) U3_EBAL_JAC(R3_GROUPS(e, s), e.Y, e.DFDY, &k);
      break;
    default:
      return;
  }
  pressure_row(e, s, *e.KODE, m, k);
}

void pass_through(Entry& e) {
  host_block(e, false);
}
void heated_mixer(Entry& e) {
  host_block(e, true);
}

}  // namespace

R3_DEFINE_ENTRY(R3TEST_PASS, pass_through)
R3_DEFINE_ENTRY(R3TEST_MIX, heated_mixer)

namespace r3::test {
namespace {

using ::testing::ElementsAre;

// A block on one of the entries above with streams A, B (material in), Q (heat
// in), C, D, E (material out) and W (heat out), as many of each as asked.
struct Shape {
  bool mixer;
  int nin, ninfi, nout, ninfo;
};

void build(host::Block& b, const Shape& s) {
  b.matin.assign({"A", "B"});
  b.matin.resize(static_cast<size_t>(s.nin));
  b.infin.assign(static_cast<size_t>(s.ninfi), "Q");
  b.matout.assign({"C", "D", "E"});
  b.matout.resize(static_cast<size_t>(s.nout));
  b.infout.assign(static_cast<size_t>(s.ninfo), "W");
  b.ipropset = 1;
  b.connect_streams();
  ASSERT_TRUE(b.set_material_inlet(0, {0.2, 0.8}, 350.0, 2.0e5));
  ASSERT_TRUE(s.nin < 2 || b.set_material_inlet(1, {0.5, 0.1}, 300.0, 2.0e5));
  if (s.ninfi > 0) b.set_info_inlet(0, 5.0e5);
  if (s.ninfo > 0) b.sinfout[0] = 2.0e5;
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
}

class HostBlocks : public ::testing::TestWithParam<Shape> {
 protected:
  void SetUp() override { reset_host({"N2", "H2O"}); }
};

// The stream equations (one outlet as the valve uses them, and mixing), the
// material balances (one and three outlets), the energy balance (heat in and out).
TEST_P(HostBlocks, Conform) {
  host::Block b("B1", GetParam().mixer ? R3TEST_MIX : R3TEST_PASS);
  build(b, GetParam());
  check_conformance(b);
  EXPECT_EQ(b.fscl[3], 1.0e8);  // the fourth row balances enthalpy or energy
  EXPECT_TRUE(messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Host, HostBlocks,
                         ::testing::Values(Shape{false, 1, 0, 1, 0}, Shape{false, 2, 1, 1, 0},
                                           Shape{true, 2, 1, 1, 0}, Shape{true, 2, 1, 1, 1},
                                           Shape{true, 2, 0, 3, 0}));

TEST_F(HostBlocks, StreamEquationsBalanceComponentsTotalFlowAndEnthalpy) {
  host::Block b("V1", R3TEST_PASS);
  build(b, {false, 1, 0, 1, 0});
  EXPECT_EQ(b.ny, 10);  // y: inlet A (1..5), outlet C (6..10)
  EXPECT_EQ(b.nf, 5);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(b.fixed(i), i <= 5) << i;
  std::vector<std::string> names;
  for (int i = 1; i <= 4; ++i) names.push_back(b.eqn_name(i));
  EXPECT_THAT(names, ElementsAre("V1.SBAL_N2", "V1.SBAL_H2O", "V1.SBAL_TOTAL", "V1.SBAL_ENTHALPY"));
  EXPECT_THAT(std::vector<double>(b.fscl.begin(), b.fscl.begin() + 4),
              ElementsAre(1.0, 1.0, 1.0, 1.0e8));
  // The outlet equal to the inlet satisfies the equations; the pressure is free.
  std::vector<double> y = {1.0, 0.25, 1.0, -2.0e8, 2.0e5, 1.0, 0.25, 1.0, -2.0e8, 1.0e5};
  EXPECT_THAT(residuals_at(b, y), ElementsAre(0.0, 0.0, 0.0, 0.0, -9.0e4));
  y[7] = 0.75;  // less water out
  y[8] = -1.99e8;
  EXPECT_THAT(residuals_at(b, y), ElementsAre(0.0, 0.25, 0.0, -1.0e6, -9.0e4));
}

TEST_F(HostBlocks, HeatedMixerBalancesMaterialAndEnergy) {
  host::Block b("M1", R3TEST_MIX);
  build(b, {true, 2, 1, 1, 1});
  EXPECT_EQ(b.ny, 17);  // y: A (1..5), B (6..10), Q (11), C (12..16), W (17)
  EXPECT_EQ(b.nf, 5);
  EXPECT_EQ(b.nz, 9 + 8 + 2);
  std::vector<std::string> names;
  for (int i = 1; i <= 4; ++i) names.push_back(b.eqn_name(i));
  EXPECT_THAT(names, ElementsAre("M1.MBAL_N2", "M1.MBAL_H2O", "M1.MBAL_TOTAL", "M1.EBAL"));
  EXPECT_EQ(b.var_name(11), "Q.VALUE");
  // The energy balance by hand: flows times molar enthalpies in, heat in, out.
  std::vector<double> y = b.y;
  for (size_t j = 0; j < y.size(); ++j) y[j] *= 1.0 + 0.01 * static_cast<double>(j);
  const double expected = y[0] * y[3] + y[5] * y[8] + y[10] - y[11] * y[14] - y[16];
  EXPECT_NEAR(residuals_at(b, y)[3], expected, 1e-9 * std::fabs(y[10]));
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace r3::test
