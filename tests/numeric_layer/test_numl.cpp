// The numeric layer: user models solved with numerical derivatives, the
// comparisons, the non-zero reservation, the failure messages and the work
// areas released.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "host/numeric/fd.h"
#include "host/numeric/layers.h"
#include "tests/support/golden_text.h"
#include "tests/support/support.h"

extern "C" {
void R3NUML(R3_ENTRY_PARAMS);
void R3PUMP(R3_ENTRY_PARAMS);
void R3UMIX(R3_USER_PARAMS);
void R3UHEAT(R3_USER_PARAMS);
void R3UPDROP(R3_USER_PARAMS);
}

namespace r3::test {
namespace {

// A small user model: X - 2 = 0 and X*Y - 6 = 0, with switches for the
// faults the layer must survive. A larger block adds equations V_i = i.
struct Faults {
  bool wrong_jacobian = false;  // d PRODUCT / d X off by one
  bool negative_ny = false, negative_nf = false;
  bool fail_residuals = false;  // evaluation failure once perturbed
  bool no_pattern = false, fail_init = false;
  int32_t ny = 2, nf = 2;
};
Faults g_faults;
int32_t g_other_kode = 0;  // the last code the toy left to its default

void toy(Entry& e) {
  const Faults& f = g_faults;
  const auto name = [&](char* names, int32_t slot, std::string text) {
    // Names appended (GCC 12 reports a false -Wrestrict on "V" + string).
    if (slot > 2) text.append(std::to_string(slot));
    const int32_t len = static_cast<int32_t>(text.size());
    U3VNAM(e.IDBLK, text.c_str(), &len, e.LNAME, name_slot(names, *e.LNAME, slot));
  };
  switch (*e.KODE) {
    case KODE_DIMEN:
      *e.NY = f.negative_ny ? -1 : f.ny;
      *e.NF = f.negative_nf ? -1 : f.nf;
      *e.NZ = f.no_pattern ? 0 : 3 + (f.ny - 2);
      return;
    case KODE_NAMES:
      for (int32_t i = 1; i <= f.ny; ++i) name(e.VARNAM, i, i == 1 ? "X" : i == 2 ? "Y" : "V");
      for (int32_t i = 1; i <= f.nf; ++i)
        name(e.EQNNAM, i, i == 1 ? "FIX_X" : i == 2 ? "PRODUCT" : "E");
      return;
    case KODE_INIT:
      if (f.fail_init) {
        *e.ISTAT = 1;
        return;
      }
      for (int32_t i = 0; i < f.ny; ++i)
        e.Y[i] = e.YSCL[i] = 1.0, e.YLB[i] = -100.0, e.YUB[i] = 100.0, e.YSBND[i] = 10.0;
      for (int32_t i = 0; i < f.nf; ++i) e.FSCL[i] = 1.0;
      if (!f.no_pattern) {
        const int32_t rows[] = {1, 2, 2}, cols[] = {1, 1, 2};
        for (int32_t k = 0; k < 3; ++k) e.IJROW[k] = rows[k], e.IJCOL[k] = cols[k];
        for (int32_t i = 3; i <= f.ny; ++i) e.IJROW[i] = e.IJCOL[i] = i;
      }
      return;
    case KODE_RESID:
      if (f.fail_residuals && e.Y[0] != 1.0) {
        *e.IEVAL1 = 1;
        return;
      }
      e.F[0] = e.Y[0] - 2.0;
      e.F[1] = e.Y[0] * e.Y[1] - 6.0;
      for (int32_t i = 3; i <= f.nf; ++i) e.F[i - 1] = e.Y[i - 1] - i;
      return;
    case KODE_JACOB:
      e.DFDY[0] = 1.0;
      e.DFDY[1] = e.Y[1] + (f.wrong_jacobian ? 1.0 : 0.0);
      e.DFDY[2] = e.Y[0];
      for (int32_t i = 3; i <= f.ny; ++i) e.DFDY[i] = 1.0;
      return;
    default:
      g_other_kode = *e.KODE;
      return;
  }
}

}  // namespace
}  // namespace r3::test

R3_DEFINE_USER_MODEL(R3TOY, r3::test::toy)

namespace r3::test {
namespace {

class NumericLayer : public HostTest {
 protected:
  void SetUp() override {
    reset_host({"H2O"});
    host::reset_layers();
    g_faults = Faults{};
  }
};

// A numeric-layer block B1 wrapping the toy user model.
Block layer_block(int32_t deriv, int32_t check) {
  host::LayerConfig c;
  c.user_entry = reinterpret_cast<intptr_t>(R3TOY);
  c.derivatives = deriv;
  c.check = check;
  Block b("B1", R3NUML);
  b.ilayer = host::register_layer(c);
  b.connect_streams();
  return b;
}

// A user model named in a case resolves like any entry; the layer calls it
// with its own 80 arguments.
EntryFn user_entry(void (*f)(R3_USER_PARAMS)) {
  return reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(f));
}

// The example's user models (a mixer, a heater and a pipe) solved with
// numerical derivatives; their Jacobians at every example's initial point and
// solution are checked by r3sim check in the golden outputs.
TEST_F(NumericLayer, ExampleUserModelsSolveWithNumericalDerivatives) {
  CaseRun run =
      run_case(example_path("numl/mix_heat_drop.toml"), {{"R3NUML", R3NUML},
                                                         {"R3UMIX", user_entry(R3UMIX)},
                                                         {"R3UHEAT", user_entry(R3UHEAT)},
                                                         {"R3UPDROP", user_entry(R3UPDROP)}});
  ASSERT_EQ(run.outcome, host::Outcome::Solved) << run.error;
  for (auto& b : run.flowsheet->blocks()) check_conformance(*b);
  // The pipe: outlet pressure = first inlet pressure - heater drop - K F^2.
  EXPECT_NEAR(run.value("OUT.PRESSURE"), 3.0e5 - 1.0e4 - 2.0e4 * 1.0 * 1.0, 1e-6);
  // The heater closes its energy balance: F (h_out - h_in) = duty.
  EXPECT_NEAR(run.value("MIX.TOTAL_FLOW") * (run.value("HOT.ENTHALPY") - run.value("MIX.ENTHALPY")),
              1.5e6, 1e-3);
}

// A request the layer takes no part in, and a code that is no request,
// reach the user model as they came.
TEST_F(NumericLayer, HandsOnTheCodesItTakesNoPartIn) {
  Block b = layer_block(0, 0);
  for (int32_t kode : {int32_t{KODE_REPORT}, int32_t{57}}) {
    g_other_kode = 0;
    b.call(kode);
    EXPECT_EQ(g_other_kode, kode);
  }
}

// The comparisons name the wrong entry, d PRODUCT / d X, and nothing else
// (golden text numeric_layer/jacobian_check).
TEST_F(NumericLayer, JacobianCheckNamesTheWrongEntry) {
  g_faults.wrong_jacobian = true;
  Block b = layer_block(0, 3);
  ASSERT_EQ(b.prepare(), 0);
  Transcript t;
  t.heading("initialisation");
  t.add(messages());
  b.y = {2.0, 3.0};
  b.call(KODE_JACOB);
  t.heading("Jacobian at X 2, Y 3");
  t.add(messages());
  EXPECT_TRUE(matches_golden_text("numeric_layer/jacobian_check", t.lines));
  EXPECT_EQ(b.dfdy[1], 4.0);  // the analytic values stand (derivative source 0)
  EXPECT_EQ(host::pool_areas(), 0);
}

// The pump wrapped as a user model: its own pattern, a numerical Jacobian
// costing one evaluation per group of columns sharing no row, plus one.
TEST_F(NumericLayer, LibraryModelNumericalJacobianMatchesAndCostsGroupsPlusOne) {
  Block ref("P1", R3PUMP), lay("P1", R3NUML);
  host::LayerConfig c;
  c.user_entry = reinterpret_cast<intptr_t>(R3PUMP);
  c.derivatives = 1;
  lay.ilayer = host::register_layer(c);
  for (Block* b : {&ref, &lay}) {
    b->matin = {"FEED"};
    b->matout = {"PROD"};
    b->ints = {1, 1};
    b->ipropset = 1;
    b->connect_streams();
    ASSERT_TRUE(b->set_material_inlet(0, {1.0}, 300.0, 1.0e5));
    ASSERT_EQ(b->prepare(), 0);
  }
  ASSERT_EQ(lay.nz, ref.nz);
  lay.y = ref.y;
  ref.call(KODE_JACOB);
  host::reset_numeric_evaluations();
  lay.call(KODE_JACOB);
  const int64_t calls = host::numeric_evaluations();
  for (int k = 0; k < ref.nz; ++k) {
    const double a = ref.dfdy[k];
    EXPECT_NEAR(lay.dfdy[k], a, 1e-5 * std::fabs(a) + 1e-6 * std::fabs(ref.fscl[ref.ijrow[k] - 1]))
        << ref.eqn_name(ref.ijrow[k]) << " / " << ref.var_name(ref.ijcol[k]);
  }
  const host::numeric::Pattern p{std::vector<int>(ref.ijrow.begin(), ref.ijrow.begin() + ref.nz),
                                 std::vector<int>(ref.ijcol.begin(), ref.ijcol.begin() + ref.nz)};
  EXPECT_EQ(calls, static_cast<int64_t>(host::numeric::column_groups(ref.ny, p).size()) + 1);
  EXPECT_LT(calls, ref.ny + 1);
  EXPECT_EQ(host::pool_areas(), 0);
}

TEST_F(NumericLayer, ReservesNonZerosForADetectedPattern) {
  g_faults = Faults{.no_pattern = true, .ny = 10, .nf = 10};
  Block b = layer_block(2, 0);
  ASSERT_EQ(b.dimension(), 0);
  int32_t idblk[2];
  std::memcpy(idblk, "B1      ", 8);
  const int32_t iblk = IU_FIABLK(idblk);
  int32_t maxnz = 0;
  U3BLK_INQ_MAXNZ(&iblk, &maxnz);
  EXPECT_EQ(maxnz, 1000);  // 10 x 10 x 0.4 = 40, raised to 1000
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  ASSERT_EQ(b.initialise(), 0);
  EXPECT_EQ(b.nz, 11);  // the detected pattern
  check_conformance(b);
  EXPECT_EQ(host::pool_areas(), 0);
}

// Faults of the user model, at the request they hit: ISTAT, IEVAL1 and the
// error buffer's lines (golden text numeric_layer/failures).
TEST_F(NumericLayer, FailuresGiveTheirMessages) {
  const struct {
    const char* what;
    Faults faults;
    int32_t deriv, kode;
  } cases[] = {
      {"negative NY", {.negative_ny = true, .no_pattern = true}, 2, KODE_DIMEN},
      {"negative NF", {.negative_nf = true, .no_pattern = true}, 2, KODE_DIMEN},
      {"initialisation fails", {.fail_init = true}, 2, KODE_INIT},
      {"residuals fail, pattern detected", {.fail_residuals = true}, 2, KODE_INIT},
      {"residuals fail, numerical Jacobian", {.fail_residuals = true}, 1, KODE_JACOB},
  };
  Transcript t;
  for (const auto& c : cases) {
    t.heading(c.what);
    host::reset_layers();
    g_faults = Faults{};
    Block b = layer_block(c.deriv, 0);
    // Ready for the failing request: dimensioned and named, or also initialised.
    ASSERT_EQ(c.kode == KODE_DIMEN ? 0
              : c.kode == KODE_JACOB
                  ? b.prepare()
                  : static_cast<int32_t>(b.dimension() != 0 || b.call(KODE_NAMES) != 0),
              0);
    messages();
    g_faults = c.faults;
    b.ieval1 = 0;
    const int32_t istat = b.call(c.kode);
    t.add("istat " + std::to_string(istat) + ", ieval1 " + std::to_string(b.ieval1));
    t.add(messages());
    EXPECT_EQ(host::pool_areas(), 0);
  }
  EXPECT_TRUE(matches_golden_text("numeric_layer/failures", t.lines));
}

}  // namespace
}  // namespace r3::test
