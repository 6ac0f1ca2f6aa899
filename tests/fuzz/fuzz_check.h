// What the fuzz targets share: a check that stops the run (a finding) when an
// invariant of the code under test does not hold, and a cap on decoded output
// so that one small input cannot turn into gigabytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Decompression bombs are legal input; decoding past this proves nothing more.
constexpr std::size_t kMaxOutput = std::size_t{16} << 20;

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::fail(__FILE__, __LINE__, #condition))
