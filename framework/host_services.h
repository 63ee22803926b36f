// The host ABI: every host operation and shared area the models use.
//
// C linkage, upper-case names, every argument by address; integers are 32-bit,
// reals are doubles, texts handed with a length are blank-padded and never
// terminated. A comment gives each operation's argument order in one line
// where the order is the host's choice. The substitute host (host/) defines
// all of them; libr3models leaves them undefined and is resolved against the
// loading program.
//
// Below the raw declarations, namespace r3::hs holds thin typed wrappers that
// models call (named parameters, no logic of their own).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "framework/entry_protocol.h"

extern "C" {

// ---------------------------------------------------------------------------
// Shared host areas (arrays of 4-byte words).
// ---------------------------------------------------------------------------

// The substitute host keeps one set of areas per thread, the data manager's
// pool and its component tables (DMS_PLEX, DMS_IPOFF1) included, so that two
// flowsheets can be solved on two threads of one process (each thread sets
// its run up before its first call). A host that loads the Windows DLL calls
// its models from one thread and defines the areas once.
#if defined(_WIN32)
#define R3_SHARED_AREA
#define R3_POOL(type, name) type name[]
#else
#define R3_SHARED_AREA thread_local
// The pool is 8 MiB: as a thread-local array it would be taken out of every
// thread's stack, so each thread's pool is a heap area made at the thread's
// first use, reached through a thread-local pointer (indexed as the array).
#define R3_POOL(type, name) thread_local type* name
#endif

// Run-time area: words 1-2 RMISS (a double), 3 integer missing marker,
// 6 solution-state word, 8 diagnostic level, 9 property-service word,
// 11 message unit, 12 report unit, 13 second message unit.
inline constexpr int R3_PPEXEC_USER_WORDS = 64;
extern R3_SHARED_AREA int32_t PPEXEC_USER[R3_PPEXEC_USER_WORDS];
// Property-service base word handed to the property monitors (position 8).
extern R3_SHARED_AREA int32_t PPEXEC_KBASE[16];
// The current block identifier (8 characters in two words).
extern R3_SHARED_AREA int32_t RXN_IBLKID[2];
// Data manager: global integer table (words 6 and 8: message-gate levels,
// word 11: steam-table diagnostics), global real table (word 1: values at or
// above it count as missing; word 2: a default lower bound for pressure
// drops), component counts (word 1: components of a stream vector, word 12:
// the water component's index), file table (word 14: a report unit),
// offsets of component property tables in DMS_PLEX (word 306: molecular
// weights; word 413: normal boiling points), and the work pools.
extern R3_SHARED_AREA int32_t DMS_GLOBAL[64];
extern R3_SHARED_AREA double DMS_RGLOB[16];
extern R3_SHARED_AREA int32_t DMS_NCOMP[16];
extern R3_SHARED_AREA int32_t DMS_FLES[16];
// Indexes (from 0) of the words of these areas that the models read.
inline constexpr int kPpexecDiagnosticLevel = 7;  // PPEXEC_USER word 8
inline constexpr int kPpexecSolutionState = 5;    // PPEXEC_USER word 6
inline constexpr int kPpexecPropertyWord = 8;     // PPEXEC_USER word 9
inline constexpr int kRglobMissingFrom = 0;       // DMS_RGLOB word 1
inline constexpr int kRglobDefaultLower = 1;      // DMS_RGLOB word 2
inline constexpr int kFlesReportUnit = 13;        // DMS_FLES word 14
inline constexpr int kGlobalMessageLevel = 5;     // DMS_GLOBAL word 6
inline constexpr int kGlobalGateLevel = 7;        // DMS_GLOBAL word 8
inline constexpr int kGlobalSteamDiagnostics = 10;  // DMS_GLOBAL word 11
inline constexpr int kNcompComponents = 0;        // DMS_NCOMP word 1
inline constexpr int kNcompWater = 11;            // DMS_NCOMP word 12
extern R3_SHARED_AREA int32_t DMS_IPOFF1[512];
extern R3_POOL(double, DMS_PLEX);
extern R3_POOL(int32_t, DMS_IPLEX);

// ---------------------------------------------------------------------------
// The host's own output operation: one text record to a numbered unit
// (unit 6 is the process's standard output).
// ---------------------------------------------------------------------------
// (unit, text, length)
void R3HOST_WRITE(const int32_t* unit, const char* text, const int32_t* length);

// ---------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------
void U3GIDX_BLK(const int32_t* maxn, int32_t* ncomp, int32_t* idx, int32_t* fail);
void U3HDR(const int32_t* INT, const int32_t* NINT, int32_t* h1, int32_t* h2, int32_t* h3,
           int32_t* i0, int32_t* r0);
// (counts..., NSSTRM, ISSTYP, ncomp, idx, ids..., ISTAT, then the four 16-word descriptors out)
void U3SDESC1(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
              const int32_t* ninfout, const int32_t* nsstrm, const int32_t* isstyp,
              const int32_t* ncomp, const int32_t* idx, const int32_t* idmatin,
              const int32_t* idinfin, const int32_t* idmatout, const int32_t* idinfout,
              int32_t* istat, int32_t* dmatin, int32_t* dinfin, int32_t* dmatout,
              int32_t* dinfout);
void U3SVMP(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
            const int32_t* ninfout, const int32_t* dmatin, const int32_t* dinfin,
            const int32_t* dmatout, const int32_t* dinfout, const int32_t* maxn, int32_t* in_flow,
            int32_t* in_comp, int32_t* in_enth, int32_t* in_pres, int32_t* in_info,
            int32_t* out_flow, int32_t* out_comp, int32_t* out_enth, int32_t* out_pres,
            int32_t* out_info);
void U3SNY(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
           const int32_t* ninfout, const int32_t* dmatin, const int32_t* dinfin,
           const int32_t* dmatout, const int32_t* dinfout, int32_t* ny);
// Seven global scales: flow, temperature, molar enthalpy, duty, pressure,
// molar entropy, mass flow.
void U3GSCL(double* scales);

// ---------------------------------------------------------------------------
// Stream variables
// ---------------------------------------------------------------------------
void U3_MSTRM_PLX2X(const int32_t* desc, const double* strm, const int32_t* nsstrm,
                    const int32_t* issoff, const int32_t* isstyp, double* Y);
void U3_ISTRM_PLX2X(const int32_t* desc, const double* strm, double* Y);
// (n, desc, Y, flow scale, enthalpy scale, pressure scale, then lower, upper and
// step bounds of flow, enthalpy and pressure: lbF, ubF, sbF, lbH, ubH, sbH, lbP, ubP, sbP)
void U3_MSTRM_DEFBOUNDS(const int32_t* n, const int32_t* desc, const double* Y, const double* fs,
                        const double* hs, const double* ps, double* lbf, double* ubf,
                        double* sbf, double* lbh, double* ubh, double* sbh, double* lbp,
                        double* ubp, double* sbp);
// (desc, flow value, enthalpy value, pressure value, target array); written only where RMISS.
void U3_MSTRM_LB(const int32_t* desc, const double* f, const double* h, const double* p,
                 double* YLB);
void U3_MSTRM_UB(const int32_t* desc, const double* f, const double* h, const double* p,
                 double* YUB);
void U3_MSTRM_SBND(const int32_t* desc, const double* f, const double* h, const double* p,
                   double* YSBND);
void U3_MSTRM_SCL(const int32_t* desc, const double* f, const double* h, const double* p,
                  double* YSCL);
void U3_MSTRM_PTYPE(const int32_t* desc, int32_t* IYATTR);
void U3_MSTRM_FIX(const int32_t* desc, int32_t* IYATTR);
// (desc, value, target array)
void U3_ISTRM_LB(const int32_t* desc, const double* v, double* YLB);
void U3_ISTRM_UB(const int32_t* desc, const double* v, double* YUB);
void U3_ISTRM_SBND(const int32_t* desc, const double* v, double* YSBND);
void U3_ISTRM_SCL(const int32_t* desc, const double* v, double* YSCL);
void U3_ISTRM_PTYPE(const int32_t* desc, int32_t* IYATTR);
void U3_ISTRM_FIX(const int32_t* desc, int32_t* IYATTR);
// NCF of the streams a descriptor covers (returned value).
int32_t U3_MSTRM_NCF(const int32_t* desc);
int32_t U3_MSTRM__NCF(const int32_t* nsstrm, const int32_t* isstyp);
// (desc, code): the code the next stream write-back uses for the descriptor's streams.
void U3_MSTRM_SET_KODE(const int32_t* desc, const int32_t* kode);
// (counts, descriptors, NSSTRM, ISSOFF, ISSTYP, LSTRM, IPROPSET, Y, SMATIN, SINFIN, SMATOUT, SINFOUT)
void U3SXTP(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
            const int32_t* ninfout, const int32_t* dmatin, const int32_t* dinfin,
            const int32_t* dmatout, const int32_t* dinfout, const int32_t* nsstrm,
            const int32_t* issoff, const int32_t* isstyp, const int32_t* lstrm,
            const int32_t* ipropset, const double* Y, double* smatin, double* sinfin,
            double* smatout, double* sinfout);
void U3SCPY(const double* in, const int32_t* lstrm, double* out);

// ---------------------------------------------------------------------------
// Material balances (selector -1: one per component and a total-flow balance;
// 0: component balances only). Running counts are advanced.
// ---------------------------------------------------------------------------
void U3_MBAL_NF(const int32_t* ncomp, const int32_t* sel, int32_t* nf);
void U3_MBAL_NZ(const int32_t* nmatin, const int32_t* nmatout, const int32_t* ncomp,
                const int32_t* sel, int32_t* nz);
// (counts, descriptors, ncomp, idx, sel, IDBLK, LNAME, EQNNAM, m)
void U3_MBAL_NAM(const int32_t* nmatin, const int32_t* nmatout, const int32_t* dmatin,
                 const int32_t* dmatout, const int32_t* ncomp, const int32_t* idx,
                 const int32_t* sel, const int32_t* idblk, const int32_t* lname, char* eqnnam,
                 int32_t* m);
// (ncomp, sel, FSCL, m): scales written only where RMISS
void U3_MBAL_SCL(const int32_t* ncomp, const int32_t* sel, double* FSCL, int32_t* m);
void U3_MBAL_PAT(const int32_t* nmatin, const int32_t* nmatout, const int32_t* dmatin,
                 const int32_t* dmatout, const int32_t* ncomp, const int32_t* idx,
                 const int32_t* sel, int32_t* IJROW, int32_t* IJCOL, int32_t* m, int32_t* k);
void U3_MBAL_RES(const int32_t* nmatin, const int32_t* nmatout, const int32_t* dmatin,
                 const int32_t* dmatout, const int32_t* ncomp, const int32_t* idx,
                 const int32_t* sel, const double* Y, double* F, int32_t* m);
void U3_MBAL_JAC(const int32_t* nmatin, const int32_t* nmatout, const int32_t* dmatin,
                 const int32_t* dmatout, const int32_t* ncomp, const int32_t* idx,
                 const int32_t* sel, const double* Y, double* DFDY, int32_t* k);

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------
// (counts, descriptors, IDBLK, LNAME, VARNAM)
void U3SVL(const int32_t* nmatin, const int32_t* ninfi, const int32_t* nmatout,
           const int32_t* ninfout, const int32_t* dmatin, const int32_t* dinfin,
           const int32_t* dmatout, const int32_t* dinfout, const int32_t* idblk,
           const int32_t* lname, char* varnam);
void U3VNAM(const int32_t* idblk, const char* text, const int32_t* textlen, const int32_t* lname,
            char* slot);
void U3ENAM(const int32_t* idblk, const char* text, const int32_t* textlen, const int32_t* lname,
            char* slot);
void U3DNAM(const int32_t* idblk, const int32_t* lname, const int32_t* nvar, const int32_t* neqn,
            char* varnam, char* eqnnam);
// (index, text, length): the component's identifier, blank-padded.
void U3_GET_COMPID(const int32_t* index, char* text, const int32_t* length);

// ---------------------------------------------------------------------------
// Variable attributes
// ---------------------------------------------------------------------------
void U3VPPT(int32_t* attr, const int32_t* type);
int32_t U3VGPT(const int32_t* attr);
int32_t U3VFXD(const int32_t* attr);
void U3FXV(int32_t* attr);

// ---------------------------------------------------------------------------
// Utilities
// ---------------------------------------------------------------------------
int32_t IU_REQ(const double* a, const double* b);
void IU_I42STR(const int32_t* words, const int32_t* nwords, char* text, const int32_t* length);
void IU_STR2I4(const char* text, const int32_t* length, int32_t* words, const int32_t* nwords);
void IU_STRCAT(char* text, const int32_t* length, const char* piece, const int32_t* plen);
void U3PKCR(const int32_t* length, char* text);
// (quantity code, value, converted value, 8-character unit label in two
// words, two constants the callers pass as 7 and 6). A negative code converts
// with its magnitude and leaves the label as the caller holds it. A caller
// that passes 16 instead of 6 holds a 16-character label in four words.
void ZREP_RCONV1(int32_t* code, const double* value, double* converted, int32_t* label,
                 const int32_t* c7, const int32_t* c6);

// ---------------------------------------------------------------------------
// Property services
// ---------------------------------------------------------------------------
// 20 arguments: stream vector, NSSTRM, ISSOFF, ISSTYP, IPROPSET, four controls,
// tolerance, pressure, second specification, temperature estimate, diagnostic
// word, property word, work/state word, three work words, return code.
void FLSH_FLASH(double* strm, const int32_t* nsstrm, const int32_t* issoff, const int32_t* isstyp,
                const int32_t* ipropset, const int32_t* c1, const int32_t* c2, const int32_t* c3,
                const int32_t* c4, const double* tol, const double* p, const double* spec2,
                const double* test, const int32_t* diag, const int32_t* pword, int32_t* w16,
                int32_t* w17, int32_t* w18, int32_t* w19, int32_t* ret);
// 12 arguments: T, P, x, ncomp, idx, IPROPSET, property word, KBASE, code, h, cp, ISTAT
void PPMON_ENTHL(const double* T, const double* P, const double* x, const int32_t* ncomp,
                 const int32_t* idx, const int32_t* ipropset, const int32_t* pword,
                 const int32_t* kbase, const int32_t* code, double* h, double* cp, int32_t* istat);
void PPMON_ENTHV(const double* T, const double* P, const double* x, const int32_t* ncomp,
                 const int32_t* idx, const int32_t* ipropset, const int32_t* pword,
                 const int32_t* kbase, const int32_t* code, double* h, double* cp, int32_t* istat);
// 11 arguments: T, P, x, ncomp, idx, IPROPSET, property word, code, v, second result, ISTAT
void PPMON_VOLL(const double* T, const double* P, const double* x, const int32_t* ncomp,
                const int32_t* idx, const int32_t* ipropset, const int32_t* pword,
                const int32_t* code, double* v, double* v2, int32_t* istat);
void PPMON_VOLV(const double* T, const double* P, const double* x, const int32_t* ncomp,
                const int32_t* idx, const int32_t* ipropset, const int32_t* pword,
                const int32_t* code, double* v, double* v2, int32_t* istat);

// Property-equation sets. RTO_ENSET/RTO_VMSET take 29 positions:
//  1 ncomp, 2 phase, 3 IPROPSET, 4 idx, 5 x, 6 P, 7 T, 8 property value,
//  9-12 Y positions of first composition, pressure, temperature, property,
//  13 perturbation, 14 flow scale, 15 pressure scale, 16 property word,
//  17 zero, 18 action (2 pattern, 3 residual, 4 Jacobian), 19 equation count,
//  20 zero, 21 non-zero count, 22 derivative work, 23-25 zero,
//  26 IJROW, 27 IJCOL, 28 F, 29 DFDY.
#define R3_RTO_SET_PARAMS                                                                        \
  const int32_t *ncomp, const int32_t *phase, const int32_t *ipropset, const int32_t *idx,      \
      const double *x, const double *p, const double *t, const double *prop, const int32_t *ix, \
      const int32_t *ip, const int32_t *it, const int32_t *iprop, const double *pert,           \
      const double *fs, const double *ps
#define R3_RTO_SET_TAIL                                                                    \
  const int32_t *pword, const int32_t *z17, const int32_t *action, int32_t *m,             \
      const int32_t *z20, int32_t *k, double *work, const int32_t *z23, const int32_t *z24, \
      const int32_t *z25, int32_t *IJROW, int32_t *IJCOL, double *F, double *DFDY
void RTO_ENSET(R3_RTO_SET_PARAMS, R3_RTO_SET_TAIL);
void RTO_VMSET(R3_RTO_SET_PARAMS, R3_RTO_SET_TAIL);
// RTO_CPSET: the same with one more zero real at position 16 (30 positions).
void RTO_CPSET(R3_RTO_SET_PARAMS, const double* z16, R3_RTO_SET_TAIL);
// RTO_MWSET, 19 positions: 1 ncomp, 2 idx, 3 x, 4 MW value, 5 first composition
// position, 6 MW position, 7 zero, 8 action, 9 equation count, 10 zero,
// 11 non-zero count, 12 derivative work, 13-15 zero, 16 IJROW, 17 IJCOL, 18 F, 19 DFDY.
void RTO_MWSET(const int32_t* ncomp, const int32_t* idx, const double* x, const double* mw,
               const int32_t* ix, const int32_t* imw, const int32_t* z7, const int32_t* action,
               int32_t* m, const int32_t* z10, int32_t* k, double* work, const int32_t* z13,
               const int32_t* z14, const int32_t* z15, int32_t* IJROW, int32_t* IJCOL, double* F,
               double* DFDY);
// Dimension companions: (ncomp, NF, NY, NZ), each advanced.
void RTO_ENDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);
void RTO_VMDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);
void RTO_CPDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);
void RTO_MWDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);


// ===========================================================================
// Further operations. Texts in these sections: routine names, stream
// identifiers and labels of 8 characters are word-held (two 4-byte words,
// blank-padded), like block and stream identifiers everywhere else, and carry
// no length argument; free texts (message lines) are char* with an explicit
// length. Where a running equation or non-zero count is handed over, it comes
// after the arrays and is returned advanced; *_NF and *_NZ add to the count
// they are given. Where the callers name only some of an operation's
// arguments, those come first in the order named and the others follow.
// ===========================================================================

// ---------------------------------------------------------------------------
// Stream phase
// ---------------------------------------------------------------------------
// (material-outlet descriptor, outlet number k from 1, phase 1 vapour / 2 liquid)
void U3_MSTRM_SET_KPH(const int32_t* dmatout, const int32_t* k, const int32_t* kph);

// ---------------------------------------------------------------------------
// Energy balance: one equation, sum F*H in - sum F*H out + heat streams in -
// heat streams out = 0. Every operation starts with the four counts and the
// four descriptors (heat streams take part).
// ---------------------------------------------------------------------------
#define R3_STREAM_GROUPS                                                                    \
  const int32_t *nmatin, const int32_t *ninfi, const int32_t *nmatout,                      \
      const int32_t *ninfout, const int32_t *dmatin, const int32_t *dinfin,                 \
      const int32_t *dmatout, const int32_t *dinfout
// (groups, nf)
void U3_EBAL_NF(R3_STREAM_GROUPS, int32_t* nf);
// (groups, nz)
void U3_EBAL_NZ(R3_STREAM_GROUPS, int32_t* nz);
// (groups, IDBLK, LNAME, EQNNAM, m)
void U3_EBAL_NAM(R3_STREAM_GROUPS, const int32_t* idblk, const int32_t* lname, char* eqnnam,
                 int32_t* m);
// (groups, FSCL, m): the scale is written only where RMISS
void U3_EBAL_SCL(R3_STREAM_GROUPS, double* FSCL, int32_t* m);
// (groups, IJROW, IJCOL, m, k)
void U3_EBAL_PAT(R3_STREAM_GROUPS, int32_t* IJROW, int32_t* IJCOL, int32_t* m, int32_t* k);
// (groups, Y, F, m)
void U3_EBAL_RES(R3_STREAM_GROUPS, const double* Y, double* F, int32_t* m);
// (groups, Y, DFDY, k)
void U3_EBAL_JAC(R3_STREAM_GROUPS, const double* Y, double* DFDY, int32_t* k);

// ---------------------------------------------------------------------------
// Stream equations of a pass-through block (the valve): component balances,
// a total-flow balance and an adiabatic enthalpy balance over the block's
// streams. Same argument conventions as the energy balance.
// ---------------------------------------------------------------------------
// (groups, nf)
void U3SNF(R3_STREAM_GROUPS, int32_t* nf);
// (groups, nz)
void U3SNNZ(R3_STREAM_GROUPS, int32_t* nz);
// (groups, IDBLK, LNAME, EQNNAM, m)
void U3SEL(R3_STREAM_GROUPS, const int32_t* idblk, const int32_t* lname, char* eqnnam,
           int32_t* m);
// (groups, FSCL, m): scales written only where RMISS
void U3SETF(R3_STREAM_GROUPS, double* FSCL, int32_t* m);
// (groups, IJROW, IJCOL, m, k)
void U3SPAT(R3_STREAM_GROUPS, int32_t* IJROW, int32_t* IJCOL, int32_t* m, int32_t* k);
// (groups, Y, F, m)
void U3SRES(R3_STREAM_GROUPS, const double* Y, double* F, int32_t* m);
// (groups, Y, DFDY, k)
void U3SJAC(R3_STREAM_GROUPS, const double* Y, double* DFDY, int32_t* k);
// (groups, NSSTRM, ISSOFF, ISSTYP, LSTRM, SMATIN, SINFIN, SMATOUT, SINFOUT, IMODE,
//  Y, YLB, YUB, YSCL, YSBND, IYATTR): stream values into Y, default bounds, step
// bounds and scales where RMISS, physical types, and with IMODE 0 the inlets fixed.
void U3SPTX(R3_STREAM_GROUPS, const int32_t* nsstrm, const int32_t* issoff,
            const int32_t* isstyp, const int32_t* lstrm, const double* smatin,
            const double* sinfin, const double* smatout, const double* sinfout,
            const int32_t* imode, double* Y, double* YLB, double* YUB, double* YSCL,
            double* YSBND, int32_t* IYATTR);

// ---------------------------------------------------------------------------
// Names from a stream identifier and a code: a component index, -1 total
// flow, -2 enthalpy, -3 pressure, -4 or -5 an information stream's value.
// ---------------------------------------------------------------------------
// (IDBLK, stream identifier (2 words), code, LNAME, slot)
void U3SVID(const int32_t* idblk, const int32_t* sid, const int32_t* code, const int32_t* lname,
            char* slot);
void U3SEID(const int32_t* idblk, const int32_t* sid, const int32_t* code, const int32_t* lname,
            char* slot);

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------
// (routine name (2 words), message number, number of lines, lines, line length)
void U3ERROR_SIG_ERROR(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                       const char* lines, const int32_t* linelen);
void U3ERROR_SIG_WARNING(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                         const char* lines, const int32_t* linelen);
void U3ERROR_SIG_APINFO(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                        const char* lines, const int32_t* linelen);
// Message gate: (routine name (2 words), class, second class or message
// number, diagnostic level, global level, 0, 0, 2). Non-zero: write the message.
int32_t DMS_IRRCHK(const int32_t* routine, const int32_t* iclass, const int32_t* msgno,
                   const int32_t* level, const int32_t* glevel, const int32_t* i6,
                   const int32_t* i7, const int32_t* i8);
// (n): prints the first n lines of DMS_ERROUT and clears the buffer
void DMS_ERRPRT(const int32_t* n);

// ---------------------------------------------------------------------------
// Data-manager work space. Real and integer areas share one pool: real
// offsets count doubles in DMS_PLEX, integer offsets count 4-byte words in
// the same storage (DMS_IPLEX is its integer view), both from 1. Handles stay
// valid until freed; 0 means none.
// ---------------------------------------------------------------------------
// (size, handle, offset)
void DMS_ALLOCR(const int32_t* size, int32_t* handle, int32_t* offset);
void DMS_ALLOCI(const int32_t* size, int32_t* handle, int32_t* offset);
// (handle): reset to 0 when freed
void DMS_FREEBD(int32_t* handle);
// (handle, offset): the area's current real / integer offset, 0 when unknown
void DMS_LOCATR(const int32_t* handle, int32_t* offset);
void DMS_LOCATI(const int32_t* handle, int32_t* offset);
// (kind 1 real / 2 integer, size, handle, offset)
void DMS_ALLOC6(const int32_t* kind, const int32_t* size, int32_t* handle, int32_t* offset);
// (handle)
void DMS_FREE6(int32_t* handle);
// Brackets around a block's persistent allocations: (1 open, 0 close).
void DMS_SIMBEAD(const int32_t* onoff);
// Brackets around a property call made outside the property services.
void DMS_PPENT(void);
void DMS_PPEXT(void);

// A user model as the numeric layer calls it: 80 arguments, the entry's
// first 72 (with argument 34 replaced), seven scratch integers, ISTAT.
#define R3_P8(a) void *a##1, void *a##2, void *a##3, void *a##4, void *a##5, void *a##6, \
                 void *a##7, void *a##8
#define R3_DOCALL_PARAMS                                                               \
  R3_P8(a0), R3_P8(a1), R3_P8(a2), R3_P8(a3), R3_P8(a4), R3_P8(a5), R3_P8(a6), R3_P8(a7), \
      R3_P8(a8), R3_P8(a9)
#define R3_A8(a) a##1, a##2, a##3, a##4, a##5, a##6, a##7, a##8
#define R3_DOCALL_ARGS \
  R3_A8(a0), R3_A8(a1), R3_A8(a2), R3_A8(a3), R3_A8(a4), R3_A8(a5), R3_A8(a6), R3_A8(a7), \
      R3_A8(a8), R3_A8(a9)
typedef void(R3_STDCALL* R3UserModel80)(R3_DOCALL_PARAMS);
// (entry address, the 80 arguments handed on unchanged)
void DMS_DOCALL(const intptr_t* entry, R3_DOCALL_PARAMS);

// ---------------------------------------------------------------------------
// Enthalpy, entropy and heat-capacity rows of the turbo-expander
// ---------------------------------------------------------------------------
// (n_c, NF, NY, NZ), each advanced
void RTO_ENCDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);
void RTO_SMCDIM(const int32_t* ncomp, int32_t* nf, int32_t* ny, int32_t* nz);
// (n_c, phase, IPROPSET, idx, x, |P|, |T|, property value, property word,
//  mode, m, F): mode 0 writes the residual at row m+1 and advances m; mode 1
//  (evaluation) stores the property itself at F(m), m being the slot's
//  position, and leaves m as it is
#define R3_RTO_ROW_PARAMS                                                                   \
  const int32_t *ncomp, const int32_t *phase, const int32_t *ipropset, const int32_t *idx, \
      const double *x, const double *p, const double *t, const double *prop,               \
      const int32_t *pword
void RTO_ENCRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F);
void RTO_SMCRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F);
void RTO_CPRES(R3_RTO_ROW_PARAMS, const int32_t* mode, int32_t* m, double* F);
// (row quantities, positions of first mole fraction, P, T, property, m, k, IJROW, IJCOL)
void RTO_ENCSPR(R3_RTO_ROW_PARAMS, const int32_t* ix, const int32_t* ip, const int32_t* it,
                const int32_t* iprop, int32_t* m, int32_t* k, int32_t* IJROW, int32_t* IJCOL);
void RTO_SMCSPR(R3_RTO_ROW_PARAMS, const int32_t* ix, const int32_t* ip, const int32_t* it,
                const int32_t* iprop, int32_t* m, int32_t* k, int32_t* IJROW, int32_t* IJCOL);
// (row quantities, flow scale, pressure scale, k, DFDY)
void RTO_ENCJAC(R3_RTO_ROW_PARAMS, const double* fs, const double* ps, int32_t* k,
                double* DFDY);
void RTO_SMCJAC(R3_RTO_ROW_PARAMS, const double* fs, const double* ps, int32_t* k,
                double* DFDY);

// ---------------------------------------------------------------------------
// Phase-equilibrium equation sets. A set's layout is nine values, positions
// taken by their magnitude: 1 temperature, 2 vapour fraction, 3 duty, 9 the
// anchor z0 of the composition block (overall, vapour and liquid mole
// fractions at z0+4+i, z0+n+8+i, z0+3n+13+i); the others are described in
// docs/properties.md.
// ---------------------------------------------------------------------------
// (n_c, idx, option, NY, NF, NZ, layout[9]): counts advanced, the set's
// variables numbered from NY+1
void RTO_PMLDIM(const int32_t* ncomp, const int32_t* idx, const int32_t* iopt, int32_t* ny,
                int32_t* nf, int32_t* nz, int32_t* layout);
// (n_c, idx, component identifiers (2 words each), layout, prefix (1 word),
//  start, IDBLK, LNAME, VARNAM, EQNNAM, m)
void RTO_PMLNAM(const int32_t* ncomp, const int32_t* idx, const int32_t* cids,
                const int32_t* layout, const int32_t* prefix, const int32_t* istart,
                const int32_t* idblk, const int32_t* lname, char* varnam, char* eqnnam,
                int32_t* m);
// (n_c, idx, flow positions[n_c], enthalpy position, pressure position, IPROPSET,
//  entry argument 31, tolerance, iterations, given-quantity flag, layout, start,
//  saved arrays a and b, Y, return code)
void RTO_PMLINI(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow,
                const int32_t* iph, const int32_t* ipp, const int32_t* ipropset,
                const int32_t* arg31, const double* tol, const int32_t* maxit,
                const int32_t* iflag, const int32_t* layout, const int32_t* istart, double* sa,
                double* sb, double* Y, int32_t* ierr);
// (n_c, idx, flow positions, enthalpy, pressure and temperature positions, layout,
//  option, start, m, k, IJROW, IJCOL)
void RTO_PMLSPR(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow,
                const int32_t* iph, const int32_t* ipp, const int32_t* ipt,
                const int32_t* layout, const int32_t* iopt, const int32_t* istart, int32_t* m,
                int32_t* k, int32_t* IJROW, int32_t* IJCOL);
// (n_c, idx, flow positions, enthalpy, pressure and temperature positions, layout,
//  saved arrays a and b, option, Y, start, m, F)
void RTO_PMLRES(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow,
                const int32_t* iph, const int32_t* ipp, const int32_t* ipt,
                const int32_t* layout, double* sa, double* sb, const int32_t* iopt,
                const double* Y, const int32_t* istart, int32_t* m, double* F);
// (as RTO_PMLRES with the perturbation before the option; k, DFDY)
void RTO_PMLJAC(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow,
                const int32_t* iph, const int32_t* ipp, const int32_t* ipt,
                const int32_t* layout, double* sa, double* sb, const double* eps,
                const int32_t* iopt, const double* Y, const int32_t* istart, int32_t* k,
                double* DFDY);
// (n_c, layout, start, Y, YSCL): written only where RMISS
void RTO_PMLXSCL(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                 const double* Y, double* YSCL);
// (n_c, layout, start, Y, YLB, YUB, YSBND): written only where RMISS
void RTO_PMLXBND(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                 const double* Y, double* YLB, double* YUB, double* YSBND);
// (n_c, layout, start, IYATTR)
void RTO_PMLXPP(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                int32_t* IYATTR);
// (n_c, layout, equation count at which the set starts (its rows follow it), FSCL):
// written only where RMISS
void RTO_PMLRSCL(const int32_t* ncomp, const int32_t* layout, const int32_t* ieqstart,
                 double* FSCL);

// ---------------------------------------------------------------------------
// Steam-table services (controls in the SSS_* areas below)
// ---------------------------------------------------------------------------
// (mode, inlet pressure, outlet pressure, inlet enthalpy, flow, factor,
//  results[10]): results[0] the isentropic work; with mode 3 results[1..4] its
//  derivatives by inlet pressure, outlet pressure, enthalpy and flow
void SSS_TWORK(const int32_t* mode, const double* pa, const double* pb, const double* h,
               const double* g, const double* fac, double* results);
// (code, efficiency or water-rate value, stage power, inlet enthalpy, inlet pressure, outlet
//  pressure, efficiency curve x/y and n_e, water-rate curve x/y and n_w, seven
//  relative-efficiency parameters, callback, efficiency)
void SSS_EFFTRB(const int32_t* icode, const double* value, const double* power, const double* hin,
                const double* pin, const double* pout, const double* effx, const double* effy,
                const int32_t* ne, const double* wrx, const double* wry, const int32_t* nw,
                const double* relpar, void (*callback)(void), double* eta);
// (T, P, 1.0, (P - Psat(T))/P, h)
void SSS_ENTH(const double* t, const double* p, const double* one, const double* frac,
              double* h);
// (P, h, T, quality)
void SSS_PHTX(const double* p, const double* h, double* t, double* quality);
// (T, P, quality, option, specific volume)
void SSS_VOLW(const double* t, const double* p, const double* quality, const int32_t* iopt,
              double* v);
// (P, Tsat)
void SSS_TSAT(const double* p, double* tsat);
// (T, Psat)
void SSS_PSATW(const double* t, double* psat);
// (P, h, derivative of the specific volume by enthalpy / by pressure)
void SSS_DVDH(const double* p, const double* h, double* dvdh);
void SSS_DVDP(const double* p, const double* h, double* dvdp);

// ---------------------------------------------------------------------------
// Numeric-layer services
// ---------------------------------------------------------------------------
// (layer, derivative source, check option, six configuration values)
void U3NU_GET_PUBPAR(const int32_t* layer, int32_t* ideriv, int32_t* icheck, int32_t* cfg);
// (layer): the user model's entry address / its second value
intptr_t U3NU_GET_FPMODL(const int32_t* layer);
int32_t U3NU_GET_FPMDL1(const int32_t* layer);
// (layer, group handle); a negative handle means none
void U3NU_PUT_NBVGRP(const int32_t* layer, const int32_t* handle);
void U3NU_GET_NBVGRP(const int32_t* layer, int32_t* handle);
// (NF, NY, NZ, IJROW, IJCOL, failure flag)
void U3NU_CHK_PAT(const int32_t* nf, const int32_t* ny, const int32_t* nz, const int32_t* IJROW,
                  const int32_t* IJCOL, int32_t* ierr);
// (NF, LNAME, VARNAM, EQNNAM, kept NZ, kept IJROW, kept IJCOL, label 1,
//  label 2 (2 words each), then the pattern compared: NZ, IJROW, IJCOL)
void U3NU_CMP_PAT(const int32_t* nf, const int32_t* lname, const char* varnam,
                  const char* eqnnam, const int32_t* nzk, const int32_t* ijrowk,
                  const int32_t* ijcolk, const int32_t* label1, const int32_t* label2,
                  const int32_t* nz, const int32_t* IJROW, const int32_t* IJCOL);
// (LNAME, VARNAM, EQNNAM, NZ, IJROW, IJCOL, label 1, label 2, kept values,
//  then the values compared: DFDY)
void U3NU_CMP_JAC(const int32_t* lname, const char* varnam, const char* eqnnam,
                  const int32_t* nz, const int32_t* IJROW, const int32_t* IJCOL,
                  const int32_t* label1, const int32_t* label2, const double* kept,
                  const double* DFDY);
// (NF, NY, NZ, IJROW, IJCOL, handle, failure flag)
void U3VGRP(const int32_t* nf, const int32_t* ny, const int32_t* nz, const int32_t* IJROW,
            const int32_t* IJCOL, int32_t* handle, int32_t* ierr);
// (handle)
void U3FGRP(int32_t* handle);
// (table of 100 tolerances)
void U3GPERTOL(double* tol);
// (NF, NY, work Y, YSCL, IYATTR, work F, NZ, IJROW, IJCOL, tolerances, four
//  configuration values, scratch, task word, error word)
void U3NPAT(const int32_t* nf, const int32_t* ny, double* ywork, const double* YSCL,
            const int32_t* IYATTR, const double* fwork, int32_t* nz, int32_t* IJROW,
            int32_t* IJCOL, const double* tol, const int32_t* cfg1, const int32_t* cfg2,
            const int32_t* cfg3, const int32_t* cfg4, int32_t* scratch, int32_t* task,
            int32_t* ierr);
// (handle, work Y, YSCL, IYATTR, work F, IJCOL, tolerances, first configuration
//  value, DFDY, task word, error word)
void U3NJAC(const int32_t* handle, double* ywork, const double* YSCL, const int32_t* IYATTR,
            const double* fwork, const int32_t* IJCOL, const double* tol, const int32_t* cfg1,
            double* DFDY, int32_t* task, int32_t* ierr);
// (block index, maximum non-zeros; 0 = no limit)
void U3BLK_INQ_MAXNZ(const int32_t* iblk, int32_t* maxnz);
void U3BLK_SET_MAXNZ(const int32_t* iblk, const int32_t* maxnz);
// (IDBLK): the block's index
int32_t IU_FIABLK(const int32_t* idblk);

// ---------------------------------------------------------------------------
// Further shared areas
// ---------------------------------------------------------------------------
// Data-manager error buffer: lines of 80 characters, blank-padded, filled by
// the models and printed (and cleared) by DMS_ERRPRT.
inline constexpr int R3_DMS_ERROUT_LINES = 20;
inline constexpr int R3_DMS_ERROUT_WIDTH = 80;
extern R3_SHARED_AREA char DMS_ERROUT[R3_DMS_ERROUT_LINES][R3_DMS_ERROUT_WIDTH];
// Steam-table controls: diagnostic words (2); gas-region limits (two doubles
// and an integer, 5 words); pressure tolerance (a double); the property
// method's six words, twice (12).
extern R3_SHARED_AREA int32_t SSS_SBDIAG[2];
extern R3_SHARED_AREA int32_t SSS_SBGAS[5];
extern R3_SHARED_AREA int32_t SSS_PTOLER[2];
extern R3_SHARED_AREA int32_t SSS_SBOPST[12];
// Index (from 0) of the gas-region limits' integer among their words.
inline constexpr int kSbgasIterationWord = 4;

}  // extern "C"

namespace r3::hs {

// Word access to the run-time area (word numbers from 1).
inline int32_t& ppexec_word(int word) { return PPEXEC_USER[word - 1]; }
// The run-time area's solution-state word: 2 once a stream update has
// written a solution back, which makes the next initialisation a restart.
inline constexpr int kSolutionStateWord = kPpexecSolutionState + 1;
inline constexpr int32_t kSolutionWritten = 2;
inline int32_t& solution_state() { return ppexec_word(kSolutionStateWord); }
inline double rmiss() {
  double v;
  __builtin_memcpy(&v, &PPEXEC_USER[0], sizeof v);
  return v;
}
inline int32_t imiss() { return PPEXEC_USER[2]; }
inline bool is_missing(double v) { return IU_REQ(&v, reinterpret_cast<const double*>(PPEXEC_USER)) != 0; }
// A value a model may divide by or take the logarithm of: given and positive.
inline bool usable_positive(double v) {
  return !is_missing(v) && v > 0.0;
}
inline int32_t message_unit() { return PPEXEC_USER[10]; }
inline int32_t report_unit() { return PPEXEC_USER[11]; }
inline int32_t second_message_unit() { return PPEXEC_USER[12]; }
inline constexpr int32_t kStandardOutput = 6;

// One record to a unit.
inline void write(int32_t unit, std::string_view text) {
  const int32_t len = static_cast<int32_t>(text.size());
  R3HOST_WRITE(&unit, text.data(), &len);
}

// One line on the message unit.
inline void msg(std::string_view line) { write(message_unit(), line); }
// A message on the message unit: an empty line, then each text line with one
// leading blank.
inline void message(std::string_view first, std::string_view second = {}) {
  msg("");
  msg(std::string(" ").append(first));
  if (!second.empty()) msg(std::string(" ").append(second));
}

inline bool fixed(const int32_t& attr) { return U3VFXD(&attr) != 0; }
inline void set_type(int32_t& attr, int32_t type) { U3VPPT(&attr, &type); }

inline void vnam(std::string_view text, int32_t lname, char* slot) {
  const int32_t len = static_cast<int32_t>(text.size());
  U3VNAM(RXN_IBLKID, text.data(), &len, &lname, slot);
}
inline void enam(std::string_view text, int32_t lname, char* slot) {
  const int32_t len = static_cast<int32_t>(text.size());
  U3ENAM(RXN_IBLKID, text.data(), &len, &lname, slot);
}


// One line (1-based) of the data manager's error buffer, blank-padded.
inline void errout_line(int line, std::string_view text) {
  if (line < 1 || line > R3_DMS_ERROUT_LINES) return;
  char* l = DMS_ERROUT[line - 1];
  for (int i = 0; i < R3_DMS_ERROUT_WIDTH; ++i) {
    l[i] = static_cast<size_t>(i) < text.size() ? text[static_cast<size_t>(i)] : ' ';
  }
}

}  // namespace r3::hs
