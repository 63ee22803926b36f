// The data manager: work areas in one fixed pool, component tables, the
// message gate and the error buffer, and calls of a user model through its
// entry address.
//
// The pool is DMS_PLEX, an array of doubles, one per thread; DMS_IPLEX is the
// same storage seen as 4-byte words. Every area starts on a double boundary, so an area
// has both a real offset (counting doubles) and an integer offset (counting
// words, 2*(real offset - 1) + 1); DMS_LOCATR and DMS_LOCATI give either for
// any area. Areas never move: allocation is first fit over a list of free
// ranges kept in address order, and freeing merges neighbouring ranges.
// Handles are numbered from 1 and never reused, so a stale handle is
// recognised as unknown instead of reaching another area.
#include "host/data_manager/data_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/services/host_tables.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace {

// The calling thread's pool, zero at its first use and freed when the thread
// ends. Without memory for it the process cannot go on.
double* thread_pool() {
  struct Owner {
    double* p = static_cast<double*>(std::calloc(r3::host::kPlexSize, sizeof(double)));
    ~Owner() { std::free(p); }
  };
  thread_local Owner o;
  if (o.p == nullptr) {
    std::fputs("r3: no memory for the data manager's pool\n", stderr);
    std::abort();
  }
  return o.p;
}

}  // namespace

extern "C" {
thread_local double* DMS_PLEX = thread_pool();
thread_local int32_t* DMS_IPLEX = reinterpret_cast<int32_t*>(thread_pool());
R3_SHARED_AREA char DMS_ERROUT[R3_DMS_ERROUT_LINES][R3_DMS_ERROUT_WIDTH];
}

namespace r3::host {
namespace {

constexpr int32_t kDefaultMessageLevel = 4;

struct Area {
  int32_t start;  // 0-based index of the first double
  int32_t size;   // doubles
};

struct Pool {
  std::map<int32_t, Area> areas;     // by handle
  std::map<int32_t, int32_t> holes;  // start -> size, in address order
  int32_t next_handle = 1;
  int32_t reserved = 0;  // doubles at the start held by the component tables
  // End of the highest range ever handed out since the last reset: the pool
  // beyond it is still zero, so a reset clears only up to here.
  int32_t high_water = 0;
  int bead_depth = 0;
  int pp_depth = 0;
  MessageCounts counts;
};

// One pool per thread, as DMS_PLEX itself.
Pool& pool() {
  thread_local Pool p;
  return p;
}

// One text built by appending its pieces: GCC 12 reports false overlaps in
// long chains of string operator+ when optimising.
template <class... Parts>
std::string join(const Parts&... parts) {
  std::string s;
  (s += ... += parts);
  return s;
}

void message(const std::string& text) {
  units::write(PPEXEC_USER[10], text);
}

void clear_errout() {
  std::memset(DMS_ERROUT, ' ', sizeof DMS_ERROUT);
}

// Allocates `doubles` doubles, first fit. Returns the handle, or 0.
int32_t allocate(int32_t doubles, const char* who, int32_t asked) {
  Pool& p = pool();
  if (doubles < 0) {
    message(join(" ", who, ": the size ", std::to_string(asked), " is negative; nothing allocated."));
    return 0;
  }
  if (doubles == 0) {
    p.areas[p.next_handle] = Area{0, 0};
    return p.next_handle++;
  }
  for (auto it = p.holes.begin(); it != p.holes.end(); ++it) {
    if (it->second < doubles) continue;
    const int32_t start = it->first, rest = it->second - doubles;
    p.holes.erase(it);
    if (rest > 0) p.holes[start + doubles] = rest;
    p.areas[p.next_handle] = Area{start, doubles};
    p.high_water = std::max(p.high_water, start + doubles);
    return p.next_handle++;
  }
  message(join(" ", who, ": no room for ", std::to_string(asked),
               std::string(who) == "DMS_ALLOCR" ? " reals" : " words", " in the work pool (",
               std::to_string(pool_free()), " doubles free)."));
  return 0;
}

void release(int32_t* handle, const char* who) {
  Pool& p = pool();
  if (handle == nullptr) return;
  auto it = p.areas.find(*handle);
  if (it == p.areas.end()) {
    message(join(" ", who, ": handle ", std::to_string(*handle),
                 " is not an allocated work area; nothing freed."));
    return;
  }
  const Area a = it->second;
  p.areas.erase(it);
  *handle = 0;
  if (a.size == 0) return;
  // Put the range back and merge it with its neighbours.
  auto [h, ok] = p.holes.emplace(a.start, a.size);
  (void)ok;
  auto next = std::next(h);
  if (next != p.holes.end() && h->first + h->second == next->first) {
    h->second += next->second;
    p.holes.erase(next);
  }
  if (h != p.holes.begin()) {
    auto prev = std::prev(h);
    if (prev->first + prev->second == h->first) {
      prev->second += h->second;
      p.holes.erase(h);
    }
  }
}

const Area* find_area(const int32_t* handle, const char* who) {
  if (handle != nullptr) {
    auto it = pool().areas.find(*handle);
    if (it != pool().areas.end()) return &it->second;
  }
  message(join(" ", who, ": handle ", handle ? std::to_string(*handle) : std::string("(none)"),
               " is not an allocated work area."));
  return nullptr;
}

void set_out(int32_t* p, int32_t v) {
  if (p != nullptr) *p = v;
}

// Lines of a signalled message, with a heading that names the severity.
void signal(const char* severity, int& counter, const int32_t* routine, const int32_t* msgno,
            const int32_t* nlines, const char* lines, const int32_t* linelen) {
  ++counter;
  const std::string name = routine ? trim(words_to_text(routine, 2)) : std::string("?");
  const int32_t no = msgno ? *msgno : 0;
  const int32_t unit = PPEXEC_USER[10];
  units::write(unit, "");
  units::write(unit, join(" *** ", severity, " from ", name, " (message ", std::to_string(no), ")"));
  if (lines == nullptr || nlines == nullptr || linelen == nullptr || *linelen <= 0) return;
  const int32_t n = std::min(*nlines, 100);
  // Longer lines than any message has are taken as a bad length.
  if (*linelen > 1024) {
    units::write(unit, join("     (lines not shown: line length ", std::to_string(*linelen), ")"));
    return;
  }
  const size_t w = static_cast<size_t>(*linelen);
  for (int32_t i = 0; i < n; ++i) {
    std::string line(lines + static_cast<size_t>(i) * w, w);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    units::write(unit, "     " + line);
  }
}

}  // namespace

int32_t pool_free() {
  int32_t n = 0;
  for (const auto& [start, size] : pool().holes) n += size;
  return n;
}

int pool_areas() {
  return static_cast<int>(pool().areas.size());
}

MessageCounts message_counts() {
  return pool().counts;
}

void reset_data_manager() {
  Pool& p = pool();
  // Only the part of the pool that was handed out can hold old values; the
  // rest has never been written since it was last cleared. Clearing the
  // whole pool would touch every page of it at every run.
  const int32_t used = std::max(p.high_water, p.reserved);
  p = Pool{};
  clear_errout();
  std::memset(DMS_PLEX, 0, sizeof(double) * static_cast<size_t>(used));
  // Component tables: molecular weights, then normal boiling points.
  const int32_t nc = run().ncomp();
  int32_t at = 0;
  auto table = [&](int word, double thermo::Component::*field) {
    DMS_IPOFF1[word - 1] = at;  // component i at DMS_PLEX(at + i)
    for (int32_t i = 0; i < nc; ++i) {
      DMS_PLEX[at + i] = run().components[static_cast<size_t>(i)]->*field;
    }
    at += nc;
  };
  table(306, &thermo::Component::mw);
  table(413, &thermo::Component::tb);
  p.reserved = at;
  p.high_water = at;
  p.holes[at] = kPlexSize - at;
  DMS_NCOMP[11] = 0;
  for (int32_t i = 0; i < nc; ++i) {
    const std::string& id = run().components[static_cast<size_t>(i)]->id;
    if (id == "H2O" || id == "WATER") DMS_NCOMP[11] = i + 1;
  }
  DMS_GLOBAL[5] = kDefaultMessageLevel;
  reset_host_tables();
}

}  // namespace r3::host

using namespace r3::host;

extern "C" {

void DMS_ALLOCR(const int32_t* size, int32_t* handle, int32_t* offset) {
  const int32_t n = size ? *size : -1;
  const int32_t h = allocate(n, "DMS_ALLOCR", n);
  set_out(handle, h);
  set_out(offset, h != 0 ? pool().areas[h].start + 1 : 0);
}

void DMS_ALLOCI(const int32_t* size, int32_t* handle, int32_t* offset) {
  const int32_t n = size ? *size : -1;
  const int32_t h = allocate(n < 0 ? n : n / 2 + n % 2, "DMS_ALLOCI", n);
  set_out(handle, h);
  set_out(offset, h != 0 ? 2 * pool().areas[h].start + 1 : 0);
}

void DMS_FREEBD(int32_t* handle) {
  release(handle, "DMS_FREEBD");
}

void DMS_LOCATR(const int32_t* handle, int32_t* offset) {
  const Area* a = find_area(handle, "DMS_LOCATR");
  set_out(offset, a ? a->start + 1 : 0);
}

void DMS_LOCATI(const int32_t* handle, int32_t* offset) {
  const Area* a = find_area(handle, "DMS_LOCATI");
  set_out(offset, a ? 2 * a->start + 1 : 0);
}

void DMS_ALLOC6(const int32_t* kind, const int32_t* size, int32_t* handle, int32_t* offset) {
  if (kind == nullptr || (*kind != 1 && *kind != 2)) {
    message(" DMS_ALLOC6: the kind " + (kind ? std::to_string(*kind) : std::string("(none)")) +
            " is neither 1 (reals) nor 2 (integers); nothing allocated.");
    set_out(handle, 0);
    set_out(offset, 0);
    return;
  }
  if (*kind == 1) {
    DMS_ALLOCR(size, handle, offset);
  } else {
    DMS_ALLOCI(size, handle, offset);
  }
}

void DMS_FREE6(int32_t* handle) {
  release(handle, "DMS_FREE6");
}

void DMS_SIMBEAD(const int32_t* onoff) {
  int& depth = pool().bead_depth;
  if (onoff != nullptr && *onoff != 0) {
    ++depth;
  } else if (depth > 0) {
    --depth;
  }
}

void DMS_PPENT(void) {
  ++pool().pp_depth;
}
void DMS_PPEXT(void) {
  if (pool().pp_depth > 0) --pool().pp_depth;
}

int32_t DMS_IRRCHK(const int32_t* /*routine*/, const int32_t* /*iclass*/, const int32_t* /*msgno*/,
                   const int32_t* level, const int32_t* /*glevel*/, const int32_t*, const int32_t*,
                   const int32_t*) {
  // Messages are written unless the caller's diagnostic level is 0.
  return (level != nullptr && *level == 0) ? 0 : 1;
}

void DMS_ERRPRT(const int32_t* n) {
  int32_t lines = n ? std::clamp(*n, 0, R3_DMS_ERROUT_LINES) : 0;
  // Blank lines at the end of the requested range are not printed.
  auto blank = [](int i) {
    const char* l = DMS_ERROUT[i];
    return std::all_of(l, l + R3_DMS_ERROUT_WIDTH, [](char c) { return c == ' ' || c == '\0'; });
  };
  while (lines > 0 && blank(lines - 1)) --lines;
  for (int32_t i = 0; i < lines; ++i) {
    std::string line(DMS_ERROUT[i], R3_DMS_ERROUT_WIDTH);
    for (char& c : line) {
      if (c == '\0') c = ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    units::write(PPEXEC_USER[10], line);
  }
  clear_errout();
}

void U3ERROR_SIG_ERROR(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                       const char* lines, const int32_t* linelen) {
  signal("ERROR", pool().counts.errors, routine, msgno, nlines, lines, linelen);
}

void U3ERROR_SIG_WARNING(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                         const char* lines, const int32_t* linelen) {
  signal("WARNING", pool().counts.warnings, routine, msgno, nlines, lines, linelen);
}

void U3ERROR_SIG_APINFO(const int32_t* routine, const int32_t* msgno, const int32_t* nlines,
                        const char* lines, const int32_t* linelen) {
  signal("INFORMATION", pool().counts.infos, routine, msgno, nlines, lines, linelen);
}

void DMS_DOCALL(const intptr_t* entry, R3_DOCALL_PARAMS) {
  if (entry == nullptr || *entry == 0) {
    message(" DMS_DOCALL: no entry address; the user model was not called.");
    // ISTAT is the last argument.
    if (a98 != nullptr) *static_cast<int32_t*>(a98) = 1;
    return;
  }
  const auto fn = reinterpret_cast<R3UserModel80>(*entry);
  fn(R3_DOCALL_ARGS);
}

}  // extern "C"
