// The layout of the host's 16-word stream descriptors (built by U3SDESC1),
// shared by the operations that read them.
//
// Words: 1 a validity tag, 2 the kind (1 material in, 2 information in,
// 3 material out, 4 information out), 3 the stream count, 4 n_c, 5 the
// position in Y of the group's first variable, 6 variables per stream, 7 the
// write-back code, 8 the slot of the group's stream identifiers.
#pragma once

#include <cstdint>

namespace r3::host {

inline constexpr int32_t kDescTag = 0x52334453;  // "R3DS"
enum DescWord { kTag = 0, kKind, kCount, kNcomp, kFirst, kPer, kWriteCode, kIdSlot };
enum DescKind { kMatIn = 1, kInfIn = 2, kMatOut = 3, kInfOut = 4 };

inline bool valid(const int32_t* d) {
  return d != nullptr && d[kTag] == kDescTag;
}
inline bool material(const int32_t* d) {
  return d[kKind] == kMatIn || d[kKind] == kMatOut;
}
inline int32_t group_size(const int32_t* d) {
  return valid(d) ? d[kCount] * d[kPer] : 0;
}
// Streams of a group (0 for an invalid descriptor).
inline int32_t streams(const int32_t* d) {
  return valid(d) ? d[kCount] : 0;
}
// 0-based index into Y of stream s's variable v (material: 0 flow, 1..n_c
// components, n_c+1 enthalpy, n_c+2 pressure; information: 0 the value).
inline int32_t ypos(const int32_t* d, int s, int v) {
  return d[kFirst] - 1 + s * d[kPer] + v;
}

}  // namespace r3::host
