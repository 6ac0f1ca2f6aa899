// The compiled form of a pattern: a small instruction list for a breadth-first matcher.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace host::regex {

using ByteSet = std::bitset<256>;

enum class Op : std::uint8_t {
  kByte,    // consume the byte `x`
  kSet,     // consume a byte of sets[x]
  kAny,     // consume any byte but \n
  kSplit,   // continue at x, and with lower priority at y
  kJump,    // continue at x
  kSave,    // record the current offset in capture slot x
  kAssert,  // zero-width test `x` (an Assertion)
  kMatch,
};

enum Assertion : int {
  kTextStart,     // ^ and \A
  kTextEnd,       // \z
  kTextEndOrEol,  // $ and \Z: end of text, or before a \n that ends it
  kWordBoundary,
  kNotWordBoundary,
};

struct Inst {
  Op op;
  int x;
  int y;
};

// A split that repeats a single consuming instruction, with what follows the loop known to
// start with a byte of sets[next_first]. The matcher runs such loops byte by byte and only
// tries the continuation where the next byte can start it.
struct Loop {
  int body = -1;  // the repeated instruction; -1: not such a loop
  int next = -1;  // where the program continues after the loop
  bool greedy = false;
  int next_first = -1;
  int body_bytes = -1;  // sets[body_bytes]: the bytes the body consumes (never NUL)
};

struct Program {
  std::vector<Inst> code;  // starts at 0
  std::vector<ByteSet> sets;
  int groups = 0;  // capturing groups, not counting the whole match
  // Search acceleration: a match must start with `prefix` (when not empty) and with a byte
  // of `first` (when first_known); otherwise every position is a candidate.
  std::string prefix;
  ByteSet first;
  bool first_known = false;
  // Search filter: every match consumes a byte of each required set, in this order, and lies
  // within a stretch of the text free of barrier bytes (those no instruction consumes; NUL
  // always). Where the stretch after a candidate start holds no such sequence of bytes, no
  // match starts there. Empty when the analysis found nothing worth checking.
  std::vector<ByteSet> required;
  ByteSet barrier;
  std::vector<Loop> loops;  // by program position
  // Only a position that several paths lead to needs a visited bit: any other one is reached
  // once per visit of its single predecessor. memo[pc] numbers those bits, -1 for none.
  std::vector<int> memo;
  int memo_points = 0;

  int slots() const { return 2 * (groups + 1); }
};

// Parses and compiles; nullptr with *error set on a syntax error.
std::unique_ptr<Program> compile_program(const char* pattern, std::string* error);

}  // namespace host::regex
