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
#include <string_view>

#include "framework/entry_protocol.h"

extern "C" {

// ---------------------------------------------------------------------------
// Shared host areas (arrays of 4-byte words).
// ---------------------------------------------------------------------------

// Run-time area: words 1-2 RMISS (a double), 3 integer missing marker,
// 6 solution-state word, 8 diagnostic level, 9 property-service word,
// 11 message unit, 12 report unit, 13 second message unit.
inline constexpr int R3_PPEXEC_USER_WORDS = 64;
extern int32_t PPEXEC_USER[R3_PPEXEC_USER_WORDS];
// Property-service base word handed to the property monitors (position 8).
extern int32_t PPEXEC_KBASE[16];
// The current block identifier (8 characters in two words).
extern int32_t RXN_IBLKID[2];
// Data manager: global integer table (words 6 and 8: message-gate levels,
// word 11: steam-table diagnostics), global real table (word 1: values at or
// above it count as missing; word 2: a default lower bound for pressure
// drops), component counts (word 1: components of a stream vector, word 12:
// the water component's index), file table (word 14: a report unit),
// offsets of component property tables in DMS_PLEX (word 306: molecular
// weights; word 413: normal boiling points), and the work pools.
extern int32_t DMS_GLOBAL[64];
extern double DMS_RGLOB[16];
extern int32_t DMS_NCOMP[16];
extern int32_t DMS_FLES[16];
extern int32_t DMS_IPOFF1[512];
extern double DMS_PLEX[];
extern int32_t DMS_IPLEX[];

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
// with its magnitude and leaves the label as the caller holds it.
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

}  // extern "C"

namespace r3::hs {

// Word access to the run-time area (word numbers from 1).
inline int32_t& ppexec_word(int word) { return PPEXEC_USER[word - 1]; }
inline double rmiss() {
  double v;
  __builtin_memcpy(&v, &PPEXEC_USER[0], sizeof v);
  return v;
}
inline int32_t imiss() { return PPEXEC_USER[2]; }
inline bool is_missing(double v) { return IU_REQ(&v, reinterpret_cast<const double*>(PPEXEC_USER)) != 0; }
inline int32_t message_unit() { return PPEXEC_USER[10]; }
inline int32_t report_unit() { return PPEXEC_USER[11]; }
inline int32_t second_message_unit() { return PPEXEC_USER[12]; }
inline constexpr int32_t kStandardOutput = 6;

// One record to a unit.
inline void write(int32_t unit, std::string_view text) {
  const int32_t len = static_cast<int32_t>(text.size());
  R3HOST_WRITE(&unit, text.data(), &len);
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

}  // namespace r3::hs
