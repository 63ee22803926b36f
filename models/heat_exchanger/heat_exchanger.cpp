// R3HTUA entry: parameters, dimensions, names, initialisation structure,
// residuals, Jacobian and pattern, stream update.
//
// Equations: heat balance, duty through the transfer equation, Q = FUA*DTMEAN,
// FUA = F*U*A, the two end differences (counter- or co-current), the
// cube-root mean temperature difference, the two approach splits, the hot
// fall, the cold rise, the product of the end differences; with the bundle
// the effective area, the submerged fraction and the segment angle.
#include "models/heat_exchanger/heat_exchanger.h"

#include <cmath>
#include <string>
#include <string_view>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::heat_exchanger {

State& state() { return thread_state<State>(); }

namespace {

constexpr const char* kVarNames[kVarsBundle + 1] = {
    "",
    "T_HOT_IN",
    "T_HOT_OUT",
    "T_COLD_IN",
    "T_COLD_OUT",
    "T_APPR_MIN_HOT_IN",
    "T_APPR_VARY_HOT_IN",
    "T_APPR_MIN_HOT_OUT",
    "T_APPR_VARY_HOT_OUT",
    "T_APPR_PRODUCT",
    "Q_DUTY_HOT",
    "Q_DUTY_COLD",
    "Q_UA",
    "FUA",
    "FT",
    "U",
    "AREA",
    "DTMEAN",
    "DT_HOT_IN",
    "DT_HOT_OUT",
    "T_HOT_FALL",
    "T_COLD_RISE",
    "HTAREA",
    "LEVEL",
    "FAC",
    "THETA",
};

bool has_info(const Entry& e) { return *e.NINFI != 0; }
bool co_current(const State& st) { return st.ifldir == 1; }

// An integer parameter, 0 where the user left it unset.
int32_t param_or_zero(const Entry& e, int32_t pos) {
  const int32_t v = int_param(e, pos);
  return v == hs::imiss() ? 0 : v;
}

void number_variables(State& st) {
  st.offset = 0;
  for (int v = 1; v <= kVarsBundle; ++v) st.num[v] = v + st.offset;
}

// Parameters, scales and variable numbers, at every call before the request
// is looked at.
bool set_up(Entry& e, State& st) {
  U3HDR(e.INT, e.NINT, &st.h1, &st.h2, &st.h3, &st.i0, &st.r0);
  const int32_t p = st.i0;
  st.imode = param_or_zero(e, p);
  st.iprmst = param_or_zero(e, p + 1);
  st.irunmd = param_or_zero(e, p + 2);
  st.ifldir = param_or_zero(e, p + 3);
  st.inlsid = param_or_zero(e, p + 4);
  st.bundle = *e.NINT >= 9 && int_param(e, p + 5) == 1;
  st.real1 = real_param(e, st.r0);
  setup_block_id(e);
  double scales[7] = {};
  U3GSCL(scales);
  st.Ts = scales[1];
  st.Qs = scales[3];
  number_variables(st);
  return true;
}

// The explanation of a request refused because the host's arrays are smaller
// than the block's variables, equations or non-zeros (a block whose
// parameters changed after the dimension request).
void explain_sizes(Entry& e, State& st) {
  const int32_t unit = hs::message_unit();
  hs::write(unit, "");
  hs::write(unit, " !! R3HTUA: the block has " + std::to_string(st.nvar()) + " variables, " +
                      std::to_string(st.neq()) + " equations and " + std::to_string(st.nnz()) +
                      " non-zeros,");
  hs::write(unit, " but the host's arrays hold " + std::to_string(*e.NY) + ", " +
                      std::to_string(*e.NF) + " and " + std::to_string(*e.NZ) +
                      "; repeat the dimension request.");
}

void copy_values(const Entry& e, State& st) {
  for (int v = 1; v <= st.nvar(); ++v) st.val[v] = e.Y[st.num[v] - 1];
}

// --- Equations ----------------------------------------------------------------

double cube_root_half(double x) {
  if (x == 0.0) return 0.0;
  return 0.5 * std::copysign(std::pow(std::fabs(x), kThird), x);
}

// The exchanger's rows in their order (the bundle's three last), each with
// its name, scale, residual and derivatives.
void exchanger_rows(EquationWriter& w, const Entry& e, const State& st) {
  auto v = [&](int var) { return w.y(st.num[var]); };
  auto at = [&](int var, double d) { w.at(st.num[var], d); };
  const bool info = has_info(e);
  const bool co = co_current(st);
  const double D = State::Ds;
  w.row("HEAT_BALANCE", st.Qs,
        info ? v(Q_DUTY_HOT) - v(Q_DUTY_COLD) : v(Q_DUTY_HOT) + v(Q_DUTY_COLD));
  at(Q_DUTY_HOT, 1.0);
  at(Q_DUTY_COLD, info ? -1.0 : 1.0);
  const bool hot_side_in = info && st.inlsid == 0;
  w.row("DEFINE_QUA", st.Qs, hot_side_in ? v(Q_UA) - v(Q_DUTY_HOT) : v(Q_DUTY_HOT) + v(Q_UA));
  at(Q_UA, 1.0);
  at(Q_DUTY_HOT, hot_side_in ? -1.0 : 1.0);
  w.row("HEAT_TRANS_EQN", st.Qs, v(Q_UA) - v(FUA) * v(DTMEAN));
  at(Q_UA, 1.0);
  at(FUA, -v(DTMEAN));
  at(DTMEAN, -v(FUA));
  w.row("EFFECT_EQN", State::Us * State::As, v(FT) * v(U) * v(AREA) - v(FUA));
  at(FT, v(U) * v(AREA));
  at(U, v(AREA) * v(FT));
  at(AREA, v(FT) * v(U));
  at(FUA, -1.0);
  w.row(co ? "HOT_IN_DT_CO_CURRENT" : "HOT_IN_DT_COUNTER_CURRENT", D,
        v(DT_HOT_IN) - v(T_HOT_IN) + (co ? v(T_COLD_IN) : v(T_COLD_OUT)));
  at(DT_HOT_IN, 1.0);
  at(co ? T_COLD_IN : T_COLD_OUT, 1.0);
  at(T_HOT_IN, -1.0);
  w.row(co ? "HOT_OUT_DT_CO_CURRENT" : "HOT_OUT_DT_COUNTER_CURRENT", D,
        v(DT_HOT_OUT) - v(T_HOT_OUT) + (co ? v(T_COLD_OUT) : v(T_COLD_IN)));
  at(DT_HOT_OUT, 1.0);
  at(co ? T_COLD_OUT : T_COLD_IN, 1.0);
  at(T_HOT_OUT, -1.0);
  {
    w.row("MEAN_TEMP_DIFF", D, cube_root_mean(v(DT_HOT_IN), v(DT_HOT_OUT)) - v(DTMEAN));
    // d(s^3)/da = 0.5*s^2*|a|^(-2/3); the end difference is kept off zero
    // so that the entry stays finite when one end closes.
    const double a = v(DT_HOT_IN), b = v(DT_HOT_OUT);
    const double s = cube_root_half(a) + cube_root_half(b);
    double da = 0.0, db = 0.0;
    if (s != 0.0) {
      da = 0.5 * s * s * std::pow(std::fmax(std::fabs(a), kDtFloor), -kTwoThirds);
      db = 0.5 * s * s * std::pow(std::fmax(std::fabs(b), kDtFloor), -kTwoThirds);
    }
    at(DT_HOT_IN, da);
    at(DT_HOT_OUT, db);
    at(DTMEAN, -1.0);
  }
  w.row("HOT_IN_TEMP_APPROACH", D, v(T_APPR_MIN_HOT_IN) + v(T_APPR_VARY_HOT_IN) - v(DT_HOT_IN));
  at(T_APPR_MIN_HOT_IN, 1.0);
  at(T_APPR_VARY_HOT_IN, 1.0);
  at(DT_HOT_IN, -1.0);
  w.row("HOT_OUT_TEMP_APPROACH", D,
        v(T_APPR_MIN_HOT_OUT) + v(T_APPR_VARY_HOT_OUT) - v(DT_HOT_OUT));
  at(T_APPR_MIN_HOT_OUT, 1.0);
  at(T_APPR_VARY_HOT_OUT, 1.0);
  at(DT_HOT_OUT, -1.0);
  w.row("HOT_T_FALL", D, v(T_HOT_IN) - v(T_HOT_OUT) - v(T_HOT_FALL));
  at(T_HOT_IN, 1.0);
  at(T_HOT_OUT, -1.0);
  at(T_HOT_FALL, -1.0);
  w.row("COLD_T_RISE", D, v(T_COLD_OUT) - v(T_COLD_IN) - v(T_COLD_RISE));
  at(T_COLD_OUT, 1.0);
  at(T_COLD_IN, -1.0);
  at(T_COLD_RISE, -1.0);
  w.row("DEFINE_DTPROD", D * D, v(T_APPR_PRODUCT) - v(DT_HOT_IN) * v(DT_HOT_OUT));
  at(T_APPR_PRODUCT, 1.0);
  at(DT_HOT_IN, -v(DT_HOT_OUT));
  at(DT_HOT_OUT, -v(DT_HOT_IN));
  if (st.bundle) {
    w.row("DEFINE_AREA", State::As, v(AREA) - v(HTAREA) * v(FAC));
    at(AREA, 1.0);
    at(FAC, -v(HTAREA));
    at(HTAREA, -v(FAC));
    w.row("DEFINE_FAC", 10.0, (v(FAC) - 1.0) * kTwoPi10 + v(THETA) - std::sin(v(THETA)));
    at(FAC, kTwoPi10);
    at(THETA, 1.0 - std::cos(v(THETA)));
    w.row("DEFINE_THETA", 1.0, std::cos(v(THETA) / 2.0) + 1.0 - 2.0 * v(LEVEL));
    at(THETA, -0.5 * std::sin(v(THETA) / 2.0));
    at(LEVEL, -2.0);
  }
}

// The rows in one pass; the number of Jacobian entries written.
int32_t write_rows(Entry& e, const State& st, RowPass pass) {
  EquationWriter w(e, pass);
  exchanger_rows(w, e, st);
  return w.nonzeros();
}

// --- Defaults, bounds, scales ----------------------------------------------------

// Default bounds, scale and physical type of variable v at value y.
VariableDefaults limits(const State& st, int v, double y) {
  const double T = st.Ts, D = State::Ds, Q = st.Qs, A = State::As, Uc = State::Us;
  switch (v) {
    case T_HOT_IN:
    case T_HOT_OUT:
    case T_COLD_IN:
    case T_COLD_OUT:
      return {kTypeTemperature, std::fmin(y, 0.05000000074505806 * T), std::fmax(y, 5.0 * T), T};
    case T_APPR_MIN_HOT_IN:
    case T_APPR_MIN_HOT_OUT:
      return {kTypeTemperatureDifference, std::fmin(y, -T), std::fmax(y, T), D};
    case T_APPR_VARY_HOT_IN:
    case T_APPR_VARY_HOT_OUT:
      return {kTypeTemperatureDifference, 0.0, std::fmax(y, T), D};
    case T_APPR_PRODUCT:
      return {kTypeNone, 0.0, std::fmax(y, T * T), D * D};
    case Q_DUTY_HOT:
    case Q_DUTY_COLD:
    case Q_UA:
      return {kTypeHeatDuty, std::fmin(y, -10000.0 * Q), std::fmax(y, 10000.0 * Q), Q};
    case FUA: {
      // F*U*A of the initial values may lie below the usual floor (a zero
      // area given by the user): the bound then lets FUA reach it.
      const double fua0 = st.val[FT] * st.val[U] * st.val[AREA];
      const double lower = std::fmin(std::fmin(y, 0.0001 * A * Uc), fua0);
      return {kTypeHeatTransferProduct, lower, std::fmax(y, 10000.0 * A * Uc), A * Uc};
    }
    case FT:
      return {kTypeDimensionless, std::fmin(y, 0.01), std::fmax(y, 100.0), 1.0};
    case U:
      return {kTypeHeatTransferCoefficient, std::fmin(y, 0.001 * Uc), std::fmax(y, 1000.0 * Uc),
              Uc};
    case AREA:
    case HTAREA:
      return {kTypeArea, std::fmin(y, 0.0001 * A), std::fmax(y, 10000.0 * A), A};
    case LEVEL:
    case FAC:
      return {kTypeDimensionless, std::fmin(y, 0.0), std::fmax(y, 1.0), 1.0};
    case THETA:
      return {kTypeAngle, 0.0, kTwoPi10, 10.0};
    default:  // DTMEAN, DT_HOT_IN, DT_HOT_OUT, T_HOT_FALL, T_COLD_RISE
      return {kTypeTemperatureDifference, std::fmin(y, -T), std::fmax(y, T), D};
  }
}

void fill_defaults(Entry& e, const State& st) {
  for (int v = 1; v <= st.nvar(); ++v) {
    // The bounds widen to take in the starting value.
    const double y = e.Y[st.num[v] - 1];
    const double start = hs::is_missing(y) ? st.val[v] : y;
    block_variable_defaults(e, st.num[v], start, limits(st, v, start));
  }
}

// --- Requests -------------------------------------------------------------------

int32_t input_check(Entry& e, State& st) {
  return I3HCHK(st.imode, st.iprmst, st.irunmd, st.ifldir, st.inlsid, *e.NINFI, *e.NINFOUT);
}

void dimensions(Entry& e, State& st) {
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
  *e.NY = st.nvar();
  *e.NF = st.neq();
  *e.NZ = st.nnz();
}

void vnam(const Entry& e, std::string_view text, char* slot) {
  const int32_t len = static_cast<int32_t>(text.size());
  U3VNAM(e.IDBLK, text.data(), &len, e.LNAME, slot);
}

void names(Entry& e, State& st) {
  const int32_t lname = *e.LNAME;
  const bool info = has_info(e);
  for (int v = 1; v <= st.nvar(); ++v) {
    char* slot = name_slot(e.VARNAM, lname, st.num[v]);
    if (info && (v == Q_DUTY_HOT || v == Q_DUTY_COLD)) {
      // The duty variables are the heat streams' values: the inlet stream's
      // on the side the inlet heat comes from, the outlet stream's on the other.
      const bool inlet = (v == Q_DUTY_HOT) == (st.inlsid == 0);
      const int32_t count = inlet ? *e.NINFI : *e.NINFOUT;
      if (count >= 1) {
        const int32_t code = -4;
        U3SVID(e.IDBLK, inlet ? e.IDINFIN : e.IDINFOUT, &code, e.LNAME, slot);
        continue;
      }
    }
    vnam(e, kVarNames[v], slot);
  }
  write_rows(e, st, RowPass::Names);
  hand_over_names(e, st.nvar(), st.neq());
}

void initialise(Entry& e, State& st) {
  // The material stream passes through unchanged.
  if (*e.NMATIN == 1 && *e.NMATOUT == 1) U3SCPY(e.SMATIN, e.LSTRM, e.SMATOUT);
  // Variable numbers.
  number_variables(st);
  // Sequential-modular use fixes the duty that the inlet heat stream carries.
  if (*e.NINFI == 1 && st.imode == 0) {
    const int32_t j = st.num[st.inlsid == 0 ? Q_DUTY_HOT : Q_DUTY_COLD] - 1;
    U3FXV(&e.IYATTR[j]);
    e.Y[j] = e.SINFIN[0];
  }
  // Initial values.
  R3HTUA_START(e, st);
  // Values, bounds, step bounds, scales and types where missing.
  fill_defaults(e, st);
  // Equation scales, pattern and its size.
  write_rows(e, st, RowPass::Scales);
  *e.NZ = write_rows(e, st, RowPass::Pattern);
}

void stream_update(Entry& e, State& st) {
  copy_values(e, st);
  if (has_info(e)) {
    const double to_in = st.inlsid == 0 ? st.val[Q_DUTY_HOT] : st.val[Q_DUTY_COLD];
    const double to_out = st.inlsid == 0 ? st.val[Q_DUTY_COLD] : st.val[Q_DUTY_HOT];
    if (*e.NINFI >= 1) e.SINFIN[0] = to_in;
    if (*e.NINFOUT >= 1) e.SINFOUT[0] = to_out;
  }
  hs::solution_state() = hs::kSolutionWritten;
}

void check(Entry& e, State& st) {
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
  *e.ISTAT = I3HCHK(st.imode, st.iprmst, st.irunmd, st.ifldir, st.inlsid, *e.NINFI, *e.NINFOUT);
  if (*e.ISTAT != 0) return;
  number_variables(st);
  // The initial values need the block's variables in Y; before the
  // dimension request there are none to read.
  if (*e.NY >= st.nvar()) R3HTUA_START(e, st);
}

// The values the rows read are the block's variables in Y.
void residuals(Entry& e, State& st) {
  copy_values(e, st);
  write_rows(e, st, RowPass::Residuals);
}

void jacobian(Entry& e, State& st) {
  copy_values(e, st);
  write_rows(e, st, RowPass::Jacobian);
}

constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = input_check,
    .check_request = check,
    .counts = [](Entry&, State& st, int32_t& ny, int32_t& nf,
                 int32_t& nz) { ny = st.nvar(), nf = st.neq(), nz = st.nnz(); },
    .stream_update = stream_update,
    // Without the block's variables in Y the last values kept are reported.
    .report =
        [](Entry& e, State& st) {
          if (*e.NY >= st.nvar()) copy_values(e, st);
          R3HTUA_REPORT(st);
        },
    .refused = explain_sizes,
    .report_without_variables = true,
});

}  // namespace

double cube_root_mean(double a, double b) {
  const double s = cube_root_half(a) + cube_root_half(b);
  return s * s * s;
}

}  // namespace r3::heat_exchanger

R3_DEFINE_MODEL_ENTRY(R3HTUA, r3::heat_exchanger::state, r3::heat_exchanger::kHooks)
