// The regex engine through its public interface: the input is a pattern and a
// text separated by the first NUL byte (without one, the input is both). The
// pattern is compiled and searched for at successive offsets, as the plug-in
// walks an index page; positions and groups must describe the text. Each
// search has a budget of processor time per byte of text, so a pattern that
// makes the engine super-linear is a finding even when it ends in time.
#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "host/regex/regex.h"

using host::regex::Pattern;

namespace {

std::int64_t thread_cpu_ns() {
  struct timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// How much bigger than its text the compiled pattern can be: counted repetitions
// multiply their body. Capped, as the engine caps its programs.
double pattern_weight(const std::string& pattern) {
  double weight = static_cast<double>(pattern.size()) + 1;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') continue;
    double largest = 0, value = 0;
    for (std::size_t j = i + 1; j < pattern.size() && j < i + 16; ++j) {
      const char c = pattern[j];
      if (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
      } else {
        largest = std::max(largest, value);
        value = 0;
        if (c == '}') break;
      }
    }
    weight *= std::max(1.0, std::min(largest, 1e4));
  }
  return std::min(weight, 1e7);
}

// Generous for a linear engine under the sanitizers; a quadratic or
// exponential one overruns it on a few kilobytes of text.
std::int64_t budget_ns(double weight, std::size_t text_bytes) {
  return 50000000 + static_cast<std::int64_t>(100.0 * weight * static_cast<double>(text_bytes + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* begin = reinterpret_cast<const char*>(data);
  const char* nul = static_cast<const char*>(std::memchr(begin, 0, size));
  const std::string pattern(begin, nul ? nul : begin + size);
  const std::string text = nul ? std::string(nul + 1, begin + size) : pattern;
  // The engine reads up to the terminator: the text ends at its own first NUL.
  const std::size_t text_len = std::strlen(text.c_str());

  std::string error;
  std::unique_ptr<Pattern> compiled = Pattern::compile(pattern.c_str(), &error);
  if (!compiled) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  const int groups = compiled->group_count();
  FUZZ_CHECK(groups >= 0);
  const double weight = pattern_weight(pattern);

  std::size_t offset = 0;
  for (int round = 0; round < 32 && offset <= text_len; ++round) {
    const char* at = text.c_str() + offset;
    const std::size_t left = text_len - offset;
    bool found = false;
    // A machine shared with builds has slow moments (page faults count as the thread's
    // time); an overrun counts only when the fastest of three runs of the search overruns.
    std::int64_t fastest = INT64_MAX;
    for (int attempt = 0; attempt < 3 && fastest > budget_ns(weight, left); ++attempt) {
      const std::int64_t start = thread_cpu_ns();
      found = compiled->search(at);
      fastest = std::min(fastest, thread_cpu_ns() - start);
    }
    if (fastest > budget_ns(weight, left)) {
      std::fprintf(stderr, "search took %lld ns for %zu bytes of text (weight %.0f)\n",
                   static_cast<long long>(fastest), left, weight);
      FUZZ_CHECK(!"super-linear search");
    }
    if (!found) {
      FUZZ_CHECK(compiled->match_pos() == -1 && compiled->match_len() == 0);
      FUZZ_CHECK(std::strcmp(compiled->group(0), "") == 0);
      break;
    }
    const int pos = compiled->match_pos(), len = compiled->match_len();
    FUZZ_CHECK(pos >= 0 && len >= 0);
    FUZZ_CHECK(static_cast<std::size_t>(pos) + static_cast<std::size_t>(len) <= left);
    const std::string match(at + pos, static_cast<std::size_t>(len));
    FUZZ_CHECK(compiled->group(0) == match);
    // The dialect has no look-around: every group lies inside the match.
    for (int n = 1; n <= groups; ++n)
      FUZZ_CHECK(match.find(compiled->group(n)) != std::string::npos);
    FUZZ_CHECK(std::strcmp(compiled->group(groups + 1), "") == 0);
    FUZZ_CHECK(std::strcmp(compiled->group(-1), "") == 0);
    offset += static_cast<std::size_t>(pos) + static_cast<std::size_t>(std::max(len, 1));
  }
  return 0;
}
