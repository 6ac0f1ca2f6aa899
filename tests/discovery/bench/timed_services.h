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

// The time and number of the calls that one kind of wrapper counted.
struct call_count {
  std::uint64_t ticks = 0;
  std::uint64_t calls = 0;
};

// Adds its own lifetime, that of one wrapped call, to a count.
class timed_call {
 public:
  explicit timed_call(call_count& count) : count_(count), start_(ticks_now()) {}
  ~timed_call() {
    count_.ticks += ticks_now() - start_;
    ++count_.calls;
  }
  timed_call(const timed_call&) = delete;
  timed_call& operator=(const timed_call&) = delete;

 private:
  call_count& count_;
  std::uint64_t start_;
};

// Ticks that one wrapped call costs its caller outside the window the wrapper counts (the
// call through the wrapper, half of each counter read, the bookkeeping): time a plug-in
// calling the host directly would not spend. Measured on a wrapped service that does nothing;
// resets the counters.
double wrapper_ticks_outside_count();

}  // namespace bench
