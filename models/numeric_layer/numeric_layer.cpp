// R3NUML: the numeric layer. It wraps a user model, passes every request on
// to it, and, as the host configures the layer, replaces or checks the user
// model's sparsity pattern and Jacobian with numerical ones obtained by
// perturbation through the host's numeric services. The layer evaluates the
// user model's residuals whenever those services ask for them.
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "framework/dispatch.h"
#include "framework/host_services.h"

namespace r3::numeric_layer {
namespace {

// Work areas in the data manager's pool (handles, none when negative).
struct Work {
  int32_t h = -1;
  int32_t off = 0;
};

// The layer's saved data.
struct State {
  int32_t layer = 0;
  intptr_t user = 0;
  int32_t second = 0;
  int32_t deriv = 0, check = 0;
  int32_t cfg[6] = {};
  bool pattern_check = false, analytic_pattern = false, numerical_pattern = false;
  bool jacobian_check = false, analytic_jacobian = false, numerical_jacobian = false;
  Work ycopy, fwork, rowcopy, colcopy, jaccopy;
  int32_t task = 0, ierr = 0;
  int32_t scratch = 0;
  double tol[100] = {};
};

State& state() { return thread_state<State>(); }

double* reals(const Work& w) { return &DMS_PLEX[w.off - 1]; }
int32_t* ints(const Work& w) { return &DMS_IPLEX[w.off - 1]; }

bool allocate(Work& w, int32_t kind, int32_t size) {
  int32_t n = size > 0 ? size : 1;
  DMS_ALLOC6(&kind, &n, &w.h, &w.off);
  return w.h > 0 && w.off > 0;
}

void release(Work& w) {
  if (w.h > 0) DMS_FREE6(&w.h);
  w.h = -1;
  w.off = 0;
}

void release_all(State& st) {
  for (Work* w : {&st.ycopy, &st.fwork, &st.rowcopy, &st.colcopy, &st.jaccopy}) release(*w);
}

// A message through the data manager's gate into its error buffer.
void report(int32_t number, std::initializer_list<const char*> lines) {
  int32_t name[2];
  const int32_t len = 8, words = 2;
  IU_STR2I4("R3NUML  ", &len, name, &words);
  int32_t cls = 2, zero = 0, two = 2;
  if (DMS_IRRCHK(name, &cls, &number, &PPEXEC_USER[kPpexecDiagnosticLevel],
                 &DMS_GLOBAL[kGlobalGateLevel], &zero, &zero, &two) == 0) {
    return;
  }
  int line = 1;
  for (const char* l : lines) hs::errout_line(line++, l);
  int32_t n = static_cast<int32_t>(lines.size());
  DMS_ERRPRT(&n);
}

// Calls the user model with the 80 arguments: the layer's first 33 as
// received, the second value in place of the layer identifier, 35-72 as
// received (with the request code, the variables and the residuals given
// here), seven words addressing the layer's scratch integer, and the status.
void call_user(const Entry& e, State& st, int32_t* kode, double* y, double* f) {
  void* a[80] = {e.NMATIN, e.SMATIN, e.NINFI, e.SINFIN, e.NMATOUT, e.SMATOUT, e.NINFOUT,
                 e.SINFOUT, e.IDMATIN, e.IDINFIN, e.IDMATOUT, e.IDINFOUT, e.LSTRM, e.NSSTRM,
                 e.ISSOFF, e.ISSTYP, e.NINT, e.INT, e.NREAL, e.REAL, e.IDBLK, e.A22, e.IPROPSET,
                 e.A24, e.A25, e.A26, e.A27, e.A28, e.A29, e.A30, e.A31, e.A32, e.A33,
                 &st.second, e.A35, e.A36, kode, e.NAUX1, e.NF, e.NY, e.NAUX2, e.NAUX3, y,
                 e.YLB, e.YUB, e.YSCL, e.YSBND, e.IYATTR, f, e.FSCL, e.A51, e.NZ, e.IJROW,
                 e.IJCOL, e.DFDY, e.A56, e.A57, e.A58, e.LNAME, e.A60, e.VARNAM, e.EQNNAM,
                 e.IDIAG, e.A64, e.A65, e.A66, e.A67, e.A68, e.IEVAL1, e.IEVAL2, e.A71, e.A72,
                 &st.scratch, &st.scratch, &st.scratch, &st.scratch, &st.scratch, &st.scratch,
                 &st.scratch, e.ISTAT};
  DMS_DOCALL(&st.user, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13], a[14], a[15], a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23], a[24], a[25], a[26], a[27], a[28], a[29], a[30], a[31], a[32], a[33], a[34], a[35], a[36], a[37], a[38], a[39], a[40], a[41], a[42], a[43], a[44], a[45], a[46], a[47], a[48], a[49], a[50], a[51], a[52], a[53], a[54], a[55], a[56], a[57], a[58], a[59], a[60], a[61], a[62], a[63], a[64], a[65], a[66], a[67], a[68], a[69], a[70], a[71], a[72], a[73], a[74], a[75], a[76], a[77], a[78], a[79]);
}

void call_user(const Entry& e, State& st) { call_user(e, st, e.KODE, e.Y, e.F); }

bool evaluation_failed(const Entry& e) { return *e.IEVAL1 != 0 || *e.IEVAL2 != 0; }

void configure(State& st) {
  U3NU_GET_PUBPAR(&st.layer, &st.deriv, &st.check, st.cfg);
  st.pattern_check = st.check == 1 || st.check == 3;
  st.analytic_pattern = st.deriv == 0 || st.deriv == 1;
  st.numerical_pattern = st.deriv == 2 || st.pattern_check;
  st.jacobian_check = (st.check == 2 || st.check == 3) && st.analytic_pattern;
  st.analytic_jacobian = st.deriv == 0;
  st.numerical_jacobian = !st.analytic_jacobian || st.jacobian_check;
  st.ycopy = st.fwork = st.rowcopy = st.colcopy = st.jaccopy = Work{};
}

// Reserves non-zeros for a pattern the layer will detect itself.
void reserve_nonzeros(const Entry& e) {
  const int64_t product = static_cast<int64_t>(*e.NY) * static_cast<int64_t>(*e.NF);
  const double estimate = static_cast<double>(product) * static_cast<double>(0.4f);
  int64_t n = static_cast<int64_t>(estimate);
  if (n <= 1000) n = 1000;
  if (n > INT32_MAX) n = INT32_MAX;
  int32_t reserve = static_cast<int32_t>(n);
  const int32_t iblk = IU_FIABLK(e.IDBLK);
  int32_t current = 0;
  U3BLK_INQ_MAXNZ(&iblk, &current);
  if (current > reserve) reserve = current;
  U3BLK_SET_MAXNZ(&iblk, &reserve);
}

void dimensions(Entry& e, State& st) {
  call_user(e, st);
  if (st.analytic_pattern) return;
  if (*e.NY < 0) {
    report(1, {"USER3 model failed toreturn dimensions", "Negative number of variables"});
    return;
  }
  if (*e.NF < 0) {
    report(1, {"USER3 model failed toreturn dimensions", "Negative Number of Equations"});
    return;
  }
  if (*e.NZ != 0) return;
  reserve_nonzeros(e);
}

// The two columns' labels of a comparison of numerical with analytic
// entries, in the host's packed form.
struct Labels {
  int32_t numeric[2], analytic[2];
};
Labels comparison_labels() {
  Labels l;
  const int32_t len = 8, words = 2;
  IU_STR2I4("Numeric ", &len, l.numeric, &words);
  IU_STR2I4("Analytic", &len, l.analytic, &words);
  return l;
}

// A numerical derivation by perturbation, as its failures are reported:
// what it computes, the host's routine that perturbs, and the report numbers
// of a failure of that routine and of the user model.
struct Derivation {
  const char* what;
  const char* routine;
  int32_t host_report, user_report;
};

// Runs a derivation: `step(y, f)` calls the host's routine with a copy of Y
// and a residual work vector until the routine asks for no more residuals
// (st.task other than 1); each request is answered by the user model's
// residuals at the perturbed point. A failure is reported and flagged in
// *status; false then.
template <class Step>
bool perturb(Entry& e, State& st, const Derivation& d, int32_t* status, Step step) {
  const std::string heading =
      std::string("An error occured during computation of the ") + d.what + ".";
  const std::string host_failed =
      std::string("Subroutine ") + d.routine + " could not complete normally.";
  auto fail = [&](int32_t number, const char* why) {
    report(number, {heading.c_str(), why});
    *status = 1;
    return false;
  };
  if (!allocate(st.ycopy, 1, *e.NY) || !allocate(st.fwork, 1, *e.NF)) {
    return fail(d.host_report, host_failed.c_str());
  }
  double* y = reals(st.ycopy);
  double* f = reals(st.fwork);
  for (int32_t i = 0; i < *e.NY; ++i) y[i] = e.Y[i];
  U3GPERTOL(st.tol);
  st.task = 0;
  st.ierr = 0;
  for (;;) {
    step(y, f);
    if (st.ierr != 0) return fail(d.host_report, host_failed.c_str());
    if (st.task != 1) return true;
    int32_t kode = KODE_RESID;
    call_user(e, st, &kode, y, f);
    if (evaluation_failed(e)) {
      return fail(d.user_report,
                  "Evaluation of the residuals by the user-supplied USER3 model failed.");
    }
  }
}

// The numerical pattern: the host perturbs, the layer evaluates.
bool numerical_pattern(Entry& e, State& st) {
  const int32_t iblk = IU_FIABLK(e.IDBLK);
  const Derivation d{"numeric sparsity pattern", "U3NPAT", 2, 3};
  return perturb(e, st, d, e.ISTAT, [&](double* y, double* f) {
    U3NPAT(e.NF, e.NY, y, e.YSCL, e.IYATTR, f, e.NZ, e.IJROW, e.IJCOL, st.tol, &st.cfg[0],
           &st.cfg[1], &st.cfg[2], &st.cfg[3], &st.scratch, &st.task, &st.ierr);
    int32_t maxnz = 0;
    U3BLK_INQ_MAXNZ(&iblk, &maxnz);
    if (maxnz != 0 && maxnz < *e.NZ) {
      report(2, {"An error occured during computation of the numeric sparsity pattern.",
                 "Number of non-zeros  exceeds the maximum"});
    }
  });
}

void initialise(Entry& e, State& st) {
  call_user(e, st);
  if (*e.ISTAT == 1) {
    report(1, {"Evaluation of the analytic sparsity pattern by the user-supplied",
               "USER3 model failed."});
    return;
  }
  int32_t kept_nz = 0;
  if (st.pattern_check) {
    int32_t ierr = 0;
    U3NU_CHK_PAT(e.NF, e.NY, e.NZ, e.IJROW, e.IJCOL, &ierr);
    if (ierr != 0) {
      *e.ISTAT = 1;
      return;
    }
    kept_nz = *e.NZ;
    if (!allocate(st.rowcopy, 2, kept_nz) || !allocate(st.colcopy, 2, kept_nz)) {
      *e.ISTAT = 1;
      release_all(st);
      return;
    }
    for (int32_t k = 0; k < kept_nz; ++k) {
      ints(st.rowcopy)[k] = e.IJROW[k];
      ints(st.colcopy)[k] = e.IJCOL[k];
    }
  }
  if (st.numerical_pattern && !numerical_pattern(e, st)) {
    release_all(st);
    return;
  }
  if (st.pattern_check) {
    const Labels l = comparison_labels();
    U3NU_CMP_PAT(e.NF, e.LNAME, e.VARNAM, e.EQNNAM, &kept_nz, ints(st.rowcopy),
                 ints(st.colcopy), l.numeric, l.analytic, e.NZ, e.IJROW, e.IJCOL);
    if (st.analytic_pattern) {
      *e.NZ = kept_nz;
      for (int32_t k = 0; k < kept_nz; ++k) {
        e.IJROW[k] = ints(st.rowcopy)[k];
        e.IJCOL[k] = ints(st.colcopy)[k];
      }
    }
  }
  if (st.numerical_jacobian) {
    int32_t old = -1;
    U3NU_GET_NBVGRP(&st.layer, &old);
    if (old >= 0) U3FGRP(&old);  // groups of an earlier initialisation
    int32_t handle = -1, ierr = 0;
    U3VGRP(e.NF, e.NY, e.NZ, e.IJROW, e.IJCOL, &handle, &ierr);
    if (ierr != 0) {
      report(4, {"An error occured during computation of the variable groups used to",
                 "evaluate the Jacobian numerically. Subroutine U3NJAC could not complete",
                 "normally."});
      if (handle >= 0) U3FGRP(&handle);
      int32_t none = -1;
      U3NU_PUT_NBVGRP(&st.layer, &none);
      *e.ISTAT = 1;
    } else {
      U3NU_PUT_NBVGRP(&st.layer, &handle);
    }
  }
  release_all(st);
}

// The numerical Jacobian: the host perturbs by variable groups, the layer
// evaluates.
bool numerical_jacobian(Entry& e, State& st) {
  int32_t handle = -1;
  U3NU_GET_NBVGRP(&st.layer, &handle);
  const Derivation d{"numeric Jacobian", "U3NJAC", 6, 7};
  return perturb(e, st, d, e.IEVAL1, [&](double* y, double* f) {
    U3NJAC(&handle, y, e.YSCL, e.IYATTR, f, e.IJCOL, st.tol, &st.cfg[0], e.DFDY, &st.task,
           &st.ierr);
  });
}

void jacobian(Entry& e, State& st) {
  if (st.analytic_jacobian || st.jacobian_check) {
    call_user(e, st);
    if (evaluation_failed(e)) {
      report(5, {"Evaluation of the analytic Jacobian by the user-supplied USER3 model failed."});
      *e.IEVAL1 = 1;
      return;
    }
  }
  if (st.jacobian_check) {
    if (!allocate(st.jaccopy, 1, *e.NZ)) {
      *e.IEVAL1 = 1;
      release_all(st);
      return;
    }
    for (int32_t k = 0; k < *e.NZ; ++k) reals(st.jaccopy)[k] = e.DFDY[k];
  }
  if (st.numerical_jacobian) {
    if (!numerical_jacobian(e, st)) {
      release_all(st);
      return;
    }
    if (st.jacobian_check) {
      const Labels l = comparison_labels();
      U3NU_CMP_JAC(e.LNAME, e.VARNAM, e.EQNNAM, e.NZ, e.IJROW, e.IJCOL, l.numeric, l.analytic,
                   reals(st.jaccopy), e.DFDY);
      if (st.analytic_jacobian) {
        for (int32_t k = 0; k < *e.NZ; ++k) e.DFDY[k] = reals(st.jaccopy)[k];
      }
    }
  }
  release_all(st);
}

// The user model this layer wraps; without one nothing can answer (ISTAT = 1).
bool set_up(Entry& e, State& st) {
  st.layer = *e.ILAYER;
  st.user = U3NU_GET_FPMODL(&st.layer);
  st.second = U3NU_GET_FPMDL1(&st.layer);
  if (st.user == 0) {
    *e.ISTAT = 1;
    return false;
  }
  return true;
}

// The requests the layer takes part in read the host's settings for the
// layer first.
template <void (*Request)(Entry&, State&)>
void configured(Entry& e, State& st) {
  configure(st);
  Request(e, st);
}

// Every other request, and every code that is none, goes to the user model
// as it came; the user model keeps its own counts, so the layer guards no
// array sizes.
void hand_on(Entry& e, State& st) { call_user(e, st); }

constexpr ModelHooks<State> kHooks{
    .set_up = set_up,
    .check_request = hand_on,
    .dimensions = configured<dimensions>,
    .names = hand_on,
    .initialise = configured<initialise>,
    .residuals = hand_on,
    .jacobian = configured<jacobian>,
    .stream_update = hand_on,
    .report = hand_on,
    .not_a_request = hand_on,
    .sizes = SizeRule::Own,
};

}  // namespace
}  // namespace r3::numeric_layer

R3_DEFINE_MODEL_ENTRY(R3NUML, r3::numeric_layer::state, r3::numeric_layer::kHooks)
