// Analysis of a generated program: what a match starts with, the loops the matcher can run byte
// by byte, and the positions that need a visited bit.
#include <algorithm>
#include <utility>

#include "host/regex/compile_steps.h"

namespace host::regex {
namespace {

// The bytes an instruction consumes (none for one that consumes nothing).
ByteSet consumed(const Program& p, const Inst& in) {
  ByteSet bytes;
  if (in.op == Op::kByte) bytes.set(static_cast<std::size_t>(in.x));
  if (in.op == Op::kSet) bytes = p.sets[static_cast<std::size_t>(in.x)];
  if (in.op == Op::kAny) bytes = ~ByteSet().set('\n');
  bytes.reset(0);
  return bytes;
}

// The positions of the literal bytes every match starts with, in order: the bytes reached from
// the start over saves and jumps alone.
std::vector<std::size_t> prefix_positions(const Program& p) {
  std::vector<std::size_t> positions;
  std::size_t pc = 0;
  while (true) {
    const Inst& in = p.code[pc];
    if (in.op == Op::kSave) {
      ++pc;
    } else if (in.op == Op::kJump) {
      pc = static_cast<std::size_t>(in.x);
    } else if (in.op == Op::kByte) {
      positions.push_back(pc);
      ++pc;
    } else {
      return positions;
    }
  }
}

// The bytes a match of the program from `from` can start with. False when it can also start
// without consuming a byte (a zero-width test or the end of the pattern comes first).
bool first_bytes(const Program& p, std::size_t from, ByteSet* out) {
  std::vector<bool> seen(p.code.size(), false);
  std::vector<std::size_t> todo{from};
  ByteSet first;
  while (!todo.empty()) {
    std::size_t at = todo.back();
    todo.pop_back();
    if (seen[at]) continue;
    seen[at] = true;
    const Inst& in = p.code[at];
    switch (in.op) {
      case Op::kByte:
      case Op::kSet:
      case Op::kAny:
        first |= consumed(p, in);
        break;
      case Op::kSplit:
        todo.push_back(static_cast<std::size_t>(in.x));
        todo.push_back(static_cast<std::size_t>(in.y));
        break;
      case Op::kJump:
        todo.push_back(static_cast<std::size_t>(in.x));
        break;
      case Op::kSave:
        todo.push_back(at + 1);
        break;
      case Op::kAssert:
      case Op::kMatch:
        return false;
    }
  }
  *out = first;
  return true;
}

// The literal bytes every match starts with, and the set of possible first bytes.
void analyse_start(Program& p) {
  for (std::size_t pc : prefix_positions(p)) p.prefix.push_back(static_cast<char>(p.code[pc].x));
  p.first_known = first_bytes(p, 0, &p.first);
}

// Calls visit(target) for each position the program can go on at after position pc (none after
// the match; a target may lie outside the program).
template <typename Visit>
void for_each_successor(const Inst& in, std::size_t pc, Visit visit) {
  switch (in.op) {
    case Op::kSplit:
      visit(in.x);
      visit(in.y);
      break;
    case Op::kJump:
      visit(in.x);
      break;
    case Op::kMatch:
      break;
    default:
      visit(static_cast<int>(pc) + 1);
      break;
  }
}

bool consumes(const Inst& in) {
  return in.op == Op::kByte || in.op == Op::kSet || in.op == Op::kAny;
}

// A split that repeats one consuming instruction: `body` (at s.x for a greedy loop, s.y for a
// lazy one) is followed by the split itself or by a jump back to it.
bool loops_over(const Program& p, int split, int body) {
  if (body < 0 || static_cast<std::size_t>(body) + 1 >= p.code.size()) return false;
  if (!consumes(p.code[static_cast<std::size_t>(body)])) return false;
  const Inst& after = p.code[static_cast<std::size_t>(body) + 1];
  return body + 1 == split || (after.op == Op::kJump && after.x == split);
}

void analyse_loops(Program& p) {
  p.loops.assign(p.code.size(), Loop{});
  for (std::size_t pc = 0; pc < p.code.size(); ++pc) {
    const Inst& in = p.code[pc];
    if (in.op != Op::kSplit) continue;
    int split = static_cast<int>(pc);
    Loop loop;
    if (loops_over(p, split, in.x)) {
      loop = Loop{in.x, in.y, true, -1};
    } else if (loops_over(p, split, in.y)) {
      loop = Loop{in.y, in.x, false, -1};
    } else {
      continue;
    }
    ByteSet next;
    if (!first_bytes(p, static_cast<std::size_t>(loop.next), &next)) continue;
    p.sets.push_back(next);
    loop.next_first = static_cast<int>(p.sets.size() - 1);
    const Inst& body = p.code[static_cast<std::size_t>(loop.body)];
    ByteSet bytes;
    if (body.op == Op::kByte) {
      bytes.set(static_cast<std::size_t>(body.x));
    } else if (body.op == Op::kSet) {
      bytes = p.sets[static_cast<std::size_t>(body.x)];
    } else {
      bytes = ~ByteSet().set('\n');
    }
    bytes.reset(0);
    p.sets.push_back(bytes);
    loop.body_bytes = static_cast<int>(p.sets.size() - 1);
    p.loops[pc] = loop;
  }
}

// The consuming instructions every path from the start to the match goes through (the match's
// dominators), as byte sets in the order every path meets them (they form a chain, each
// dominating the next); and the bytes no instruction consumes. Sets that the literal prefix
// covers (a candidate starts with it) or that hold most bytes (nearly every stretch has one)
// are left out, and so is the whole analysis for big programs.
void analyse_required(Program& p) {
  constexpr std::size_t kMaxAnalysed = 1024;
  constexpr std::size_t kMaxRequired = 32;
  constexpr std::size_t kMaxSetBytes = 64;
  const std::size_t n = p.code.size();
  ByteSet accepted;
  for (const Inst& in : p.code) accepted |= consumed(p, in);
  p.barrier = ~accepted;
  p.barrier.set(0);
  if (n > kMaxAnalysed) return;

  // dominators[pc]: the positions on every path from 0 to pc (pc itself included).
  std::vector<std::vector<bool>> dominators(n, std::vector<bool>(n, true));
  std::vector<std::vector<std::size_t>> predecessors(n);
  for (std::size_t pc = 0; pc < n; ++pc) {
    for_each_successor(p.code[pc], pc, [&](int to) {
      if (to >= 0 && static_cast<std::size_t>(to) < n) {
        predecessors[static_cast<std::size_t>(to)].push_back(pc);
      }
    });
  }
  dominators[0].assign(n, false);
  dominators[0][0] = true;
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t pc = 1; pc < n; ++pc) {
      std::vector<bool> meet(n, !predecessors[pc].empty());
      for (std::size_t from : predecessors[pc]) {
        for (std::size_t k = 0; k < n; ++k) meet[k] = meet[k] && dominators[from][k];
      }
      meet[pc] = true;
      if (meet != dominators[pc]) {
        dominators[pc].swap(meet);
        changed = true;
      }
    }
  }
  std::size_t match = n;
  for (std::size_t pc = 0; pc < n; ++pc) {
    if (p.code[pc].op == Op::kMatch) match = pc;
  }
  if (match == n) return;

  std::vector<bool> in_prefix(n, false);
  for (std::size_t pc : prefix_positions(p)) in_prefix[pc] = true;
  // A dominator with more dominators of its own comes later on every path.
  std::vector<std::pair<std::size_t, std::size_t>> chain;  // (depth, pc)
  for (std::size_t pc = 0; pc < n; ++pc) {
    if (!dominators[match][pc] || in_prefix[pc]) continue;
    const ByteSet bytes = consumed(p, p.code[pc]);
    if (bytes.none() || bytes.count() > kMaxSetBytes) continue;
    std::size_t depth = 0;
    for (std::size_t k = 0; k < n; ++k) depth += dominators[pc][k] ? 1 : 0;
    chain.emplace_back(depth, pc);
  }
  std::sort(chain.begin(), chain.end());
  for (const auto& link : chain) {
    if (p.required.size() == kMaxRequired) break;
    p.required.push_back(consumed(p, p.code[link.second]));
  }
}

// Counts the ways into each position (the start counts as one) and numbers the positions
// with more than one.
void analyse_joins(Program& p) {
  std::vector<int> ways(p.code.size(), 0);
  ways[0] = 1;
  auto into = [&](int target) {
    if (target >= 0 && static_cast<std::size_t>(target) < ways.size())
      ++ways[static_cast<std::size_t>(target)];
  };
  for (std::size_t pc = 0; pc < p.code.size(); ++pc) for_each_successor(p.code[pc], pc, into);
  p.memo.assign(p.code.size(), -1);
  p.memo_points = 0;
  for (std::size_t pc = 0; pc < p.code.size(); ++pc) {
    if (ways[pc] > 1) p.memo[pc] = p.memo_points++;
  }
}

}  // namespace

void analyse_program(Program& program) {
  analyse_start(program);
  analyse_required(program);
  analyse_loops(program);
  analyse_joins(program);
}

}  // namespace host::regex
