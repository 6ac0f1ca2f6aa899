// Breadth-first simulation of all threads in priority order, with per-thread captures.
//
// Each list holds the threads at one text offset in the order a backtracking matcher would
// try them; a program position already on the list keeps its first (higher-priority) thread.
// When a thread matches, every later thread in its list has lower priority and is dropped,
// while earlier ones run on and may still replace the match.
#include <algorithm>

#include "host/regex/machine.h"

namespace host::regex {

// Adds the thread at `pc` with captures `caps` and everything it reaches without consuming
// a byte, depth first so that list order stays priority order.
void Machine::add_thread(List& list, int pc0, Offset at, const Offset* caps) {
  std::copy(caps, caps + slots_, caps_.begin());
  jobs_.clear();
  jobs_.push_back(Job{pc0, -1, 0});
  while (!jobs_.empty()) {
    Job job = jobs_.back();
    jobs_.pop_back();
    if (job.slot >= 0) {
      caps_[static_cast<std::size_t>(job.slot)] = job.value;
      continue;
    }
    int pc = job.pc;
    while (!list.has(pc)) {
      list.mark(pc);
      const Inst& in = p_.code[static_cast<std::size_t>(pc)];
      if (in.op == Op::kJump) {
        pc = in.x;
      } else if (in.op == Op::kSplit) {
        jobs_.push_back(Job{in.y, -1, 0});
        pc = in.x;
      } else if (in.op == Op::kSave) {
        auto slot = static_cast<std::size_t>(in.x);
        jobs_.push_back(Job{0, in.x, caps_[slot]});
        caps_[slot] = at;
        ++pc;
      } else if (in.op == Op::kAssert) {
        if (!holds(in.x, at)) break;
        ++pc;
      } else {
        list.threads.push_back(pc);
        std::copy(caps_.begin(), caps_.end(),
                  list.caps.begin() + static_cast<Offset>(static_cast<std::size_t>(pc) * slots_));
        break;
      }
    }
  }
}

bool Machine::breadth_first(Offset start, Offset until, Offset* resume) {
  const std::vector<Offset> none(slots_, -1);
  if (!a_) {
    a_ = std::make_unique<List>(p_.code.size(), slots_);
    b_ = std::make_unique<List>(p_.code.size(), slots_);
  }
  List* now = a_.get();
  List* next = b_.get();
  now->clear();
  bool matched = false;
  Offset at = start;
  *resume = -1;
  while (true) {
    if (!matched) {
      if (now->threads.empty()) {
        if (at >= until) {
          *resume = at;
          return false;
        }
        Offset candidate = next_candidate(at);
        if (candidate < 0) return false;
        if (candidate != at) {
          now->clear();
          at = candidate;
        }
      }
      // A new start has the lowest priority: earlier starts are further left.
      add_thread(*now, 0, at, none.data());
    }
    int c = text_[at];
    next->clear();
    for (int pc : now->threads) {
      const Inst& in = p_.code[static_cast<std::size_t>(pc)];
      const Offset* caps = now->caps.data() + static_cast<std::size_t>(pc) * slots_;
      if (in.op == Op::kMatch) {
        std::copy(caps, caps + slots_, best_.begin());
        matched = true;
        break;
      }
      if (c == 0) continue;
      bool ok = false;
      switch (in.op) {
        case Op::kByte:
          ok = c == in.x;
          break;
        case Op::kSet:
          ok = p_.sets[static_cast<std::size_t>(in.x)][static_cast<std::size_t>(c)];
          break;
        case Op::kAny:
          ok = c != '\n';
          break;
        default:
          break;
      }
      if (ok) add_thread(*next, pc + 1, at + 1, caps);
    }
    if (c == 0 || (matched && next->threads.empty())) break;
    std::swap(now, next);
    ++at;
  }
  return matched;
}

}  // namespace host::regex
