// The steps of compiling a pattern: the parser builds a syntax tree, the generator turns it
// into instructions, the analysis adds what the matcher uses to go faster.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/regex/program.h"

namespace host::regex {

// Limits that keep hostile patterns from exhausting memory or the native stack.
constexpr int kMaxRepeat = 1000;
constexpr int kMaxNesting = 250;
constexpr std::size_t kMaxInstructions = 20000;
constexpr int kMaxGroups = 255;
// Program size times capture slots: the breadth-first matcher keeps that many offsets.
constexpr std::size_t kMaxThreadState = std::size_t{1} << 20;

// Raised by any step; compile_program turns it into the error text.
struct SyntaxError {
  std::string message;
};

struct Node {
  enum Kind { kEmpty, kByte, kSet, kAny, kGroup, kConcat, kAlt, kRepeat, kAssert };
  explicit Node(Kind k, int v = 0) : kind(k), value(v) {}
  Kind kind;
  int value;  // byte, set index, group number (-1: not capturing) or assertion
  int min = 0;
  int max = 0;  // -1: unbounded
  bool greedy = true;
  std::vector<std::unique_ptr<Node>> kids;
};
using NodePtr = std::unique_ptr<Node>;

// Parses the whole pattern; classes go to sets. Sets *groups to the number of capturing groups.
NodePtr parse_pattern(const char* pattern, std::vector<ByteSet>& sets, int* groups);

// Emits the program for the tree: the whole match is saved in slots 0 and 1, then kMatch.
void generate_program(const Node& tree, Program& program);

// Fills the start prefix and first bytes, the single-instruction loops and the memo points.
void analyse_program(Program& program);

}  // namespace host::regex
