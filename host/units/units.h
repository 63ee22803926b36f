// Numbered output units of the substitute host. Models write text records
// (R3HOST_WRITE); each unit is connected to a sink: the process's standard
// output (unit 6), a file, or an in-memory capture that tests and the driver
// read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace r3::host::units {

// Unit numbers the substitute host hands out in the run-time area.
inline constexpr int32_t kStandardOutput = 6;
inline constexpr int32_t kMessageUnit = 21;
inline constexpr int32_t kReportUnit = 22;
inline constexpr int32_t kSecondMessageUnit = 23;

// Sends a unit's records to a C stream (not owned), or captures them in memory
// when the stream is null.
void connect(int32_t unit, std::FILE* stream);
void capture(int32_t unit);
// Keeps a copy of the records written to a unit's stream, for take(); off
// again at the next connect.
void keep(int32_t unit);
// Records captured on a unit since the last take (each without line end).
std::vector<std::string> take(int32_t unit);
// Captured records joined with newlines.
std::string take_text(int32_t unit);
// Writes one record to a unit; unknown units go to standard error with the
// unit number so that nothing written is lost.
void write(int32_t unit, std::string_view record);
// While it lives, records written to `unit` are dropped; the unit's
// connection, and what it had captured, come back afterwards.
class Muted {
 public:
  explicit Muted(int32_t unit);
  ~Muted();
  Muted(const Muted&) = delete;
  Muted& operator=(const Muted&) = delete;

 private:
  int32_t unit_;
  bool connected_ = false;
  std::FILE* stream_ = nullptr;
  std::vector<std::string> captured_;
  bool keep_ = false;
};
// Back to the defaults: 6 to stdout, the message units to stderr, the report
// unit to stdout.
void reset();

}  // namespace r3::host::units
