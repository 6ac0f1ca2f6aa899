// Search driver and the memoising backtracker.
#include "host/regex/machine.h"

#include <algorithm>
#include <cstring>

namespace host::regex {
namespace {

// Window sizes for the visited bits, in text offsets. The window starts small and grows for
// long candidates up to the byte budget; beyond it the breadth-first search takes over.
constexpr std::size_t kFirstWindow = 4096;
constexpr std::size_t kMemoBudgetBytes = 8u << 20;
// Pending alternatives and capture restores of one attempt.
constexpr std::size_t kMaxJobs = 1u << 20;

bool is_word(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

Machine::Machine(const Program& p)
    : p_(p),
      slots_(static_cast<std::size_t>(p.slots())),
      caps_(slots_, -1),
      best_(slots_, -1),
      words_(std::max<std::size_t>(1, (static_cast<std::size_t>(p.memo_points) + 31) / 32)) {}

bool Machine::may_start(Offset at) {
  if (at >= stretch_end_) {
    Offset end = at;
    while (!p_.barrier[text_[end]]) ++end;  // NUL is a barrier: never past the text
    stretch_end_ = end;
    // Backwards, each set's byte as late as the ones after it allow: where the first set's
    // byte turns up is the latest start from which the whole sequence can still be found.
    latest_start_ = -1;
    std::size_t k = p_.required.size();
    for (Offset i = end; i-- > at;) {
      if (p_.required[k - 1][text_[i]] && --k == 0) {
        latest_start_ = i;
        break;
      }
    }
  }
  return at <= latest_start_;
}

Offset Machine::next_candidate(Offset from) const {
  if (p_.prefix.size() > 1) {
    const char* hit = std::strstr(reinterpret_cast<const char*>(text_ + from), p_.prefix.c_str());
    return hit == nullptr ? -1 : reinterpret_cast<const unsigned char*>(hit) - text_;
  }
  if (!p_.first_known) return from;
  Offset i = from;
  while (text_[i] != 0 && !p_.first[text_[i]]) ++i;
  return text_[i] == 0 ? -1 : i;
}

bool Machine::holds(int assertion, Offset at) const {
  int c = text_[at];
  int prev = at > 0 ? text_[at - 1] : -1;
  switch (assertion) {
    case kTextStart:
      return at == 0;
    case kTextEnd:
      return c == 0;
    case kTextEndOrEol:
      return c == 0 || (c == '\n' && text_[at + 1] == 0);
    case kWordBoundary:
      return is_word(prev) != is_word(c);
    case kNotWordBoundary:
      return is_word(prev) == is_word(c);
    default:
      return false;
  }
}

bool Machine::run(const unsigned char* text) {
  text_ = text;
  base_ = hi_ = 0;
  bool found = false;
  Offset start = 0;
  stretch_end_ = -1;
  // The filter pays off once an attempt has failed: a search that finds its match at the
  // first candidate, as most do, never looks ahead.
  bool filter = false;
  while (true) {
    Offset at = next_candidate(start);
    if (at < 0) break;
    if (filter && !may_start(at)) {
      if (text_[stretch_end_] == 0) break;
      start = stretch_end_ + 1;
      continue;
    }
    start = at;
    slide_window(start);
    Outcome r = backtrack(start);
    if (r == Outcome::kFound) {
      found = true;
      break;
    }
    if (r == Outcome::kWindowFull && grow_window()) continue;  // retry this start
    if (r != Outcome::kNotFound) {
      clear_window();
      Offset resume = -1;
      if (breadth_first(start, start + static_cast<Offset>(window_), &resume)) {
        found = true;
        break;
      }
      if (resume < 0) break;
      start = base_ = hi_ = resume;
      continue;
    }
    if (text_[start] == 0) break;
    filter = !p_.required.empty();
    ++start;
  }
  clear_window();
  trim();
  text_ = nullptr;
  return found;
}

void Machine::reset() {
  std::vector<std::uint32_t>().swap(memo_);
  std::vector<Job>().swap(jobs_);
  window_ = 0;
  base_ = hi_ = 0;
  text_ = nullptr;
}

// A huge candidate leaves big scratch buffers behind; a pattern lives as long as the host, so
// give them back.
void Machine::trim() {
  if (window_ > kFirstWindow) {
    std::vector<std::uint32_t>().swap(memo_);
    window_ = 0;
  }
  if (jobs_.capacity() > kFirstWindow * 4) std::vector<Job>().swap(jobs_);
}

Machine::Outcome Machine::backtrack(Offset start) {
  std::fill(caps_.begin(), caps_.end(), -1);
  jobs_.clear();
  jobs_.push_back(Job{0, -1, start});
  while (!jobs_.empty()) {
    Job job = jobs_.back();
    jobs_.pop_back();
    if (job.slot >= 0) {
      caps_[static_cast<std::size_t>(job.slot)] = job.value;
      continue;
    }
    int pc = job.pc;
    Offset at = job.value;
    while (true) {
      if (at - base_ >= static_cast<Offset>(window_)) return Outcome::kWindowFull;
      if (!first_visit(pc, at)) break;
      const Inst& in = p_.code[static_cast<std::size_t>(pc)];
      bool ok = true;
      switch (in.op) {
        case Op::kByte:
          ok = text_[at] == in.x;  // never 0, so this also stops at the end of the text
          ++at;
          ++pc;
          break;
        case Op::kSet: {
          int c = text_[at];
          ok = c != 0 && p_.sets[static_cast<std::size_t>(in.x)][static_cast<std::size_t>(c)];
          ++at;
          ++pc;
          break;
        }
        case Op::kAny: {
          int c = text_[at];
          ok = c != 0 && c != '\n';
          ++at;
          ++pc;
          break;
        }
        case Op::kSplit: {
          const Loop& loop = p_.loops[static_cast<std::size_t>(pc)];
          if (loop.body >= 0) {
            Outcome o = run_loop(loop, pc, &at, &ok);
            if (o != Outcome::kNotFound) return o;
            pc = loop.next;
            break;
          }
          if (jobs_.size() >= kMaxJobs) return Outcome::kStackFull;
          jobs_.push_back(Job{in.y, -1, at});
          pc = in.x;
          break;
        }
        case Op::kJump:
          pc = in.x;
          break;
        case Op::kSave: {
          if (jobs_.size() >= kMaxJobs) return Outcome::kStackFull;
          auto slot = static_cast<std::size_t>(in.x);
          jobs_.push_back(Job{0, in.x, caps_[slot]});
          caps_[slot] = at;
          ++pc;
          break;
        }
        case Op::kAssert:
          ok = holds(in.x, at);
          ++pc;
          break;
        case Op::kMatch:
          best_ = caps_;
          return Outcome::kFound;
      }
      if (!ok) break;
    }
  }
  return Outcome::kNotFound;
}

// The backtracker at a single-byte loop (split `pc`, already visited at *at). Explores in
// exactly the order the general code would, leaving out the continuation attempts that
// would fail on their first byte. On kNotFound, *ok tells whether to go on with the
// continuation at *at; otherwise this path is done and pending jobs are next.
Machine::Outcome Machine::run_loop(const Loop& loop, int pc, Offset* at, bool* ok) {
  const ByteSet& next_first = p_.sets[static_cast<std::size_t>(loop.next_first)];
  const ByteSet& body = p_.sets[static_cast<std::size_t>(loop.body_bytes)];
  Offset i = *at;
  while (true) {
    int c = text_[i];
    if (next_first[static_cast<std::size_t>(c)]) {
      if (jobs_.size() >= kMaxJobs) return Outcome::kStackFull;
      if (!loop.greedy) {
        // Lazy: the continuation first, the loop as the alternative.
        jobs_.push_back(Job{loop.body, -1, i});
        *at = i;
        *ok = true;
        return Outcome::kNotFound;
      }
      // Greedy: the continuation here once the longer repetitions have failed.
      jobs_.push_back(Job{loop.next, -1, i});
    }
    if (!body[static_cast<std::size_t>(c)]) break;
    ++i;
    if (i - base_ >= static_cast<Offset>(window_)) return Outcome::kWindowFull;
    if (!first_visit(pc, i)) break;
  }
  *ok = false;
  return Outcome::kNotFound;
}

// Starts of later attempts never come back to offsets before new_base: forget those rows.
void Machine::slide_window(Offset new_base) {
  if (window_ == 0) {
    window_ = kFirstWindow;
    while (window_ > 64 && window_ * words_ * sizeof(std::uint32_t) > kMemoBudgetBytes)
      window_ /= 2;
    memo_.assign(window_ * words_, 0);
  }
  Offset end = std::min(new_base, hi_);
  if (end - base_ >= static_cast<Offset>(window_)) {
    std::fill(memo_.begin(), memo_.end(), 0);
  } else if (end > base_) {
    // The rows of base_ .. end - 1 are one stretch of the ring, or two when it wraps.
    auto first = static_cast<std::size_t>(base_) & (window_ - 1);
    auto rows = static_cast<std::size_t>(end - base_);
    std::size_t before_wrap = std::min(rows, window_ - first);
    std::fill_n(memo_.begin() + static_cast<Offset>(first * words_), before_wrap * words_, 0u);
    std::fill_n(memo_.begin(), (rows - before_wrap) * words_, 0u);
  }
  base_ = new_base;
  hi_ = std::max(hi_, new_base);
}

void Machine::clear_window() { slide_window(hi_); }

bool Machine::grow_window() {
  std::size_t limit = kMemoBudgetBytes / (words_ * sizeof(std::uint32_t));
  if (window_ * 4 > limit) return false;
  window_ *= 4;
  memo_.assign(window_ * words_, 0);
  hi_ = base_;
  return true;
}

}  // namespace host::regex
