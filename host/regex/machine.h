// The matcher that runs a compiled program over a text.
//
// Both strategies below give the leftmost-first match: the one a backtracking engine finds by
// trying alternatives in priority order (earlier start, then preferred branch, greedy or lazy
// as written). A program position reached again at the same text offset is never explored a
// second time, which bounds the work by text length times program size and makes a
// repetition whose body matched nothing stop instead of looping.
//
// - A memoising backtracker (explicit heap stack, one visited bit per joining program position and
//   text offset in a sliding window) does almost all the work: it is fast and, with the
//   visited bits shared by all start offsets of one search, linear.
// - When one attempt reaches further than the window (a match candidate spanning a huge
//   line), a breadth-first simulation of all threads in priority order takes over for that
//   stretch; its memory does not depend on the text.
// Neither recursion nor any buffer depends on the text length, and the text is read one byte
// at a time, never past its NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/regex/program.h"

namespace host::regex {

using Offset = std::ptrdiff_t;

class Machine {
 public:
  explicit Machine(const Program& p);

  // Searches the NUL-terminated text; on success best() holds the capture offsets
  // (-1 for a group that took no part).
  bool run(const unsigned char* text);
  const std::vector<Offset>& best() const { return best_; }
  // Drops all scratch memory (after a failed allocation mid-search, for instance).
  void reset();

 private:
  enum class Outcome { kFound, kNotFound, kWindowFull, kStackFull };

  // The first offset >= from where a match could start, -1 when none can.
  Offset next_candidate(Offset from) const;
  // Whether the barrier-free stretch from `at` on still holds bytes of the required sets in
  // their order (see Program::required); false: no match starts from `at` to stretch_end_.
  bool may_start(Offset at);
  bool holds(int assertion, Offset at) const;

  // Backtracker: one attempt anchored at `start`.
  Outcome backtrack(Offset start);
  // False when `pc` was already tried at `at`; positions only one path leads to are never
  // marked (see Program::memo).
  bool first_visit(int pc, Offset at) {
    int bit = p_.memo[static_cast<std::size_t>(pc)];
    if (bit < 0) return true;
    auto row = static_cast<std::size_t>(at) & (window_ - 1);
    std::uint32_t& word = memo_[row * words_ + static_cast<std::size_t>(bit) / 32];
    std::uint32_t mask = std::uint32_t{1} << (static_cast<unsigned>(bit) % 32);
    if (word & mask) return false;
    word |= mask;
    if (at >= hi_) hi_ = at + 1;
    return true;
  }
  Outcome run_loop(const Loop& loop, int pc, Offset* at, bool* ok);
  void slide_window(Offset new_base);
  void clear_window();
  void trim();
  bool grow_window();

  // Breadth-first search from `start`. On failure *resume is where the backtracker may take
  // over again (the first start offset >= until not yet tried), or -1 at the end of the text.
  bool breadth_first(Offset start, Offset until, Offset* resume);

  struct Job {
    int pc;
    int slot;  // -1: try `pc` at offset `value`; otherwise restore capture `slot` to `value`
    Offset value;
  };

  // Threads at one offset for the breadth-first search: a sparse set of visited program
  // positions, the consuming (or matching) positions in priority order, and their captures.
  struct List {
    List(std::size_t size, std::size_t slots)
        : index(size, 0), visited(size, 0), caps(size * slots, -1) {}
    bool has(int pc) const {
      std::size_t i = index[static_cast<std::size_t>(pc)];
      return i < count && visited[i] == pc;
    }
    void mark(int pc) {
      index[static_cast<std::size_t>(pc)] = count;
      visited[count++] = pc;
    }
    void clear() {
      count = 0;
      threads.clear();
    }
    std::vector<std::size_t> index;
    std::vector<int> visited;
    std::size_t count = 0;
    std::vector<int> threads;
    std::vector<Offset> caps;
  };
  void add_thread(List& list, int pc, Offset at, const Offset* caps);

  const Program& p_;
  const unsigned char* text_ = nullptr;
  // The stretch of the last candidate: where it ends (its barrier byte), and the last offset at
  // which a match could still find the required sequence after it (-1: none).
  Offset stretch_end_ = -1;
  Offset latest_start_ = -1;
  std::size_t slots_;
  std::vector<Offset> caps_;
  std::vector<Offset> best_;
  std::vector<Job> jobs_;

  // Visited bits: offsets base_ .. base_ + window_ - 1 map onto a ring of window_ rows of
  // words_ 32-bit words; rows for offsets base_ .. hi_ - 1 may hold set bits.
  std::size_t words_;
  std::size_t window_ = 0;
  std::vector<std::uint32_t> memo_;
  Offset base_ = 0;
  Offset hi_ = 0;

  // Made on the first breadth-first search only.
  std::unique_ptr<List> a_;
  std::unique_ptr<List> b_;
};

}  // namespace host::regex
