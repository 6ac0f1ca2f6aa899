// Regular-expression engine behind the host's REGEX_* services.
//
// Dialect: literals, `.` (any byte but \n), escapes (\t \n \r \f \v \a \e \xHH, escaped
// punctuation, \d \D \w \W \s \S, \b \B \A \z \Z), bracket classes with ranges, negation,
// escapes and [:name:] classes, capturing ( ) and non-capturing (?: ) groups, alternation,
// greedy and lazy quantifiers * + ? {m} {m,} {,n} {m,n}, anchors ^ and $ (text start; text end or
// before a final \n). Text is a byte string: bytes >= 0x80 are ordinary characters.
//
// Matching follows backtracking (leftmost-first) priority, so lazy and greedy repetitions and
// alternation pick the same match a backtracking engine would. Groups hold the text of their
// last successful participation. A repetition whose body matched nothing ends there instead
// of counting that as one more iteration (so "(a?)*" on "b" leaves group 1 unset). Work is
// linear in the text examined, and neither memory nor recursion depends on the text, so very
// long lines are safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace host::regex {

struct Program;
class Machine;

class Pattern {
 public:
  // nullptr (and *error set when error != nullptr) on a syntax error.
  static std::unique_ptr<Pattern> compile(const char* pattern, std::string* error = nullptr);
  ~Pattern();
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // Leftmost match anywhere in the NUL-terminated text. Reads the text only as far as the
  // match needs, never past the NUL. Records the match for the accessors. Throws nothing:
  // running out of memory gives false.
  bool search(const char* text);
  // Offset of the last match from text, -1 when the last search failed.
  int match_pos() const { return pos_; }
  // Its length, 0 when none.
  int match_len() const { return len_; }
  // Text of group n (0 = whole match) of the last match; "" when unmatched, out of range or
  // no match. Valid until the next search.
  const char* group(int n) const;
  // Number of capturing groups.
  int group_count() const;

 private:
  explicit Pattern(std::unique_ptr<Program> program);

  std::unique_ptr<Program> program_;
  std::unique_ptr<Machine> machine_;
  int pos_ = -1;
  int len_ = 0;
  bool matched_ = false;
  std::vector<std::string> groups_;
};

}  // namespace host::regex
