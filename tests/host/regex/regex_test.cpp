// The regular-expression engine behind REGEX_*: the two patterns the plug-in uses, the
// general dialect, syntax errors, and texts that are long, hostile or end at a page boundary.
// Expected matches and groups come from a backtracking reference engine.
#include "host/regex/regex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin_patterns.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace host::regex {
namespace {

// A copy of a text whose terminating NUL is the last readable byte before a no-access page.
class GuardedText {
 public:
  explicit GuardedText(const std::string& text) {
    std::size_t size = text.size() + 1;
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
#else
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
    std::size_t readable = (size + page_ - 1) / page_ * page_;
    total_ = readable + page_;
#ifdef _WIN32
    base_ =
        static_cast<char*>(VirtualAlloc(nullptr, total_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_ != nullptr && !VirtualProtect(base_ + readable, page_, PAGE_NOACCESS, &old)) return;
#else
    void* m = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = m == MAP_FAILED ? nullptr : static_cast<char*>(m);
    if (base_ != nullptr && mprotect(base_ + readable, page_, PROT_NONE) != 0) return;
#endif
    if (base_ == nullptr) return;
    text_ = base_ + readable - size;
    std::memcpy(text_, text.c_str(), size);
  }
  ~GuardedText() {
    if (base_ == nullptr) return;
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, total_);
#endif
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  const char* get() const { return text_; }

 private:
  std::size_t page_ = 0;
  std::size_t total_ = 0;
  char* base_ = nullptr;
  char* text_ = nullptr;
};

// The plug-in's own two patterns.
const char* const kIndexPattern = GetInfo::kIndexEntryPattern;
const char* const kArchivePattern = GetInfo::kArchivePattern;

std::unique_ptr<Pattern> must_compile(const char* pattern) {
  std::string error;
  std::unique_ptr<Pattern> p = Pattern::compile(pattern, &error);
  EXPECT_TRUE(p) << pattern << ": " << error;
  return p;
}

// Groups 1..7 of the last match.
std::vector<std::string> index_groups(const Pattern& p) {
  std::vector<std::string> g;
  for (int n = 1; n <= 7; ++n) g.emplace_back(p.group(n));
  return g;
}

using Groups = std::vector<std::string>;

TEST(RegexIndexPattern, IsTheListedPatternWithSevenGroups) {
  EXPECT_EQ(std::strlen(kIndexPattern), 116u);
  auto p = must_compile(kIndexPattern);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->group_count(), 7);
}

TEST(RegexIndexPattern, ListingLines) {
  struct Case {
    const char* line;
    int pos;
    int len;
    Groups groups;
  };
  const Case cases[] = {
      {"<a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a>                        "
       "   05-Mar-2011 14:07    1M",
       3,
       110,
       {"ispell-3.3.02-w32.tar.xz", "05", "Mar", "2011", "14", "07", "1M"}},
      {"<a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a>  05-Mar-2011  14:07  "
       "1.2M",
       3,
       86,
       {"ispell-3.3.02-w32.tar.xz", "05", "Mar", "2011", "14", "07", "1.2M"}},
      {"<a href=\"ispell-x-w32.tar.xz\">ispell-x-w32.tar.xz</a> 28-Sept-2010 09:05 0.5K",
       3,
       74,
       {"ispell-x-w32.tar.xz", "28", "Sept", "2010", "09", "05", "0.5K"}},
      {"<a href=\"a.txt\">a.txt</a> 01-Jan-2000 00:00 3.99B",
       3,
       46,
       {"a.txt", "01", "Jan", "2000", "00", "00", "3.99B"}},
      // Two links on one line: the first one is taken.
      {"<a href=\"a.tar.xz\">a</a> <a href=\"b.tar.xz\">b</a> 05-Mar-2011 14:07 2.3K",
       3,
       69,
       {"a.tar.xz", "05", "Mar", "2011", "14", "07", "2.3K"}},
      // The size is the first token ending in K, M or B after the time.
      {"<a href=\"a\">a</a> 05-Mar-2011 14:07 12345 1M",
       3,
       41,
       {"a", "05", "Mar", "2011", "14", "07", "1M"}},
      {"<a href=\"a\">a</a> 05-Mar-2011 14:07 Bytes 1M",
       3,
       34,
       {"a", "05", "Mar", "2011", "14", "07", "B"}},
      // A directory line (size "-") cannot borrow the size of the next line.
      {"<a href=\"sub/\">sub/</a>  05-Mar-2011 14:07    -\n<a href=\"f\">f</a> 06-Apr-2012 10:11 "
       "7K",
       51,
       35,
       {"f", "06", "Apr", "2012", "10", "11", "7K"}},
      // Case matters for "href"; spaces around '=' are allowed.
      {"HREF=\"x\" 05-Mar-2011 14:07 1M href = \"y\" 06-Apr-2012 10:11 7K",
       30,
       31,
       {"y", "06", "Apr", "2012", "10", "11", "7K"}},
      {"<a href=\"x\">x</a> 05-Mar-2011\t14:07\t1M",
       3,
       35,
       {"x", "05", "Mar", "2011", "14", "07", "1M"}},
      // Every numeric group may be empty.
      {"<a href=\"x\">x</a> 5--2011 :7 K", 3, 27, {"x", "5", "", "2011", "", "7", "K"}},
      // Shift-JIS name whose trail byte is a backslash.
      {"<a href=\"\x83\x5c\x83\x74\x83\x67.tar.xz\">x</a> 05-Mar-2011 14:07 1M",
       3,
       47,
       {"\x83\x5c\x83\x74\x83\x67.tar.xz", "05", "Mar", "2011", "14", "07", "1M"}},
  };
  auto p = must_compile(kIndexPattern);
  ASSERT_TRUE(p);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_TRUE(p->search(c.line));
    EXPECT_EQ(p->match_pos(), c.pos);
    EXPECT_EQ(p->match_len(), c.len);
    EXPECT_EQ(index_groups(*p), c.groups);
  }
}

TEST(RegexIndexPattern, LinesWithoutEntry) {
  const char* lines[] = {
      "<a href=\"../\">../</a>",
      // Date written the other way round, as a table-style index shows it.
      "<tr><td><a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a></td>"
      "<td align=\"right\">2011-03-05 14:07  </td><td align=\"right\">1.0M</td></tr>",
      // Date and size on the next line.
      "<a href=\"ispell.txt\">ispell.txt</a>\r\n          07-Jul-2011 10:00     340K",
      "<a href=\"README\">README</a>          01-Feb-2011 09:15     512",
      "<a href=\"unterminated>x</a> 05-Mar-2011 14:07 1M",
      "",
  };
  auto p = must_compile(kIndexPattern);
  ASSERT_TRUE(p);
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(p->search(line));
    EXPECT_EQ(p->match_pos(), -1);
    EXPECT_EQ(p->match_len(), 0);
    EXPECT_STREQ(p->group(1), "");
  }
}

// The plug-in's loop: search from an offset, advance past the match, search again.
TEST(RegexIndexPattern, SuccessiveOffsetsOverAPage) {
  const std::string page =
      "<html>\r\n<head><title>Index of /pub/ispell/</title></head>\r\n<body>\r\n"
      "<h1>Index of /pub/ispell/</h1><hr><pre><a href=\"../\">../</a>\r\n"
      "<a href=\"old/\">old/</a>                                               12-Jan-2010 08:30"
      "       -\r\n"
      "<a href=\"ispell-3.2.06-w32.tar.xz\">ispell-3.2.06-w32.tar.xz</a>                          "
      " 28-Sep-2009 23:59    1.2M\r\n"
      "<a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a>                          "
      " 05-Mar-2011 14:07    1M\r\n"
      "<a href=\"README\">README</a>                                             01-Feb-2011 09:15"
      "     512\r\n"
      "<a href=\"ispell.txt\">ispell.txt</a>\r\n"
      "                                       07-Jul-2011 10:00     340K\r\n"
      "<a href=\"sums.md5\">sums.md5</a>                                           07-Jul-2011 "
      "10:00     3K\r\n"
      "</pre><hr></body>\r\n</html>\r\n";
  struct Found {
    std::size_t offset;
    int pos;
    int len;
    Groups groups;
  };
  const std::vector<Found> expected = {
      {0, 229, 112, {"ispell-3.2.06-w32.tar.xz", "28", "Sep", "2009", "23", "59", "1.2M"}},
      {341, 5, 110, {"ispell-3.3.02-w32.tar.xz", "05", "Mar", "2011", "14", "07", "1M"}},
      {456, 208, 95, {"sums.md5", "07", "Jul", "2011", "10", "00", "3K"}},
  };
  auto p = must_compile(kIndexPattern);
  ASSERT_TRUE(p);
  std::vector<Found> found;
  std::size_t offset = 0;
  while (p->search(page.c_str() + offset)) {
    found.push_back({offset, p->match_pos(), p->match_len(), index_groups(*p)});
    ASSERT_GT(p->match_len(), 0);
    offset += static_cast<std::size_t>(p->match_pos() + p->match_len());
  }
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(found[i].offset, expected[i].offset);
    EXPECT_EQ(found[i].pos, expected[i].pos);
    EXPECT_EQ(found[i].len, expected[i].len);
    EXPECT_EQ(found[i].groups, expected[i].groups);
  }
}

TEST(RegexArchivePattern, FiltersNames) {
  struct Case {
    const char* name;
    int pos;
    int len;
  };
  const Case cases[] = {
      {"ispell-3.3.02-w32.tar.xz", 0, 24},
      {"ispell-w32.tar.xz", 0, 17},
      {"ispell-3.3.02-w32-tar-xz", -1, 0},
      {"xispell-1-w32.tar.xz.sig", 1, 19},
      {"ispell-1-w32.tar.xz-w32.tar.xz", 0, 30},
      {"ispell-3.3.02-w64.tar.xz", -1, 0},
      {"Ispell-1-w32.tar.xz", -1, 0},
  };
  auto p = must_compile(kArchivePattern);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->group_count(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(p->search(c.name), c.pos >= 0);
    EXPECT_EQ(p->match_pos(), c.pos);
    EXPECT_EQ(p->match_len(), c.len);
    EXPECT_EQ(std::string(p->group(0)), std::string(c.name).substr(c.pos < 0 ? 0 : c.pos, c.len));
  }
}

TEST(RegexDialect, AgreesWithBacktrackingReference) {
  struct Case {
    const char* pattern;
    const char* text;
    int pos;        // -1: no match
    Groups groups;  // group 0 first
  };
  const Case cases[] = {
      // Greedy and lazy repetition.
      {"a.*b", "xaxbxb", 1, {"axbxb"}},
      {"a.*?b", "xaxbxb", 1, {"axb"}},
      {"<.+>", "<a><b>", 0, {"<a><b>"}},
      {"<.+?>", "<a><b>", 0, {"<a>"}},
      {"\\d{2,3}", "12345", 0, {"123"}},
      {"\\d{2,3}?", "12345", 0, {"12"}},
      {"(ab){2,}", "abababx", 0, {"ababab", "ab"}},
      {"x{2}", "xxx", 0, {"xx"}},
      {"a{0}b", "ab", 1, {"b"}},
      {"^a{,2}$", "aa", 0, {"aa"}},
      {"a{,2}", "aaa", 0, {"aa"}},
      {"a{1,2}?a", "aaa", 0, {"aa"}},
      {"a??b", "ab", 0, {"ab"}},
      {"(a?\?)(a*)", "aaa", 0, {"aaa", "", "aaa"}},
      {"(a+?)(a*?)b", "aaab", 0, {"aaab", "a", "aa"}},
      {"x{", "ax{", 1, {"x{"}},
      {"x{1,a}", "x{1,a}", 0, {"x{1,a}"}},
      // Alternation is tried in order, not for the longest match.
      {"(a|ab)(c|bcd)(d*)", "abcd", 0, {"abcd", "a", "bcd", ""}},
      {"foo|foobar", "foobar", 0, {"foo"}},
      {"(?:x|xy)z", "xyz", 0, {"xyz"}},
      {"a|b|c", "zzc", 2, {"c"}},
      // Anchors.
      {"^b", "ab", -1, {}},
      {"^a", "ab", 0, {"a"}},
      {"b$", "ab\n", 1, {"b"}},
      {"b$", "ab\nc", -1, {}},
      {"\\bfoo\\b", "afoo foo", 5, {"foo"}},
      {"\\Bo+", "foo", 1, {"oo"}},
      {"a\\z", "a\n", -1, {}},
      {"a\\Z", "a\n", 0, {"a"}},
      {"^$", "", 0, {""}},
      {"x*", "", 0, {""}},
      {"\\Aab", "abab", 0, {"ab"}},
      // Classes.
      {"[a-c]+", "xxabcabd", 2, {"abcab"}},
      {"[^a-c]+", "abxyzc", 2, {"xyz"}},
      {"[]a]+", "x]a]", 1, {"]a]"}},
      {"[a-]+", "x-a-b", 1, {"-a-"}},
      {"[\\]\\\\]+", "x\\]\\y", 1, {"\\]\\"}},
      {"[\\d.]+", "v1.2.3b", 1, {"1.2.3"}},
      {"[[:alpha:]]+", "12abC3", 2, {"abC"}},
      {"[^[:space:]x]+", " xab c", 2, {"ab"}},
      {"\\w+", "  foo_bar9-", 2, {"foo_bar9"}},
      {"\\s+", "a \t\r\nb", 1, {" \t\r\n"}},
      {"\\S+", "  ab c", 2, {"ab"}},
      {"\\D+", "12ab3", 2, {"ab"}},
      {"\\W", "ab-", 2, {"-"}},
      {"[\\t]", "a\tb", 1, {"\t"}},
      {"a.c", "a\nc abc", 4, {"abc"}},
      {"[^a]", "\n", 0, {"\n"}},
      // Escapes.
      {"\\.\\\\\\-\\/", "x.\\-/", 1, {".\\-/"}},
      {"\\x41\\x62", "xAb", 1, {"Ab"}},
      {"a\\tb\\rc", "a\tb\rc", 0, {"a\tb\rc"}},
      {"\\(\\)\\[\\]\\{\\}\\*\\+\\?\\|\\^\\$", "()[]{}*+?|^$", 0, {"()[]{}*+?|^$"}},
      // Group numbering and what repeated or skipped groups hold.
      {"((a)(?:b)(c))", "abc", 0, {"abc", "abc", "a", "c"}},
      {"(a|b)+", "abab", 0, {"abab", "b"}},
      {"(?:(a)|b)+", "ab", 0, {"ab", "a"}},
      {"(a)|(b)", "b", 0, {"b", "", "b"}},
      {"(a)?b", "b", 0, {"b", ""}},
      // Bytes of double-byte characters are ordinary bytes.
      {"\x83.", "x\x83\\", 1, {"\x83\\"}},
      {"[\\x80-\\xff]+",
       "abc\x82\xa0\x82\xa2"
       "d",
       3,
       {"\x82\xa0\x82\xa2"}},
      {"\x82\xa0", "\x82\xa0", 0, {"\x82\xa0"}},
      {"[^\\x82]+", "\x82\xa0\x82", 1, {"\xa0"}},
      // After a failed attempt the search skips starts whose line lacks, in order, a byte for
      // each part every match needs; these must still be found.
      {"a[^\n]*?-[^\n]*?:[KM]", "ax-y:z\na:-K\nab-:M", 12, {"ab-:M"}},
      {"x-[^\n-]*-y", "x-a\nx-b-y", 4, {"x-b-y"}},
      {"(b)[0-9]+K", "1Kb2 b3K", 5, {"b3K", "b"}},
      {"q.*z", "qa\nq\rz", 3, {"q\rz"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
    auto p = must_compile(c.pattern);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->search(c.text), c.pos >= 0);
    EXPECT_EQ(p->match_pos(), c.pos);
    if (c.pos < 0) continue;
    ASSERT_EQ(p->group_count() + 1, static_cast<int>(c.groups.size()));
    EXPECT_EQ(p->match_len(), static_cast<int>(c.groups[0].size()));
    for (int n = 0; n <= p->group_count(); ++n) EXPECT_EQ(p->group(n), c.groups[n]) << n;
  }
}

// A repetition stops when its body matches nothing instead of counting that as one more
// iteration, so the group keeps the last non-empty iteration.
TEST(RegexDialect, EmptyIterationEndsRepetition) {
  auto p = must_compile("(a|b|)+c");
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->search("abc"));
  EXPECT_STREQ(p->group(0), "abc");
  EXPECT_STREQ(p->group(1), "b");

  p = must_compile("(a*)+$");
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->search("aa"));
  EXPECT_STREQ(p->group(1), "aa");

  p = must_compile("(a?)*");
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->search("b"));
  EXPECT_EQ(p->match_len(), 0);
  EXPECT_STREQ(p->group(1), "");
}

TEST(RegexApi, LastMatchRecord) {
  auto p = must_compile("(x)(y)?");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->match_pos(), -1);
  EXPECT_STREQ(p->group(0), "");

  ASSERT_TRUE(p->search("aax"));
  EXPECT_EQ(p->match_pos(), 2);
  EXPECT_EQ(p->match_len(), 1);
  EXPECT_STREQ(p->group(1), "x");
  EXPECT_STREQ(p->group(2), "");
  EXPECT_STREQ(p->group(3), "");
  EXPECT_STREQ(p->group(-1), "");

  // The groups are copies: the text may go away.
  std::string text = "xy";
  ASSERT_TRUE(p->search(text.c_str()));
  text.assign("zz");
  EXPECT_STREQ(p->group(0), "xy");
  EXPECT_STREQ(p->group(2), "y");

  // A failed search forgets the previous match.
  EXPECT_FALSE(p->search("abc"));
  EXPECT_EQ(p->match_pos(), -1);
  EXPECT_EQ(p->match_len(), 0);
  EXPECT_STREQ(p->group(0), "");
  EXPECT_STREQ(p->group(1), "");
  EXPECT_FALSE(p->search(nullptr));
}

TEST(RegexSyntax, ErrorsAreReported) {
  const char* bad[] = {
      "(",   "(a|b", ")",   "a)",  "[a",      "[a-",   "[]",      "[z-a]",   "*a",
      "a|*", "(+)",  "a**", "a+*", "a{2}{3}", "{2}",   "a{3,2}",  "a{1001}", "\\",
      "a\\", "\\1",  "\\q", "\\x", "\\x00",   "(?=a)", "(?<n>a)", "^*",      "[[:foo:]]",
  };
  for (const char* pattern : bad) {
    SCOPED_TRACE(pattern);
    std::string error;
    EXPECT_FALSE(Pattern::compile(pattern, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Pattern::compile(pattern));
  }
  std::string error;
  EXPECT_FALSE(Pattern::compile(nullptr, &error));
  EXPECT_FALSE(error.empty());

  // Groups nested so deep that a recursive parser would exhaust its stack.
  std::string deep = std::string(100000, '(') + "a" + std::string(100000, ')');
  EXPECT_FALSE(Pattern::compile(deep.c_str(), &error));
  // Group numbers stop at 255.
  std::string groups;
  for (int i = 0; i < 255; ++i) groups += "(a)";
  auto p = must_compile(groups.c_str());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->group_count(), 255);
  groups += "(a)";
  EXPECT_FALSE(Pattern::compile(groups.c_str(), &error));
  // Repetition that would blow up the compiled program.
  EXPECT_FALSE(Pattern::compile("((a{1000}){1000}){1000}", &error));
}

TEST(RegexSyntax, EdgeCasesThatCompile) {
  const char* good[] = {"",  "a|", "|",   "()",   "(?:)",    "a{,}",      "a{x}",
                        "]", "}",  "[-]", "[]-]", "a{1000}", "\\-\\#\\ ", "[\\b]"};
  for (const char* pattern : good) {
    SCOPED_TRACE(pattern);
    EXPECT_TRUE(must_compile(pattern));
  }
}

// Lines far longer than any real listing line, built so that a naive engine either recurses
// once per byte or backtracks without end.
TEST(RegexLongText, IndexPatternOverHugeLines) {
  auto p = must_compile(kIndexPattern);
  ASSERT_TRUE(p);

  // Match spanning a multi-megabyte line.
  const std::string filler(3u << 19, 'x');
  std::string line = "<a href=\"big.tar.xz\">" + filler + " 05-Mar-2011 14:07 1M\nnext";
  ASSERT_TRUE(p->search(line.c_str()));
  EXPECT_EQ(p->match_pos(), 3);
  EXPECT_EQ(p->match_len(), static_cast<int>(line.find('\n')) - 3);
  EXPECT_EQ(index_groups(*p), (Groups{"big.tar.xz", "05", "Mar", "2011", "14", "07", "1M"}));

  // Medium line: long enough to outgrow the first memo window, short enough to stay with it.
  line = "<a href=\"mid\">" + std::string(100000, 'y') + " 05-Mar-2011 14:07 2K";
  ASSERT_TRUE(p->search(line.c_str()));
  EXPECT_STREQ(p->group(7), "2K");
  EXPECT_EQ(p->match_len(), static_cast<int>(line.size()) - 3);

  // Dates without a size, over one line of several megabytes.
  std::string dates = "<a href=\"x\">";
  while (dates.size() < (3u << 19)) dates += "12-jan-34 5:6 1-2-3 ";
  EXPECT_FALSE(p->search(dates.c_str()));
  // The same, with the size at the very end.
  dates += "9.9M";
  ASSERT_TRUE(p->search(dates.c_str()));
  EXPECT_EQ(p->match_pos(), 3);
  EXPECT_EQ(index_groups(*p), (Groups{"x", "12", "jan", "34", "5", "6", "9.9M"}));

  // Many links on one line and no date.
  std::string hrefs;
  while (hrefs.size() < (3u << 19)) hrefs += "href=\"a\" ";
  EXPECT_FALSE(p->search(hrefs.c_str()));
  hrefs += "1-Jan-2000 0:0 1K";
  ASSERT_TRUE(p->search(hrefs.c_str()));
  EXPECT_EQ(p->match_pos(), 0);
  EXPECT_EQ(index_groups(*p), (Groups{"a", "1", "Jan", "2000", "0", "0", "1K"}));

  // A huge line without an entry, then an ordinary one.
  std::string two_lines = "<a href=\"x\">" + filler + "\r\n";
  const int second = static_cast<int>(two_lines.size());
  two_lines += "<a href=\"y\">y</a> 06-Apr-2012 10:11 7K\r\n";
  ASSERT_TRUE(p->search(two_lines.c_str()));
  EXPECT_EQ(p->match_pos(), second + 3);
  EXPECT_EQ(index_groups(*p), (Groups{"y", "06", "Apr", "2012", "10", "11", "7K"}));

  // A quote that never closes.
  std::string open = "href=\"" + filler + " 05-Mar-2011 14:07 1M";
  EXPECT_FALSE(p->search(open.c_str()));
}

TEST(RegexLongText, GeneralPatternsOverHugeText) {
  const std::string many_a(3u << 19, 'a');

  auto p = must_compile("(a.*)z");
  ASSERT_TRUE(p);
  std::string text = "b" + many_a + "z";
  ASSERT_TRUE(p->search(text.c_str()));
  EXPECT_EQ(p->match_pos(), 1);
  EXPECT_EQ(std::strlen(p->group(1)), many_a.size());

  // Patterns that take exponential time in a naive backtracker.
  for (const char* pattern : {"(a*)*b", "(a|aa)*c", "(a+)+b", "(?:a?){30}a{30}b"}) {
    SCOPED_TRACE(pattern);
    p = must_compile(pattern);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->search(many_a.c_str()));
  }

  // Alternatives that meet again without any repetition in between: the meeting points must
  // be remembered or each copy doubles the work.
  const std::string some_a(4000, 'a');
  for (const char* pattern : {"(?:a|a){40}b", "(?:a|(a)|aa?){30}c", "(?:a?|a){40}b"}) {
    SCOPED_TRACE(pattern);
    p = must_compile(pattern);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->search(some_a.c_str()));
  }

  // Lazy repetition across megabytes, then a match right at the end.
  p = must_compile("a(.*?)a$");
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->search(many_a.c_str()));
  EXPECT_EQ(p->match_pos(), 0);
  EXPECT_EQ(std::strlen(p->group(1)), many_a.size() - 2);
}

// Visited marks live in a ring of rows indexed by text offset; a search that slides past the
// ring's end must clear the rows it reuses, wherever the stretch wraps.
TEST(RegexLongText, MatchesWhereTheVisitedRingWraps) {
  auto p = must_compile("a?(?:a|b)?b");
  ASSERT_TRUE(p);
  for (std::size_t length :
       {4090u, 4093u, 4094u, 4095u, 4096u, 4097u, 4098u, 8190u, 8191u, 8192u, 8193u, 12289u}) {
    SCOPED_TRACE(length);
    const std::string text = std::string(length, 'a') + "b";
    ASSERT_TRUE(p->search(text.c_str()));
    EXPECT_EQ(p->match_pos(), static_cast<int>(length) - 2);
    EXPECT_EQ(p->match_len(), 3);
  }
  // Many short candidates, each failing a few bytes in, before the one that matches.
  p = must_compile("<([a-z]+)=([0-9]*)>");
  ASSERT_TRUE(p);
  std::string tags;
  while (tags.size() < 20000) tags += "<ab=12<c=3";
  tags += "<key=42>";
  ASSERT_TRUE(p->search(tags.c_str()));
  EXPECT_EQ(p->match_pos(), static_cast<int>(tags.size()) - 8);
  EXPECT_STREQ(p->group(1), "key");
  EXPECT_STREQ(p->group(2), "42");
}

// Each text ends right before an inaccessible page: a read past its NUL would fault.
TEST(RegexLongText, NeverReadsPastTheTerminator) {
  struct Case {
    const char* pattern;
    const char* text;
    bool found;
  };
  const Case cases[] = {
      {kIndexPattern, "<a href=\"x\">x</a> 05-Mar-2011 14:07 12", false},
      {kIndexPattern, "<a href=\"x\">x</a> 05-Mar-2011 14:07 1M", true},
      {kIndexPattern, "<a href=\"x", false},
      {kIndexPattern, "href", false},
      {kArchivePattern, "ispell-1-w32.tar.x", false},
      {kArchivePattern, "ispell-1-w32.tar.xz", true},
      {"a$", "a", true},
      {"a$", "a\n", true},
      {"a\\b", "a", true},
      {"a\\B", "a", false},
      {"\\Z", "", true},
      {"x*", "", true},
      {"[^x]*y", "abc", false},
      {"(.*)(.*?)$", "abc\n", true},
      // Repetitions of a set that holds NUL (negated ones) still end at the terminator.
      {"[^y]+y", "abc", false},
      {"x[^y]*?y", "xabc", false},
      {"a[^b]*$", "acc", true},
      {"a.*?c+$", "abcc", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
    auto p = must_compile(c.pattern);
    ASSERT_TRUE(p);
    GuardedText text(c.text);
    ASSERT_TRUE(text.get());
    EXPECT_EQ(p->search(text.get()), c.found);
  }
}

}  // namespace
}  // namespace host::regex
