// Pattern parser: the syntax tree and the byte sets of the classes.
#include <cstring>
#include <string>

#include "host/regex/compile_steps.h"

namespace host::regex {
namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int hex_value(int c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

ByteSet range_set(int lo, int hi) {
  ByteSet s;
  for (int c = lo; c <= hi; ++c) s.set(static_cast<std::size_t>(c));
  return s;
}
ByteSet digit_set() { return range_set('0', '9'); }
ByteSet word_set() {
  ByteSet s = range_set('a', 'z') | range_set('A', 'Z') | digit_set();
  s.set('_');
  return s;
}
ByteSet space_set() {
  ByteSet s;
  for (char c : std::string(" \t\n\r\f\v")) s.set(static_cast<unsigned char>(c));
  return s;
}

class Parser {
 public:
  Parser(const char* pattern, std::vector<ByteSet>& sets)
      : s_(reinterpret_cast<const unsigned char*>(pattern)), sets_(sets) {}

  NodePtr parse() {
    NodePtr n = parse_alternation();
    if (peek() == ')') fail("unmatched )");
    return n;
  }
  int groups() const { return groups_; }

 private:
  int peek(std::size_t ahead = 0) const {
    // Never look beyond the terminating NUL.
    for (std::size_t k = 0; k < ahead; ++k)
      if (s_[i_ + k] == 0) return 0;
    return s_[i_ + ahead];
  }
  [[noreturn]] void fail(const std::string& what) const {
    throw SyntaxError{what + " at offset " + std::to_string(i_)};
  }
  int add_set(const ByteSet& s) {
    sets_.push_back(s);
    return static_cast<int>(sets_.size() - 1);
  }

  NodePtr parse_alternation() {
    NodePtr first = parse_concatenation();
    if (peek() != '|') return first;
    auto alt = std::make_unique<Node>(Node::kAlt);
    alt->kids.push_back(std::move(first));
    while (peek() == '|') {
      ++i_;
      alt->kids.push_back(parse_concatenation());
    }
    return alt;
  }

  NodePtr parse_concatenation() {
    auto cat = std::make_unique<Node>(Node::kConcat);
    for (int c = peek(); c != 0 && c != '|' && c != ')'; c = peek())
      cat->kids.push_back(parse_repetition());
    if (cat->kids.empty()) return std::make_unique<Node>(Node::kEmpty);
    if (cat->kids.size() == 1) return std::move(cat->kids[0]);
    return cat;
  }

  // Reads a {m}, {m,}, {,n} or {m,n} at the current position. False (position unchanged) when the
  // text there is not one, in which case the brace is an ordinary character.
  bool read_counts(int* min, int* max) {
    std::size_t j = i_;
    if (s_[j] != '{') return false;
    ++j;
    auto number = [&](int* out) {
      if (!is_digit(s_[j])) return false;
      long v = 0;
      while (is_digit(s_[j])) {
        if (v <= kMaxRepeat) v = v * 10 + (s_[j] - '0');
        ++j;
      }
      *out = v > kMaxRepeat ? kMaxRepeat + 1 : static_cast<int>(v);
      return true;
    };
    int lo = 0;
    int hi = 0;
    if (number(&lo)) {
      if (s_[j] == ',') {
        ++j;
        if (!number(&hi)) hi = -1;
      } else {
        hi = lo;
      }
    } else {
      // {,n} means {0,n}; a lone {, } or {,} is ordinary text.
      if (s_[j] != ',') return false;
      ++j;
      if (!number(&hi)) return false;
    }
    if (s_[j] != '}') return false;
    i_ = j + 1;
    if (lo > kMaxRepeat || hi > kMaxRepeat) fail("repetition count above 1000");
    if (hi != -1 && hi < lo) fail("repetition counts out of order");
    *min = lo;
    *max = hi;
    return true;
  }

  bool at_quantifier() {
    int c = peek();
    if (c == '*' || c == '+' || c == '?') return true;
    if (c != '{') return false;
    std::size_t saved = i_;
    int lo = 0;
    int hi = 0;
    bool yes = read_counts(&lo, &hi);
    i_ = saved;
    return yes;
  }

  NodePtr parse_repetition() {
    NodePtr atom = parse_atom();
    if (!at_quantifier()) return atom;
    if (atom->kind == Node::kAssert) fail("quantifier after an anchor");
    auto rep = std::make_unique<Node>(Node::kRepeat);
    int c = peek();
    if (c == '{') {
      read_counts(&rep->min, &rep->max);
    } else {
      ++i_;
      rep->min = c == '+' ? 1 : 0;
      rep->max = c == '?' ? 1 : -1;
    }
    if (peek() == '?') {
      ++i_;
      rep->greedy = false;
    }
    if (at_quantifier()) fail("nested quantifier");
    rep->kids.push_back(std::move(atom));
    return rep;
  }

  NodePtr parse_atom() {
    int c = peek();
    switch (c) {
      case '(':
        return parse_group();
      case '[':
        ++i_;
        return std::make_unique<Node>(Node::kSet, add_set(parse_class()));
      case '.':
        ++i_;
        return std::make_unique<Node>(Node::kAny);
      case '^':
        ++i_;
        return std::make_unique<Node>(Node::kAssert, kTextStart);
      case '$':
        ++i_;
        return std::make_unique<Node>(Node::kAssert, kTextEndOrEol);
      case '\\':
        return parse_escape();
      case '*':
      case '+':
      case '?':
        fail("quantifier without anything to repeat");
      default:
        if (at_quantifier()) fail("quantifier without anything to repeat");
        ++i_;
        return std::make_unique<Node>(Node::kByte, c);
    }
  }

  NodePtr parse_group() {
    std::size_t open = i_;
    ++i_;
    int number = -1;
    if (peek() == '?') {
      if (peek(1) != ':') fail("unsupported group syntax");
      i_ += 2;
    } else {
      if (groups_ == kMaxGroups) fail("more than 255 groups");
      number = ++groups_;
    }
    if (++depth_ > kMaxNesting) fail("groups nested too deeply");
    auto group = std::make_unique<Node>(Node::kGroup, number);
    group->kids.push_back(parse_alternation());
    --depth_;
    if (peek() != ')') {
      i_ = open;
      fail("unmatched (");
    }
    ++i_;
    return group;
  }

  // Single-byte escapes shared by atoms and classes; -1 when `c` is not one.
  int simple_escape(int c) {
    switch (c) {
      case 't':
        return '\t';
      case 'n':
        return '\n';
      case 'r':
        return '\r';
      case 'f':
        return '\f';
      case 'v':
        return '\v';
      case 'a':
        return '\a';
      case 'e':
        return 0x1b;
      case 'x': {
        int v = 0;
        int digits = 0;
        while (digits < 2 && hex_value(peek()) >= 0) {
          v = v * 16 + hex_value(peek());
          ++i_;
          ++digits;
        }
        if (digits == 0) fail("\\x without hex digits");
        if (v == 0) fail("\\x00 cannot occur in a text");
        return v;
      }
      default:
        if (c >= 0x80 || (!is_alpha(c) && !is_digit(c))) return c;  // escaped punctuation
        return -1;
    }
  }

  // \d \D \w \W \s \S; false when `c` is not a class letter.
  static bool class_escape(int c, ByteSet* out) {
    switch (c) {
      case 'd':
        *out = digit_set();
        return true;
      case 'D':
        *out = ~digit_set();
        return true;
      case 'w':
        *out = word_set();
        return true;
      case 'W':
        *out = ~word_set();
        return true;
      case 's':
        *out = space_set();
        return true;
      case 'S':
        *out = ~space_set();
        return true;
      default:
        return false;
    }
  }

  NodePtr parse_escape() {
    ++i_;  // the backslash
    int c = peek();
    if (c == 0) fail("trailing backslash");
    ++i_;
    ByteSet set;
    if (class_escape(c, &set)) return std::make_unique<Node>(Node::kSet, add_set(set));
    switch (c) {
      case 'b':
        return std::make_unique<Node>(Node::kAssert, kWordBoundary);
      case 'B':
        return std::make_unique<Node>(Node::kAssert, kNotWordBoundary);
      case 'A':
        return std::make_unique<Node>(Node::kAssert, kTextStart);
      case 'z':
        return std::make_unique<Node>(Node::kAssert, kTextEnd);
      case 'Z':
        return std::make_unique<Node>(Node::kAssert, kTextEndOrEol);
      default:
        break;
    }
    if (is_digit(c)) fail("back-references are not supported");
    int b = simple_escape(c);
    if (b < 0) fail(std::string("unknown escape \\") + static_cast<char>(c));
    return std::make_unique<Node>(Node::kByte, b);
  }

  // [:name:] inside a class; the position is on the first '['.
  bool named_class(ByteSet* out) {
    if (peek(1) != ':') return false;
    const char* start = reinterpret_cast<const char*>(s_ + i_ + 2);
    const char* end = std::strstr(start, ":]");
    if (end == nullptr) return false;
    std::string name(start, end);
    ByteSet s;
    if (name == "alpha") {
      s = range_set('a', 'z') | range_set('A', 'Z');
    } else if (name == "digit") {
      s = digit_set();
    } else if (name == "alnum") {
      s = range_set('a', 'z') | range_set('A', 'Z') | digit_set();
    } else if (name == "upper") {
      s = range_set('A', 'Z');
    } else if (name == "lower") {
      s = range_set('a', 'z');
    } else if (name == "space") {
      s = space_set();
    } else if (name == "blank") {
      s.set(' ');
      s.set('\t');
    } else if (name == "xdigit") {
      s = digit_set() | range_set('a', 'f') | range_set('A', 'F');
    } else if (name == "word") {
      s = word_set();
    } else if (name == "punct") {
      s = range_set('!', '/') | range_set(':', '@') | range_set('[', '`') | range_set('{', '~');
    } else if (name == "cntrl") {
      s = range_set(1, 0x1f);
      s.set(0x7f);
    } else if (name == "print") {
      s = range_set(' ', '~');
    } else if (name == "graph") {
      s = range_set('!', '~');
    } else {
      fail("unknown character class [:" + name + ":]");
    }
    i_ = static_cast<std::size_t>(end - reinterpret_cast<const char*>(s_)) + 2;
    *out = s;
    return true;
  }

  // One member of a class: a byte (returned) or a set (in *set, returning -1).
  int class_member(ByteSet* set) {
    int c = peek();
    if (c == 0) fail("missing ]");
    if (c == '[' && named_class(set)) return -1;
    ++i_;
    if (c != '\\') return c;
    int e = peek();
    if (e == 0) fail("missing ]");
    ++i_;
    if (class_escape(e, set)) return -1;
    if (e == 'b') return '\b';
    if (is_digit(e)) fail("back-references are not supported");
    int b = simple_escape(e);
    if (b < 0) fail(std::string("unknown escape \\") + static_cast<char>(e));
    return b;
  }

  ByteSet parse_class() {
    ByteSet result;
    bool negate = false;
    if (peek() == '^') {
      negate = true;
      ++i_;
    }
    bool first = true;
    while (first || peek() != ']') {
      if (first && peek() == ']') {
        ++i_;
        result.set(']');
        first = false;
        continue;
      }
      first = false;
      ByteSet set;
      int lo = class_member(&set);
      if (lo < 0) {
        result |= set;
        continue;
      }
      if (peek() == '-' && peek(1) != ']' && peek(1) != 0) {
        ++i_;
        int hi = class_member(&set);
        if (hi < 0) fail("class escape as the end of a range");
        if (hi < lo) fail("range out of order");
        result |= range_set(lo, hi);
      } else {
        result.set(static_cast<std::size_t>(lo));
      }
    }
    ++i_;  // ]
    if (negate) result.flip();
    result.reset(0);  // a text never holds its terminator
    return result;
  }

  const unsigned char* s_;
  std::size_t i_ = 0;
  std::vector<ByteSet>& sets_;
  int groups_ = 0;
  int depth_ = 0;
};

}  // namespace

NodePtr parse_pattern(const char* pattern, std::vector<ByteSet>& sets, int* groups) {
  Parser parser(pattern, sets);
  NodePtr tree = parser.parse();
  *groups = parser.groups();
  return tree;
}

}  // namespace host::regex
