// Each exported service of the benchmark host calls the reference host's own and adds the
// time it took. The cycle counter costs a few nanoseconds, where the system's precise clock
// would cost about as much as the cheaper services themselves.
#include "timed_services.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "host/services.h"
#include <x86intrin.h>

namespace bench {
namespace {

call_count g_services;

}  // namespace

std::uint64_t ticks_now() { return __rdtsc(); }
std::uint64_t service_ticks() { return g_services.ticks; }
std::uint64_t service_calls() { return g_services.calls; }
void reset_service_counters() { g_services = call_count(); }

}  // namespace bench

#define TIMED(name, result, params, args)         \
  extern "C" result __cdecl timed_##name params { \
    bench::timed_call timed(bench::g_services);   \
    return name args;                             \
  }

// A service that does nothing, to measure what the wrapping itself costs.
extern "C" int __cdecl idle_service(int value) { return value; }
TIMED(idle_service, int, (int value), (value))

namespace bench {
namespace {

volatile int g_sink;

// Ticks for `count` calls through the pointer, which the compiler cannot see through.
std::uint64_t ticks_for_calls(int(__cdecl* volatile service)(int), int count) {
  const std::uint64_t start = ticks_now();
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += service(i);
  const std::uint64_t ticks = ticks_now() - start;
  g_sink = sum;
  return ticks;
}

}  // namespace

double wrapper_ticks_outside_count() {
  constexpr int kCalls = 1000000;
  std::vector<double> samples;
  for (int round = 0; round < 7; ++round) {
    const std::uint64_t plain = ticks_for_calls(&idle_service, kCalls);
    reset_service_counters();
    const std::uint64_t wrapped = ticks_for_calls(&timed_idle_service, kCalls);
    const double outside = static_cast<double>(wrapped) - static_cast<double>(plain) -
                           static_cast<double>(service_ticks());
    samples.push_back(outside / kCalls);
  }
  reset_service_counters();
  std::sort(samples.begin(), samples.end());
  return std::max(0.0, samples[samples.size() / 2]);
}

}  // namespace bench

// timed_USESNETWORK ... timed_SETUSERENV, exported under the services' own names.
ISPELL_HOST_SERVICES(TIMED)
