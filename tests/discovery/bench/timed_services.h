#pragma once
// Time spent inside the reference host's services, counted by the wrappers the benchmark
// exports under the services' names (timed_services.def).

#include <cstdint>

namespace bench {

// Cycle-counter ticks spent in the services and the number of calls since the last reset.
std::uint64_t service_ticks();
std::uint64_t service_calls();
void reset_service_counters();

// The cycle counter the wrappers read.
std::uint64_t ticks_now();

// Ticks that one wrapped call costs its caller outside the window the wrapper counts (the
// call through the wrapper, half of each counter read, the bookkeeping): time a plug-in
// calling the host directly would not spend. Measured on a wrapped service that does nothing;
// resets the counters.
double wrapper_ticks_outside_count();

}  // namespace bench
