#include "host/units/units.h"

#include <map>

#include "framework/host_services.h"

namespace r3::host::units {
namespace {

struct Sink {
  std::FILE* stream = nullptr;  // null: captured
  std::vector<std::string> captured;
  bool keep = false;  // a copy of what goes to the stream is captured too
};

std::map<int32_t, Sink>& sinks() {
  thread_local std::map<int32_t, Sink> s;
  return s;
}

}  // namespace

void connect(int32_t unit, std::FILE* stream) {
  Sink& s = sinks()[unit];
  s.stream = stream;
  s.captured.clear();
  s.keep = false;
}

void capture(int32_t unit) { connect(unit, nullptr); }

void keep(int32_t unit) { sinks()[unit].keep = true; }

std::vector<std::string> take(int32_t unit) {
  auto it = sinks().find(unit);
  if (it == sinks().end()) return {};
  std::vector<std::string> out;
  out.swap(it->second.captured);
  return out;
}

std::string take_text(int32_t unit) {
  std::string text;
  for (const std::string& r : take(unit)) {
    text += r;
    text += '\n';
  }
  return text;
}

void write(int32_t unit, std::string_view record) {
  auto it = sinks().find(unit);
  if (it == sinks().end()) {
    std::fprintf(stderr, "[unit %d] %.*s\n", unit, static_cast<int>(record.size()), record.data());
    return;
  }
  if (it->second.stream == nullptr) {
    it->second.captured.emplace_back(record);
  } else {
    std::fwrite(record.data(), 1, record.size(), it->second.stream);
    std::fputc('\n', it->second.stream);
    if (it->second.keep) it->second.captured.emplace_back(record);
  }
}

Muted::Muted(int32_t unit) : unit_(unit) {
  auto it = sinks().find(unit);
  if (it != sinks().end()) {
    connected_ = true;
    stream_ = it->second.stream;
    captured_.swap(it->second.captured);
    keep_ = it->second.keep;
  }
  capture(unit);
}

Muted::~Muted() {
  if (!connected_) {
    sinks().erase(unit_);
    return;
  }
  Sink& s = sinks()[unit_];
  s.stream = stream_;
  s.captured.swap(captured_);
  s.keep = keep_;
}

void reset() {
  sinks().clear();
  connect(kStandardOutput, stdout);
  connect(kMessageUnit, stderr);
  connect(kReportUnit, stdout);
  connect(kSecondMessageUnit, stderr);
}

}  // namespace r3::host::units

extern "C" void R3HOST_WRITE(const int32_t* unit, const char* text, const int32_t* length) {
  if (unit == nullptr || text == nullptr || length == nullptr || *length < 0) return;
  r3::host::units::write(*unit, std::string_view(text, static_cast<size_t>(*length)));
}
