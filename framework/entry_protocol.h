// The model entry protocol: the 73 by-reference arguments, the request codes,
// and the common pieces every entry uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#if defined(_WIN32)
#define R3_STDCALL __stdcall
#define R3_EXPORT
#else
#define R3_STDCALL
#define R3_EXPORT __attribute__((visibility("default")))
#endif

// The first 72 parameters of an entry, every argument by reference.
#define R3_PARAMS_72 \
    int32_t* NMATIN, \
    double* SMATIN, \
    int32_t* NINFI, \
    double* SINFIN, \
    int32_t* NMATOUT, \
    double* SMATOUT, \
    int32_t* NINFOUT, \
    double* SINFOUT, \
    int32_t* IDMATIN, \
    int32_t* IDINFIN, \
    int32_t* IDMATOUT, \
    int32_t* IDINFOUT, \
    int32_t* LSTRM, \
    int32_t* NSSTRM, \
    int32_t* ISSOFF, \
    int32_t* ISSTYP, \
    int32_t* NINT, \
    int32_t* INT, \
    int32_t* NREAL, \
    double* REAL, \
    int32_t* IDBLK, \
    void* A22, \
    int32_t* IPROPSET, \
    void* A24, \
    void* A25, \
    void* A26, \
    void* A27, \
    void* A28, \
    void* A29, \
    void* A30, \
    int32_t* A31, \
    void* A32, \
    void* A33, \
    int32_t* ILAYER, \
    void* A35, \
    void* A36, \
    int32_t* KODE, \
    int32_t* NAUX1, \
    int32_t* NF, \
    int32_t* NY, \
    int32_t* NAUX2, \
    int32_t* NAUX3, \
    double* Y, \
    double* YLB, \
    double* YUB, \
    double* YSCL, \
    double* YSBND, \
    int32_t* IYATTR, \
    double* F, \
    double* FSCL, \
    void* A51, \
    int32_t* NZ, \
    int32_t* IJROW, \
    int32_t* IJCOL, \
    double* DFDY, \
    void* A56, \
    void* A57, \
    void* A58, \
    int32_t* LNAME, \
    void* A60, \
    char* VARNAM, \
    char* EQNNAM, \
    int32_t* IDIAG, \
    void* A64, \
    void* A65, \
    void* A66, \
    void* A67, \
    void* A68, \
    int32_t* IEVAL1, \
    int32_t* IEVAL2, \
    void* A71, \
    void* A72

// The parameter list of an entry, every argument by reference. Character data
// crosses only as words (VARNAM/EQNNAM are slots of 4*LNAME bytes).
#define R3_ENTRY_PARAMS R3_PARAMS_72, int32_t* ISTAT

// The same 73 names, for handing the arguments on unchanged.
#define R3_ENTRY_ARGS \
    NMATIN, \
    SMATIN, \
    NINFI, \
    SINFIN, \
    NMATOUT, \
    SMATOUT, \
    NINFOUT, \
    SINFOUT, \
    IDMATIN, \
    IDINFIN, \
    IDMATOUT, \
    IDINFOUT, \
    LSTRM, \
    NSSTRM, \
    ISSOFF, \
    ISSTYP, \
    NINT, \
    INT, \
    NREAL, \
    REAL, \
    IDBLK, \
    A22, \
    IPROPSET, \
    A24, \
    A25, \
    A26, \
    A27, \
    A28, \
    A29, \
    A30, \
    A31, \
    A32, \
    A33, \
    ILAYER, \
    A35, \
    A36, \
    KODE, \
    NAUX1, \
    NF, \
    NY, \
    NAUX2, \
    NAUX3, \
    Y, \
    YLB, \
    YUB, \
    YSCL, \
    YSBND, \
    IYATTR, \
    F, \
    FSCL, \
    A51, \
    NZ, \
    IJROW, \
    IJCOL, \
    DFDY, \
    A56, \
    A57, \
    A58, \
    LNAME, \
    A60, \
    VARNAM, \
    EQNNAM, \
    IDIAG, \
    A64, \
    A65, \
    A66, \
    A67, \
    A68, \
    IEVAL1, \
    IEVAL2, \
    A71, \
    A72, \
    ISTAT

// Declares and defines a model entry with C linkage and the host's calling
// convention; the body receives the arguments as `r3::Entry& e`.
#define R3_DEFINE_ENTRY(NAME, IMPL)                                      \
  extern "C" R3_EXPORT void R3_STDCALL NAME(R3_ENTRY_PARAMS) {           \
    r3::Entry e{R3_ENTRY_ARGS};                                         \
    IMPL(e);                                                             \
  }


// A user model as the numeric layer calls it: the entry's first 72
// arguments, seven further words, and the status last (80 arguments).
#define R3_USER_PARAMS \
    R3_PARAMS_72, int32_t* X1, int32_t* X2, int32_t* X3, int32_t* X4, int32_t* X5, int32_t* X6, \
    int32_t* X7, int32_t* ISTAT

// Defines a user model with C linkage; the body receives the arguments as
// `r3::Entry& e` (the seven further words are not used).
#define R3_DEFINE_USER_MODEL(NAME, IMPL)                                 \
  extern "C" R3_EXPORT void R3_STDCALL NAME(R3_USER_PARAMS) {           \
    (void)X1, (void)X2, (void)X3, (void)X4, (void)X5, (void)X6, (void)X7; \
    r3::Entry e{NMATIN, SMATIN, NINFI, SINFIN, NMATOUT, SMATOUT, NINFOUT, SINFOUT, IDMATIN, IDINFIN, IDMATOUT, IDINFOUT, LSTRM, NSSTRM, ISSOFF, ISSTYP, NINT, INT, NREAL, REAL, IDBLK, A22, IPROPSET, A24, A25, A26, A27, A28, A29, A30, A31, A32, A33, ILAYER, A35, A36, KODE, NAUX1, NF, NY, NAUX2, NAUX3, Y, YLB, YUB, YSCL, YSBND, IYATTR, F, FSCL, A51, NZ, IJROW, IJCOL, DFDY, A56, A57, A58, LNAME, A60, VARNAM, EQNNAM, IDIAG, A64, A65, A66, A67, A68, IEVAL1, IEVAL2, A71, A72, ISTAT};                                          \
    IMPL(e);                                                             \
  }

namespace r3 {

using EntryFn = void(R3_STDCALL*)(R3_ENTRY_PARAMS);

// Request codes (KODE).
enum Kode : int32_t {
  KODE_INIT = 0,
  KODE_RESID = 1,
  KODE_STRMUPD = 7,
  KODE_JACOB = 9,
  KODE_CHECK = 10,
  KODE_DIMEN = 13,
  KODE_NAMES = 14,
  KODE_REPORT = 101,
};

// A view of one call's arguments by their names (arrays indexed from 1
// through the accessors below).
struct Entry {
  int32_t* NMATIN;
  double* SMATIN;
  int32_t* NINFI;
  double* SINFIN;
  int32_t* NMATOUT;
  double* SMATOUT;
  int32_t* NINFOUT;
  double* SINFOUT;
  int32_t* IDMATIN;
  int32_t* IDINFIN;
  int32_t* IDMATOUT;
  int32_t* IDINFOUT;
  int32_t* LSTRM;
  int32_t* NSSTRM;
  int32_t* ISSOFF;
  int32_t* ISSTYP;
  int32_t* NINT;
  int32_t* INT;
  int32_t* NREAL;
  double* REAL;
  int32_t* IDBLK;
  void* A22;
  int32_t* IPROPSET;
  void* A24;
  void* A25;
  void* A26;
  void* A27;
  void* A28;
  void* A29;
  void* A30;
  int32_t* A31;
  void* A32;
  void* A33;
  int32_t* ILAYER;
  void* A35;
  void* A36;
  int32_t* KODE;
  int32_t* NAUX1;
  int32_t* NF;
  int32_t* NY;
  int32_t* NAUX2;
  int32_t* NAUX3;
  double* Y;
  double* YLB;
  double* YUB;
  double* YSCL;
  double* YSBND;
  int32_t* IYATTR;
  double* F;
  double* FSCL;
  void* A51;
  int32_t* NZ;
  int32_t* IJROW;
  int32_t* IJCOL;
  double* DFDY;
  void* A56;
  void* A57;
  void* A58;
  int32_t* LNAME;
  void* A60;
  char* VARNAM;
  char* EQNNAM;
  int32_t* IDIAG;
  void* A64;
  void* A65;
  void* A66;
  void* A67;
  void* A68;
  int32_t* IEVAL1;
  int32_t* IEVAL2;
  void* A71;
  void* A72;
  int32_t* ISTAT;
};

}  // namespace r3

namespace r3 {

inline constexpr int32_t kMaxComponents = 200;

// The host's physical-type codes, stored per variable with U3VPPT and read
// again by the report-unit conversion.
enum PhysicalType : int32_t {
  kTypeNone = 0,
  kTypeArea = 1,
  kTypeSteamMolarEnthalpy = 6,  // the steam turbine's molar enthalpies
  kTypeMassFlow = 10,
  kTypeMolarFlow = 11,
  kTypeVolumeFlow = 12,
  kTypeHeatDuty = 13,
  kTypeMolarEnthalpy = 14,
  kTypeMolarHeatCapacity = 15,
  kTypeHeatTransferCoefficient = 16,
  kTypeHeadLength = 17,
  kTypePower = 19,
  kTypePressure = 20,
  kTypeTemperature = 22,
  kTypeSpeed = 28,
  kTypeTemperatureDifference = 31,
  kTypeAngle = 32,
  kTypeSpecificHead = 33,
  kTypeMassDensity = 38,
  kTypeEnthalpyChange = 39,
  kTypeMolarEntropy = 41,
  kTypeMolarVolume = 43,
  kTypeDimensionless = 44,
  kTypeHeatTransferProduct = 50,  // U*A: duty per temperature difference
  // The steam turbine's power per unit flow, its losses per unit flow and its
  // flow-area parameter.
  kTypeTurbinePerFlow = 65,
  kTypePressureDifference = 75,
};

// Positions in Y of a block's stream variables (1-based; 0 = absent), as the
// host's stream-variable map gives them.
struct StreamMap {
  int32_t in_flow = 0, in_enth = 0, in_pres = 0, in_info = 0;
  int32_t out_flow = 0, out_enth = 0, out_pres = 0, out_info = 0;
  int32_t in_comp[kMaxComponents] = {};
  int32_t out_comp[kMaxComponents] = {};
};

// What the common set-up of a descriptor-based entry builds at every call.
struct Setup {
  int32_t ncomp = 0;
  int32_t idx[kMaxComponents] = {};
  int32_t h1 = 0, h2 = 0, h3 = 0;
  int32_t i0 = 1, r0 = 1;  // first model integer and real positions
  int32_t dmatin[16] = {}, dinfin[16] = {}, dmatout[16] = {}, dinfout[16] = {};
  StreamMap map;
  int32_t nstream = 0;  // number of stream variables
  int32_t sel = -1;     // material-balance selector
  double scales[7] = {};
};

// The block's component list. False (ISTAT = 1) when the host fails.
bool setup_components(Entry& e, Setup& s);
// The parameter start positions.
void setup_header(Entry& e, Setup& s);
// Descriptors, stream-variable map, number of stream variables.
// False when the descriptors could not be built (ISTAT set by the host).
bool setup_streams(Entry& e, Setup& s);
// The block identifier into the host's naming area.
void setup_block_id(Entry& e);
// The host's global scales by name: molar flow, temperature, molar enthalpy,
// duty and pressure. A model's per-call state derives from it, so that its
// equations read st.Fs, st.Ps, ...
struct Scales {
  double Fs = 1, Ts = 1, Hs = 1, Qs = 1, Ps = 1;
};

// The host's global scales into s.scales.
void setup_scales(Setup& s);
// The same, and the scales by name into `named`.
void setup_scales(Setup& s, Scales& named);
// The scales by name alone, for a model without the common set-up.
void setup_scales(Scales& named);

// At the initialisation request, for the material streams a
// descriptor covers: the host's default lower, upper and step bounds from
// the flow, enthalpy and pressure scales, those scales, and the physical
// types (each bound and scale only where the host's array holds RMISS).
void material_stream_defaults(Entry& e, Setup& s, const int32_t* desc, double fs, double hs,
                              double ps);
// The same for the information streams a descriptor covers, from one lower,
// upper and step bound and one scale.
void info_stream_defaults(Entry& e, const int32_t* desc, double lower, double upper, double step,
                          double scale);

// An inlet information stream that carries power: its scale, and its step
// bound in multiples of the scale; its bounds are +-10^4 power scales.
struct InletPower {
  double scale, step;
};

// The inlet side of an initialisation: the material inlet's values into Y
// with its default bounds, step bounds, scales and types (from the flow,
// enthalpy and pressure scales), and, where `power` is given and the block
// has an inlet information stream, that stream's value and defaults; in
// sequential-modular use (imode 0) the inlet streams are fixed.
void inlet_streams(Entry& e, Setup& s, const Scales& sc, int32_t imode,
                   const InletPower* power = nullptr);

// The type, default bounds and scale of one of a block's own variables.
struct VariableDefaults {
  int32_t type;
  double lower, upper, scale;
};

// At the initialisation request, for the block variable at Y position pos:
// the value, bounds, a step bound of 1 and the scale, each only where the
// host's array holds RMISS, and the physical type.
void block_variable_defaults(Entry& e, int32_t pos, double value, const VariableDefaults& d);

// At the names request: the stream variables' names; their number.
int32_t name_stream_variables(Entry& e, const Setup& s);
// The end of the names request: the host told how many variable and
// equation names were written.
void hand_over_names(Entry& e, int32_t nvar, int32_t neqn);

// At the stream update, the block's stream variables in Y back into the
// host's stream arrays.
void write_streams(Entry& e, const Setup& s);

// The model's integer parameter at 1-based position pos of INT: the host's
// integer missing marker beyond NINT.
int32_t int_param(const Entry& e, int32_t pos);
// The model's real parameter at 1-based position pos of REAL: RMISS beyond NREAL.
double real_param(const Entry& e, int32_t pos);

// An input check's explanation of a fault: a first line and an optional
// second one; no first line when there is no fault.
struct CheckFault {
  CheckFault() = default;
  CheckFault(std::string line1, std::string line2 = {})
      : first(std::move(line1)), second(std::move(line2)) {}
  std::string first, second;
};

// The information streams a model takes: at most `inlet` on the inlet side
// and `outlet` on the outlet side (each 0 or 1), and one in all.
struct InfoStreams {
  int32_t inlet, outlet;
};

// The fault of the connections of a block whose model takes exactly one
// material inlet and one material outlet, and the information streams
// `info`: the material connections first, then the inlet side, the outlet
// side and both together.
CheckFault connection_fault(const Entry& e, InfoStreams info);

// The fault of an integer parameter, named as the user enters it ("IMODE"),
// that is neither 0 nor 1; of one outside least..most; of a component count
// outside 1..kMaxComponents.
CheckFault switch_fault(std::string_view name);
CheckFault range_fault(std::string_view name, int least, int most);
CheckFault component_count_fault();

// The end of an input check: a fault is written to the message unit under
// " ERROR in subroutine <routine>:", each line indented by six, and the
// check's status returned (1 for a fault, otherwise 0).
int32_t check_status(std::string_view routine, const CheckFault& f);

// The first guard of a sequential initialisation: every fixed variable at Y
// positions first..last must hold a value (but those at the `defaulted`
// positions, which have defaults), and the number of passes may not exceed
// 50 (the input check bounds it, but a host may change INT after the check,
// and each pass runs a flash). Each fault is written under "Error in
// <routine>:"; false when there is any.
bool fixed_values_and_passes_ok(const Entry& e, int32_t first, int32_t last,
                                std::initializer_list<int32_t> defaulted, int32_t npass,
                                std::string_view routine);

// Address of name slot i (1-based) of a name array.
inline char* name_slot(char* names, int32_t lname, int32_t i) {
  return names + static_cast<size_t>(i - 1) * 4 * static_cast<size_t>(lname);
}

}  // namespace r3
