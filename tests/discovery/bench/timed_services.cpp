// Each exported service of the benchmark host calls the reference host's own and adds the
// time it took. The cycle counter costs a few nanoseconds, where the system's precise clock
// would cost about as much as the cheaper services themselves.
#include "timed_services.h"

#include <windows.h>

#include "host/services.h"
#include <x86intrin.h>

namespace bench {
namespace {

std::uint64_t g_ticks = 0;
std::uint64_t g_calls = 0;

// Adds the lifetime of one service call to the counters.
class Timed {
 public:
  Timed() : start_(ticks_now()) {}
  ~Timed() {
    g_ticks += ticks_now() - start_;
    ++g_calls;
  }
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;

 private:
  std::uint64_t start_;
};

}  // namespace

std::uint64_t ticks_now() { return __rdtsc(); }
std::uint64_t service_ticks() { return g_ticks; }
std::uint64_t service_calls() { return g_calls; }
void reset_service_counters() {
  g_ticks = 0;
  g_calls = 0;
}

}  // namespace bench

#define TIMED(result, name, params, args)         \
  extern "C" result __cdecl timed_##name params { \
    bench::Timed timed;                           \
    return name args;                             \
  }

TIMED(int, USESNETWORK, (), ())
TIMED(const char*, GETPROXY, (), ())
TIMED(int, GETPORT, (), ())
TIMED(const char*, GETHOZONDIR, (), ())
TIMED(int, REGEX_COMPILE, (const char* p), (p))
TIMED(int, REGEX_MATCH, (int h, const char* t), (h, t))
TIMED(const char*, REGEX_GETMATCHSTR, (int h, int g), (h, g))
TIMED(int, REGEX_GETMATCHPOS, (int h), (h))
TIMED(int, REGEX_GETMATCHLEN, (int h), (h))
TIMED(int, ISTARAVAILABLE, (), ())
TIMED(const char*, DIRINPUT, (HWND o, const char* p, const char* i), (o, p, i))
TIMED(int, TARDLG, (HWND o, const char* a, const char* d), (o, a, d))
TIMED(const char*, GETINSTALLDIR, (), ())
TIMED(int, SETSYSTEMENV, (const char* n, const char* v), (n, v))
TIMED(int, SETUSERENV, (const char* n, const char* v), (n, v))
