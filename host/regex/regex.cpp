// Breadth-first (Pike) simulation of the compiled program with per-thread captures.
//
// Threads are kept in priority order, the order a backtracking matcher would try them, and a
// program position reached twice at one text offset keeps only its first (highest-priority)
// thread. The result is the leftmost-first match with the same groups a backtracking engine
// gives, in time proportional to text length times program size, with heap memory only.
#include "host/regex/regex.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "host/regex/program.h"

namespace host::regex {

using Offset = std::ptrdiff_t;

namespace {

bool is_word(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

class Machine {
 public:
  explicit Machine(const Program& p)
      : p_(p),
        slots_(static_cast<std::size_t>(p.slots())),
        a_(p.code.size(), slots_),
        b_(p.code.size(), slots_),
        initial_(slots_, -1),
        scratch_(slots_),
        best_(slots_) {}

  // Runs a search; on success best() holds the capture offsets.
  bool run(const unsigned char* text);
  const std::vector<Offset>& best() const { return best_; }

 private:
  // The threads at one text offset: a sparse set of visited program positions, the consuming
  // (or matching) positions in priority order, and the captures of each such position.
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

  // Where the text stands for zero-width tests: `at` points at the byte at `offset`.
  struct Position {
    const unsigned char* at;
    Offset offset;
    int prev;  // byte before, -1 at the start of the text
  };

  bool holds(int assertion, const Position& pos) const;
  void add(List& list, int pc, const Position& pos, const Offset* caps);
  Offset next_candidate(const unsigned char* text, Offset from) const;

  struct Frame {
    int pc;  // -1: restore slot `slot` to `old`
    int slot;
    Offset old;
  };

  const Program& p_;
  std::size_t slots_;
  List a_;
  List b_;
  std::vector<Offset> initial_;
  std::vector<Offset> scratch_;
  std::vector<Offset> best_;
  std::vector<Frame> stack_;
};

bool Machine::holds(int assertion, const Position& pos) const {
  int c = pos.at[0];
  switch (assertion) {
    case kTextStart:
      return pos.prev < 0;
    case kTextEnd:
      return c == 0;
    case kTextEndOrEol:
      return c == 0 || (c == '\n' && pos.at[1] == 0);
    case kWordBoundary:
      return is_word(pos.prev) != is_word(c);
    case kNotWordBoundary:
      return is_word(pos.prev) == is_word(c);
    default:
      return false;
  }
}

// Adds the thread at `pc` with captures `caps` and everything it reaches without consuming
// a byte, depth first so that list order is priority order.
void Machine::add(List& list, int pc0, const Position& pos, const Offset* caps) {
  std::copy(caps, caps + slots_, scratch_.begin());
  stack_.clear();
  stack_.push_back(Frame{pc0, 0, 0});
  while (!stack_.empty()) {
    Frame f = stack_.back();
    stack_.pop_back();
    if (f.pc < 0) {
      scratch_[static_cast<std::size_t>(f.slot)] = f.old;
      continue;
    }
    int pc = f.pc;
    while (!list.has(pc)) {
      list.mark(pc);
      const Inst& in = p_.code[static_cast<std::size_t>(pc)];
      if (in.op == Op::kJump) {
        pc = in.x;
      } else if (in.op == Op::kSplit) {
        stack_.push_back(Frame{in.y, 0, 0});
        pc = in.x;
      } else if (in.op == Op::kSave) {
        auto slot = static_cast<std::size_t>(in.x);
        stack_.push_back(Frame{-1, in.x, scratch_[slot]});
        scratch_[slot] = pos.offset;
        ++pc;
      } else if (in.op == Op::kAssert) {
        if (!holds(in.x, pos)) break;
        ++pc;
      } else {
        list.threads.push_back(pc);
        std::copy(scratch_.begin(), scratch_.end(),
                  list.caps.begin() + static_cast<Offset>(static_cast<std::size_t>(pc) * slots_));
        break;
      }
    }
  }
}

// The first offset >= from where a match could start, -1 when none can.
Offset Machine::next_candidate(const unsigned char* text, Offset from) const {
  if (p_.prefix.size() > 1) {
    const char* hit = std::strstr(reinterpret_cast<const char*>(text + from), p_.prefix.c_str());
    return hit == nullptr ? -1 : reinterpret_cast<const unsigned char*>(hit) - text;
  }
  if (!p_.first_known) return from;
  Offset i = from;
  while (text[i] != 0 && !p_.first[text[i]]) ++i;
  return text[i] == 0 ? -1 : i;
}

bool Machine::run(const unsigned char* text) {
  List* now = &a_;
  List* next = &b_;
  now->clear();
  bool matched = false;
  Position pos{text, 0, -1};
  while (true) {
    if (!matched) {
      if (now->threads.empty()) {
        // Nothing in flight: jump to where a match can start.
        Offset at = next_candidate(text, pos.offset);
        if (at < 0) break;
        if (at != pos.offset) {
          now->clear();
          pos = Position{text + at, at, text[at - 1]};
        }
      }
      // A new start has the lowest priority: earlier starts are leftmost.
      add(*now, 0, pos, initial_.data());
    }
    int c = pos.at[0];
    Position after{pos.at + 1, pos.offset + 1, c};
    next->clear();
    for (int pc : now->threads) {
      const Inst& in = p_.code[static_cast<std::size_t>(pc)];
      const Offset* caps = now->caps.data() + static_cast<std::size_t>(pc) * slots_;
      if (in.op == Op::kMatch) {
        std::copy(caps, caps + slots_, best_.begin());
        matched = true;
        break;  // every later thread has lower priority
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
      if (ok) add(*next, pc + 1, after, caps);
    }
    if (c == 0 || (matched && next->threads.empty())) break;
    std::swap(now, next);
    pos = after;
  }
  return matched;
}

Pattern::Pattern(std::unique_ptr<Program> program)
    : program_(std::move(program)),
      machine_(std::make_unique<Machine>(*program_)),
      groups_(static_cast<std::size_t>(program_->groups + 1)) {}

Pattern::~Pattern() = default;

std::unique_ptr<Pattern> Pattern::compile(const char* pattern, std::string* error) {
  if (pattern == nullptr) {
    if (error != nullptr) *error = "no pattern";
    return nullptr;
  }
  std::unique_ptr<Program> program = compile_program(pattern, error);
  if (!program) return nullptr;
  return std::unique_ptr<Pattern>(new Pattern(std::move(program)));
}

bool Pattern::search(const char* text) {
  for (std::string& g : groups_) g.clear();
  pos_ = -1;
  len_ = 0;
  matched_ = false;
  if (text == nullptr) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (!machine_->run(bytes)) return false;
  const std::vector<Offset>& caps = machine_->best();
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    Offset b = caps[2 * g];
    Offset e = caps[2 * g + 1];
    if (b >= 0 && e >= b) groups_[g].assign(text + b, text + e);
  }
  matched_ = true;
  pos_ = static_cast<int>(caps[0]);
  len_ = static_cast<int>(caps[1] - caps[0]);
  return true;
}

const char* Pattern::group(int n) const {
  if (!matched_ || n < 0 || n >= static_cast<int>(groups_.size())) return "";
  return groups_[static_cast<std::size_t>(n)].c_str();
}

int Pattern::group_count() const { return program_->groups; }

}  // namespace host::regex
