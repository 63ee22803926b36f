// Energy balance, stream equations, stream mapping, material-balance names and
// pattern, names from stream identifiers, and the block tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/host_tables.h"
#include "host/services/names.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

using host::kRmiss;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Descriptors of a block with the given stream counts (identifiers M1.., Q1..,
// P1.., R1..), built by the host.
struct Streams {
  int32_t nmi, nii, nmo, nio;
  int32_t dmi[16], dii[16], dmo[16], dio[16];
  int32_t ny = 0;
  int32_t nc = 0;
  Streams(int32_t a, int32_t b, int32_t c, int32_t d) : nmi(a), nii(b), nmo(c), nio(d) {
    nc = host::run().ncomp();
    std::vector<int32_t> idx(static_cast<size_t>(nc));
    for (int i = 0; i < nc; ++i) idx[static_cast<size_t>(i)] = i + 1;
    auto ids = [](const char* p, int n) {
      std::vector<int32_t> w(2 * static_cast<size_t>(std::max(n, 1)));
      for (int i = 0; i < n; ++i) {
        std::string name = p;  // appended: GCC 12 -Wrestrict false positive on p + string
        host::text_to_words(name += std::to_string(i + 1), w.data() + 2 * i, 2);
      }
      return w;
    };
    auto wmi = ids("M", a), wii = ids("Q", b), wmo = ids("P", c), wio = ids("R", d);
    int32_t nsstrm = 1, isstyp = 1, istat = 0;
    U3SDESC1(&nmi, &nii, &nmo, &nio, &nsstrm, &isstyp, &nc, idx.data(), wmi.data(), wii.data(),
             wmo.data(), wio.data(), &istat, dmi, dii, dmo, dio);
    EXPECT_EQ(istat, 0);
    U3SNY(&nmi, &nii, &nmo, &nio, dmi, dii, dmo, dio, &ny);
  }
};

// A point with distinct, realistic values: flows about 1, enthalpies about
// -2e8, pressures about 1e6, heat streams about 1e6.
std::vector<double> point(const Streams& s, double shift) {
  std::vector<double> y(static_cast<size_t>(s.ny));
  const int per = s.nc + 3;
  size_t j = 0;
  auto material = [&](int n) {
    for (int k = 0; k < n; ++k) {
      for (int v = 0; v < per; ++v) {
        const double base = v <= s.nc ? 0.5 + 0.1 * v : (v == s.nc + 1 ? -2.0e8 : 1.0e6);
        y[j++] = base * (1.0 + 0.03 * (k + 1) + shift);
      }
    }
  };
  auto info = [&](int n) {
    for (int k = 0; k < n; ++k) y[j++] = 1.0e6 * (1.0 + 0.2 * k + shift);
  };
  material(s.nmi);
  info(s.nii);
  material(s.nmo);
  info(s.nio);
  return y;
}

// Compares an analytic Jacobian with central differences of a residual
// function, entry by entry (summed per row and column), in scaled terms.
void expect_jacobian(const std::function<std::vector<double>(const std::vector<double>&)>& res,
                     const std::vector<double>& y0, const std::vector<int32_t>& row,
                     const std::vector<int32_t>& col, const std::vector<double>& jac, int32_t nf) {
  std::map<std::pair<int, int>, double> a;
  for (size_t k = 0; k < jac.size(); ++k) a[{row[k], col[k]}] += jac[k];
  std::vector<double> y = y0;
  for (size_t j = 0; j < y.size(); ++j) {
    const double h = 1e-6 * std::max(std::fabs(y0[j]), 1.0);
    y[j] = y0[j] + h;
    const std::vector<double> fp = res(y);
    y[j] = y0[j] - h;
    const std::vector<double> fm = res(y);
    y[j] = y0[j];
    for (int i = 1; i <= nf; ++i) {
      const double num =
          (fp[static_cast<size_t>(i - 1)] - fm[static_cast<size_t>(i - 1)]) / (2 * h);
      auto it = a.find({i, static_cast<int>(j) + 1});
      const double ana = it == a.end() ? 0.0 : it->second;
      EXPECT_NEAR(ana, num, 1e-6 * std::max(1.0, std::fabs(num)))
          << "row " << i << " column " << j + 1;
    }
  }
}

std::vector<std::string> slots(const std::vector<char>& names, int32_t lname) {
  std::vector<std::string> out;
  const size_t w = 4 * static_cast<size_t>(lname);
  for (size_t i = 0; i + w <= names.size(); i += w)
    out.push_back(host::trim({names.data() + i, w}));
  return out;
}

int32_t block_id[2];

class Balances : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_host({"N2", "H2O"});
    host::text_to_words("B1", block_id, 2);
  }
};

// --- Energy balance ------------------------------------------------------------

TEST_F(Balances, EnergyBalanceRowWithHeatStreams) {
  const Streams s(2, 1, 1, 1);
  int32_t nf = 3, nz = 5;  // counts are added to
  U3_EBAL_NF(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nf);
  U3_EBAL_NZ(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nz);
  EXPECT_EQ(nf, 4);
  EXPECT_EQ(nz, 5 + 2 * 3 + 2);

  int32_t lname = 8, m = 1;
  std::vector<char> names(2 * 32, ' ');
  U3_EBAL_NAM(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, block_id, &lname,
              names.data(), &m);
  EXPECT_EQ(m, 2);
  EXPECT_THAT(slots(names, lname), ElementsAre("", "B1.EBAL"));

  std::vector<double> fscl = {7.0, kRmiss};
  m = 0;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  fscl[0] = kRmiss;
  fscl[1] = 3.0;
  m = 0;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  m = 1;
  U3_EBAL_SCL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, fscl.data(), &m);
  EXPECT_THAT(fscl, ElementsAre(1.0e8, 3.0));  // only a missing scale is written

  // Pattern: row 2 (one row after the running count 1), F and H of each
  // material stream, the heat streams, inlets before outlets.
  const int per = s.nc + 3;  // 5
  std::vector<int32_t> row(8), col(8);
  m = 1;
  int32_t k = 0;
  U3_EBAL_PAT(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, row.data(), col.data(),
              &m, &k);
  EXPECT_EQ(m, 2);
  EXPECT_EQ(k, 8);
  EXPECT_THAT(row, ElementsAre(2, 2, 2, 2, 2, 2, 2, 2));
  const int q1 = 2 * per + 1, p1 = q1 + 1, r1 = p1 + per;
  EXPECT_THAT(col, ElementsAre(1, 4, per + 1, per + 4, q1, p1, p1 + 3, r1));

  // Residual: the balance by hand.
  const std::vector<double> y = point(s, 0.0);
  auto at = [&](int pos) { return y[static_cast<size_t>(pos - 1)]; };
  const double expected =
      at(1) * at(4) + at(per + 1) * at(per + 4) + at(q1) - at(p1) * at(p1 + 3) - at(r1);
  auto residual = [&](const std::vector<double>& yy) {
    std::vector<double> f(1, 0.0);
    int32_t mm = 0;
    U3_EBAL_RES(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, yy.data(), f.data(),
                &mm);
    EXPECT_EQ(mm, 1);
    return f;
  };
  EXPECT_NEAR(residual(y)[0], expected, 1e-6 * std::fabs(expected));

  std::vector<double> jac(8);
  k = 0;
  U3_EBAL_JAC(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, y.data(), jac.data(), &k);
  EXPECT_EQ(k, 8);
  for (int32_t& r : row) r -= 1;  // the row as its own one-row block
  expect_jacobian(residual, y, row, col, jac, 1);
}

// --- Stream equations -------------------------------------------------------------

struct Equations {
  int32_t nf = 0, nz = 0;
  std::vector<int32_t> row, col;
  std::vector<double> fscl;
  std::vector<std::string> names;
};

Equations stream_equations(const Streams& s) {
  Equations e;
  U3SNF(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &e.nf);
  U3SNNZ(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &e.nz);
  e.row.assign(static_cast<size_t>(e.nz), 0);
  e.col.assign(static_cast<size_t>(e.nz), 0);
  int32_t m = 0, k = 0;
  U3SPAT(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, e.row.data(), e.col.data(), &m,
         &k);
  EXPECT_EQ(m, e.nf);
  EXPECT_EQ(k, e.nz);
  e.fscl.assign(static_cast<size_t>(e.nf), kRmiss);
  m = 0;
  U3SETF(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, e.fscl.data(), &m);
  EXPECT_EQ(m, e.nf);
  int32_t lname = 8;
  std::vector<char> nam(static_cast<size_t>(e.nf) * 32, ' ');
  m = 0;
  U3SEL(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, block_id, &lname, nam.data(),
        &m);
  EXPECT_EQ(m, e.nf);
  e.names = slots(nam, lname);
  return e;
}

std::vector<double> stream_residuals(const Streams& s, const std::vector<double>& y, int32_t nf) {
  std::vector<double> f(static_cast<size_t>(nf), NAN);
  int32_t m = 0;
  U3SRES(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, y.data(), f.data(), &m);
  EXPECT_EQ(m, nf);
  return f;
}

std::vector<double> stream_jacobian(const Streams& s, const std::vector<double>& y, int32_t nz) {
  std::vector<double> j(static_cast<size_t>(nz), NAN);
  int32_t k = 0;
  U3SJAC(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, y.data(), j.data(), &k);
  EXPECT_EQ(k, nz);
  return j;
}

TEST_F(Balances, ValveStreamEquationsBalanceComponentsTotalFlowAndEnthalpy) {
  const Streams s(1, 0, 1, 0);  // y: M1 (1..5), P1 (6..10)
  const Equations e = stream_equations(s);
  EXPECT_EQ(e.nf, 4);  // 2 components, total flow, enthalpy
  EXPECT_EQ(e.nz, 3 * 2 + 2);
  EXPECT_THAT(e.names,
              ElementsAre("B1.SBAL_N2", "B1.SBAL_H2O", "B1.SBAL_TOTAL", "B1.SBAL_ENTHALPY"));
  EXPECT_THAT(e.row, ElementsAre(1, 1, 2, 2, 3, 3, 4, 4));
  EXPECT_THAT(e.col, ElementsAre(2, 7, 3, 8, 1, 6, 4, 9));
  EXPECT_THAT(e.fscl, ElementsAre(1.0, 1.0, 1.0, 1.0e8));

  // The outlet equal to the inlet satisfies the equations; the pressure is free.
  std::vector<double> y = point(s, 0.0);
  for (int v = 0; v < 4; ++v) y[static_cast<size_t>(5 + v)] = y[static_cast<size_t>(v)];
  y[9] = 0.5 * y[4];
  for (double f : stream_residuals(s, y, e.nf)) EXPECT_EQ(f, 0.0);
  y[7] -= 0.25;  // less water out
  y[8] += 1.0e6;
  EXPECT_THAT(stream_residuals(s, y, e.nf), ElementsAre(0.0, 0.25, 0.0, -1.0e6));

  const std::vector<double> y1 = point(s, 0.1);
  expect_jacobian([&](const std::vector<double>& yy) { return stream_residuals(s, yy, e.nf); }, y1,
                  e.row, e.col, stream_jacobian(s, y1, e.nz), e.nf);
}

TEST_F(Balances, MixingStreamEquationsUseTheFlowWeightedEnergyBalance) {
  const Streams s(2, 1, 1, 0);
  const Equations e = stream_equations(s);
  EXPECT_EQ(e.nf, 4);
  EXPECT_EQ(e.nz, 3 * 3 + 2 * 3 + 1);
  EXPECT_EQ(e.fscl.back(), 1.0e8);
  const std::vector<double> y = point(s, 0.05);
  expect_jacobian([&](const std::vector<double>& yy) { return stream_residuals(s, yy, e.nf); }, y,
                  e.row, e.col, stream_jacobian(s, y, e.nz), e.nf);
  // Heat streams alone give no stream equations (nothing to balance).
  const Streams none(0, 1, 0, 1);
  const Equations n = stream_equations(none);
  EXPECT_EQ(n.nf, 0);
  EXPECT_EQ(n.nz, 0);
}

// --- Mapping streams into Y ---------------------------------------------------------

TEST_F(Balances, StreamMappingFillsValuesDefaultsTypesAndFixesInletsInSequentialMode) {
  const Streams s(1, 0, 1, 0);
  const int32_t ncf = 2, lstrm = ncf + 9;
  std::vector<double> in(static_cast<size_t>(lstrm), kRmiss), out;
  in[0] = 0.3;     // N2
  in[1] = 0.7;     // H2O
  in[2] = 1.0;     // total
  in[3] = 400.0;   // T
  in[4] = 2.0e5;   // P
  in[5] = -1.0e7;  // mass enthalpy
  in[10] = 20.0;   // MW
  out = in;
  out[4] = kRmiss;  // no outlet pressure
  const int n = s.ny;
  std::vector<double> y(static_cast<size_t>(n), kRmiss), lb = y, ub = y, scl = y, sb = y;
  std::vector<int32_t> attr(static_cast<size_t>(n), 0);
  y[9] = 1.5e5;  // outlet pressure already in Y
  lb[0] = -1.0;  // a user bound
  int32_t nsstrm = 1, isstyp = 1, imode = 0;
  U3SPTX(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nsstrm, nullptr, &isstyp,
         &lstrm, in.data(), nullptr, out.data(), nullptr, &imode, y.data(), lb.data(), ub.data(),
         scl.data(), sb.data(), attr.data());
  EXPECT_THAT(y, ElementsAre(1.0, 0.3, 0.7, -2.0e8, 2.0e5, 1.0, 0.3, 0.7, -2.0e8, 1.5e5));
  EXPECT_EQ(lb[0], -1.0);
  EXPECT_EQ(lb[5], 0.0);
  EXPECT_EQ(lb[4], 1.0);  // 1e-6 * pressure scale
  EXPECT_EQ(ub[3], 1.0e11);
  EXPECT_EQ(scl[4], 1.0e6);
  EXPECT_EQ(sb[1], 10.0);
  for (int j = 0; j < n; ++j) {
    const int v = j % 5;
    EXPECT_EQ(U3VGPT(&attr[static_cast<size_t>(j)]), v <= 2 ? 11 : (v == 3 ? 14 : 20));
    EXPECT_EQ(U3VFXD(&attr[static_cast<size_t>(j)]), j < 5 ? 1 : 0) << j;
  }
  // Simultaneous mode fixes nothing.
  std::vector<int32_t> attr1(static_cast<size_t>(n), 0);
  imode = 1;
  U3SPTX(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nsstrm, nullptr, &isstyp,
         &lstrm, in.data(), nullptr, out.data(), nullptr, &imode, y.data(), lb.data(), ub.data(),
         scl.data(), sb.data(), attr1.data());
  for (int32_t a : attr1) EXPECT_EQ(U3VFXD(&a), 0);
  // A stream vector too short for the run is refused, with nothing written.
  const int32_t short_len = 5;
  std::vector<double> y2(static_cast<size_t>(n), kRmiss);
  U3SPTX(&s.nmi, &s.nii, &s.nmo, &s.nio, s.dmi, s.dii, s.dmo, s.dio, &nsstrm, nullptr, &isstyp,
         &short_len, in.data(), nullptr, out.data(), nullptr, &imode, y2.data(), nullptr, nullptr,
         nullptr, nullptr, nullptr);
  for (double v : y2) EXPECT_EQ(v, kRmiss);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("U3SPTX: the stream vector length 5")));
}

// --- Material balances: names and pattern for 2 inlets and 3 outlets ------------------

TEST_F(Balances, MaterialBalanceNamesAndPatternTwoInletsThreeOutlets) {
  const Streams s(2, 0, 3, 0);
  const int32_t idx[2] = {1, 2};
  int32_t sel = -1, nf = 0, nz = 0;
  U3_MBAL_NF(&s.nc, &sel, &nf);
  U3_MBAL_NZ(&s.nmi, &s.nmo, &s.nc, &sel, &nz);
  EXPECT_EQ(nf, 3);
  EXPECT_EQ(nz, 15);
  int32_t lname = 8, m = 0, k = 0;
  std::vector<char> nam(3 * 32, ' ');
  U3_MBAL_NAM(&s.nmi, &s.nmo, s.dmi, s.dmo, &s.nc, idx, &sel, block_id, &lname, nam.data(), &m);
  EXPECT_THAT(slots(nam, lname), ElementsAre("B1.MBAL_N2", "B1.MBAL_H2O", "B1.MBAL_TOTAL"));
  std::vector<int32_t> row(15), col(15);
  m = 0;
  U3_MBAL_PAT(&s.nmi, &s.nmo, s.dmi, s.dmo, &s.nc, idx, &sel, row.data(), col.data(), &m, &k);
  EXPECT_EQ(m, 3);
  EXPECT_EQ(k, 15);
  EXPECT_THAT(row, ElementsAre(1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3));
  // Streams of 5 variables: inlets at 1 and 6, outlets at 11, 16, 21.
  EXPECT_THAT(col, ElementsAre(2, 7, 12, 17, 22, 3, 8, 13, 18, 23, 1, 6, 11, 16, 21));
  // Selector 0: component balances only.
  sel = 0;
  nf = nz = 0;
  U3_MBAL_NF(&s.nc, &sel, &nf);
  U3_MBAL_NZ(&s.nmi, &s.nmo, &s.nc, &sel, &nz);
  EXPECT_EQ(nf, 2);
  EXPECT_EQ(nz, 10);
}

// --- Names from stream identifiers ------------------------------------------------------

TEST_F(Balances, NamesFromStreamIdentifierAndCode) {
  int32_t sid[2], lname = 8;
  host::text_to_words("S7", sid, 2);
  auto name = [&](auto op, int32_t code) {
    std::vector<char> slot(32, '#');
    op(block_id, sid, &code, &lname, slot.data());
    return host::trim({slot.data(), slot.size()});
  };
  EXPECT_EQ(name(U3SVID, 2), "S7.FLOW_H2O");
  EXPECT_EQ(name(U3SVID, -1), "S7.TOTAL_FLOW");
  EXPECT_EQ(name(U3SVID, -2), "S7.ENTHALPY");
  EXPECT_EQ(name(U3SVID, -3), "S7.PRESSURE");
  EXPECT_EQ(name(U3SVID, -4), "S7.VALUE");
  EXPECT_EQ(name(U3SVID, -5), "S7.VALUE");
  EXPECT_EQ(name(U3SEID, 1), "B1.BAL_S7.FLOW_N2");
  EXPECT_EQ(name(U3SEID, -2), "B1.BAL_S7.ENTHALPY");
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(name(U3SVID, 3), "S7.CODE_3");
  EXPECT_EQ(name(U3SEID, -6), "B1.BAL_S7.CODE_-6");
  EXPECT_THAT(
      messages(),
      ElementsAre(" U3SVID: code 3 for stream S7 is neither a component index nor -1 to -5.",
                  " U3SEID: code -6 for stream S7 is neither a component index nor -1 to -5."));
  // A slot is never written beyond 4*LNAME bytes.
  std::vector<char> slot(12, '#');
  int32_t small = 2, code = -1;
  U3SVID(block_id, sid, &code, &small, slot.data());
  EXPECT_EQ(std::string(slot.data(), 12), "S7.TOTAL####");
}

// --- Block tables and declared phases ---------------------------------------------------

TEST_F(Balances, BlockIndexNonZeroLimitsAndOutletPhases) {
  int32_t b2[2];
  host::text_to_words("B2", b2, 2);
  EXPECT_EQ(IU_FIABLK(block_id), 1);  // the first block the host meets
  EXPECT_EQ(host::register_block("B2"), 2);
  EXPECT_EQ(IU_FIABLK(b2), 2);
  EXPECT_EQ(IU_FIABLK(block_id), 1);
  int32_t i1 = 1, i2 = 2, v = -1, limit = 1200;
  U3BLK_INQ_MAXNZ(&i1, &v);
  EXPECT_EQ(v, 0);  // no limit yet
  U3BLK_SET_MAXNZ(&i1, &limit);
  U3BLK_INQ_MAXNZ(&i1, &v);
  EXPECT_EQ(v, 1200);
  U3BLK_INQ_MAXNZ(&i2, &v);
  EXPECT_EQ(v, 0);
  int32_t bad = -4;
  U3BLK_SET_MAXNZ(&i1, &bad);
  U3BLK_INQ_MAXNZ(&i1, &v);
  EXPECT_EQ(v, 1200);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("U3BLK_SET_MAXNZ")));

  const Streams s(1, 0, 2, 0);
  int32_t k2 = 2, liquid = 2, k3 = 3;
  U3_MSTRM_SET_KPH(s.dmo, &k2, &liquid);
  EXPECT_EQ(host::recorded_phase(2), 2);
  EXPECT_EQ(host::recorded_phase(1), 0);
  U3_MSTRM_SET_KPH(s.dmo, &k3, &liquid);  // no third outlet
  U3_MSTRM_SET_KPH(s.dmi, &k2, &liquid);  // not an outlet descriptor
  EXPECT_EQ(messages().size(), 2u);
  reset_host({"H2O"});
  EXPECT_EQ(host::recorded_phase(2), 0);
  EXPECT_EQ(IU_FIABLK(b2), 1);
}

}  // namespace
}  // namespace r3::test
