// The index page parsed while it arrives: however the page is cut into reads, the entries and
// the log are those of the whole page parsed at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/setting.h"
#include "discovery/date_time.h"
#include "discovery/http.h"
#include "discovery_fixture.h"
#include "host/host_config.h"
#include "plugin/host_module.h"
#include "test_support.h"

using GetInfo::file_list;

namespace {

// Lines ended by CR LF, LF and CR alone, an unknown month (logged), two entries on one line,
// a line longer than one read and a last line without a line end.
std::string sample_page() {
  std::string page =
      "<html>\r\n<body>\r\n<pre><a href=\"../\">../</a>\r\n"
      "<a href=\"README.txt\">README.txt</a>        01-Jan-2009 00:00     12K\r\n"
      "<a href=\"ispell-3.3.02-w32.tar.xz\">x</a>  05-Mar-2011 14:07      2M\n"
      "<a href=\"cr-only\">x</a> 06-Apr-2012 01:02 3K\r"
      "<a href=\"sept\">x</a> 05-Sept-2011 14:07 1M\n"
      "<a href=\"one\">x</a> 01-Feb-2010 10:00 1K <a href=\"two\">x</a> 02-Feb-2010 11:00 2K\n";
  page += "<a href=\"" + std::string(5000, 'l') + "\">x</a> 03-Mar-2013 03:03 9K\r\n";
  page += "<a href=\"last\">x</a> 31-Dec-2026 23:59 1.5M";
  return page;
}

// The layouts of today's servers: dated table rows with sort links before them (a month of
// another language logged), then rows spread over several lines.
std::string table_page() {
  std::string page =
      "<table><tr><th><a href=\"?C=N;O=D\">Name</a></th></tr>\r\n"
      "<tr><td><a href=\"/\">Parent Directory</a></td><td>&nbsp;</td></tr>\r\n";
  for (int i = 0; i < 40; ++i) {
    page += "<tr><td><a href=\"ispell-3.3." + std::to_string(i) +
            "-w32.tar.xz\">x</a></td><td align=\"right\">2011-03-05 14:07  </td><td "
            "align=\"right\">" +
            std::to_string(i) + ".5M</td></tr>\r\n";
  }
  return page + "<tr><td><a href=\"mai\">x</a></td><td>05-Mai-2011 14:07</td><td>1</td></tr>";
}
std::string rows_page() {
  std::string page = "<a href=\"../\">/</a>\n";
  for (int i = 0; i < 40; ++i) {
    page += "<tr>\n  <a href=\"./ispell-" + std::to_string(i) +
            "-w32.tar.xz\">\n    <use xlink:href=\"#file\"></use>\n  </a>\n  <td data-order=\"" +
            std::to_string(1000 + i) +
            "\">1 KiB</td>\n  <td><time datetime=\" 2011-03-05T14:07:00Z\">x</time></td>\n</tr>\n";
  }
  return page;
}

// Rows whose href stands on a line of its own, the size and time on lines after it, and rows
// of cells on one line, several to a line.
std::string lister_page() {
  std::string page = "<ul>\n<li><a\n  href=\"..\"\n>..</a></li>\n";
  for (int i = 0; i < 20; ++i) {
    page += "<li>\n  <a\n    href=\"lister-" + std::to_string(i) +
            "-w32.tar.xz\"\n    class=\"flex\"\n  >\n    <div>\n      " + std::to_string(i) +
            ".50MB\n    </div>\n    <div>\n      2011-03-05 14:07:00\n" +
            "    </div>\n  </a>\n</li>\n";
  }
  page += "</ul><table>";
  for (int i = 20; i < 40; ++i) {
    page += "<tr><td><a href='/x/lister-" + std::to_string(i) + "-w32.tar.xz'>x</a></td><td>" +
            std::to_string(i) + ",001 KB</td><td>5 March 2011, 14:07</td></tr>";
    if (i % 3 == 0) page += "\n";
  }
  return page + "</table>\n";
}

// Rows of cells one to a line, the size before the time, as nginx's fancyindex module writes
// them; folders show "-" for their size.
std::string fancy_page() {
  std::string page =
      "<table id=\"list\"><thead><tr><th><a href=\"?C=N&amp;O=A\">File Name</a></th></tr>"
      "</thead>\n<tbody><tr><td class=\"link\"><a href=\"../\">Parent directory/</a></td><td "
      "class=\"size\">-</td><td class=\"date\">-</td></tr>\r\n";
  for (int i = 0; i < 40; ++i) {
    const std::string name = "fancy-" + std::to_string(i) + "-w32.tar.xz";
    page += "<tr><td class=\"link\"><a href=\"" + name + "\" title=\"" + name + "\">" + name +
            "</a></td><td class=\"size\">" +
            (i % 2 ? "    " + std::to_string(1000 + i) : "2.0 MiB") +
            "</td><td class=\"date\">2011-Mar-05 14:07</td></tr>\r\n";
    if (i == 20) {
      page +=
          "<tr><td class=\"link\"><a href=\"old-99/\" title=\"old-99\">old-99/</a></td><td "
          "class=\"size\">-</td><td class=\"date\">2026-Dec-10 10:54</td></tr>\r\n";
    }
  }
  return page + "</tbody></table></body></html>";
}

class IndexParser : public testing_support::DiscoveryTest {
 protected:
  // The page through the parser in reads of the given sizes, taken in turn.
  file_list parse_in_reads(const std::string& page, const std::vector<size_t>& sizes) {
    HostModule host;
    EXPECT_TRUE(host.bind());
    file_list list;
    GetInfo::index_parser parser(host, list);
    size_t at = 0;
    for (size_t i = 0; at < page.size(); ++i) {
      const size_t size = std::min(sizes[i % sizes.size()], page.size() - at);
      // As the reader hands it over: in a buffer with room for one byte more.
      std::vector<char> read(page.begin() + at, page.begin() + at + size);
      read.push_back('#');
      parser.write(read.data(), size);
      at += size;
    }
    parser.finish();
    return list;
  }

  static testing::AssertionResult same_entries(const file_list& expected, const file_list& got) {
    if (expected.size() != got.size()) {
      return testing::AssertionFailure()
             << expected.size() << " entries expected, " << got.size() << " parsed";
    }
    for (size_t i = 0; i < expected.size(); ++i) {
      if (expected[i].name != got[i].name || expected[i].size != got[i].size ||
          !date_time_equal(expected[i].time, got[i].time)) {
        return testing::AssertionFailure()
               << "entry " << i << ": expected " << expected[i].name << " (" << expected[i].size
               << "), parsed " << got[i].name << " (" << got[i].size << ")";
      }
    }
    return testing::AssertionSuccess();
  }
};

TEST_F(IndexParser, AnyCutIntoReadsGivesTheEntriesAndLogOfTheWholePage) {
  struct Page {
    std::string text;
    size_t entries;
    std::string last;
    size_t dated;  // entries with a time and a size
    size_t log_lines;
  };
  for (const Page& page :
       {Page{sample_page(), 8, "last", 7, 1}, Page{table_page(), 41, "mai", 40, 1},
        Page{rows_page(), 41, "ispell-39-w32.tar.xz", 40, 0},
        Page{lister_page(), 41, "/x/lister-39-w32.tar.xz", 40, 0},
        Page{fancy_page(), 40, "fancy-39-w32.tar.xz", 40, 0}}) {
    clear_log();
    const file_list whole = testing_support::parse_page(page.text);
    ASSERT_EQ(page.entries, whole.size());
    EXPECT_EQ(page.last, whole.back().name);
    EXPECT_EQ(page.dated, static_cast<size_t>(std::count_if(whole.begin(), whole.end(),
                                                            [](const GetInfo::file_info& entry) {
                                                              return entry.time.valid &&
                                                                     entry.size != 0;
                                                            })))
        << page.last;
    const std::vector<std::string> whole_log = log();
    ASSERT_EQ(page.log_lines, whole_log.size());

    const std::vector<std::vector<size_t>> cuts = {
        {1}, {2}, {3}, {7, 1, 13}, {64}, {4095}, {page.text.size()}, {60, 4095, 1, 200}};
    for (const auto& sizes : cuts) {
      clear_log();
      EXPECT_TRUE(same_entries(whole, parse_in_reads(page.text, sizes)))
          << page.last << ", first read " << sizes[0];
      EXPECT_EQ(whole_log, log()) << page.last << ", first read " << sizes[0];
    }
  }
}

TEST_F(IndexParser, PageEndsAtItsFirstNul) {
  std::string page = sample_page();
  const size_t nul = page.find("<a href=\"cr-only\"");
  page[nul + 3] = '\0';
  const file_list whole = testing_support::parse_page(page);
  ASSERT_EQ(2u, whole.size());
  for (size_t read : {1u, 5u, 4095u}) {
    EXPECT_TRUE(same_entries(whole, parse_in_reads(page, {read}))) << read;
  }
}

TEST_F(IndexParser, PagesWithoutEntriesGiveNothing) {
  // An empty page is searched once, like any other page, and by the classic pattern only.
  EXPECT_TRUE(parse_in_reads("", {1}).empty());
  EXPECT_EQ(1u, host::compiled_patterns());
  EXPECT_EQ(1, host::regex_match_calls());
  EXPECT_TRUE(parse_in_reads("\r\n\r\n", {1}).empty());
  EXPECT_TRUE(log().empty());
}

TEST_F(IndexParser, ClassicPagesCostOneSearchAnEntry) {
  // Sizes read from before their unit ("4.1 KB") take no search of their own, and no other
  // pattern is compiled.
  std::string page = "<pre><a href=\"../\">../</a>\r\n";
  for (int i = 0; i < 30; ++i) {
    page += "<a href=\"f" + std::to_string(i) + "\">f</a>  05-Mar-2011 14:07  " +
            std::to_string(i) + ".1 KB\r\n";
  }
  const file_list list = parse_in_reads(page, {page.size()});
  ASSERT_EQ(30u, list.size());
  EXPECT_EQ(29u * 1024 + 102, list.back().size);
  EXPECT_EQ(31, host::regex_match_calls());
  EXPECT_EQ(1u, host::compiled_patterns());
}

TEST_F(IndexParser, NonsensePositionsEndTheWholeParse) {
  // A host answering a length past the text stops the parse for good, not just for the read.
  host::config().match_pos_answer = 0;
  host::config().match_len_answer = INT_MAX;
  EXPECT_EQ(1u, parse_in_reads(sample_page(), {1}).size());
  EXPECT_EQ(1u, parse_in_reads(sample_page(), {4095}).size());
}

}  // namespace

namespace {

// What the size used to be computed with: the C library's conversion of the leading digits
// and dots.
int size_by_strtod(const std::string& text) {
  if (text.empty()) return 0;
  const std::string number = text.substr(0, text.find_first_not_of("0123456789."));
  double value = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
  if (text.back() == 'K') value *= 1024.0;
  if (text.back() == 'M') value *= 1048576.0;
  if (!(value >= 0.0)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(value);
}

TEST(SizeFromText, AgreesWithTheCLibraryOnEveryShapeOfNumber) {
  const std::vector<std::string> numbers = {"",
                                            ".",
                                            "..",
                                            "0",
                                            "5.",
                                            ".5",
                                            "1.2.3",
                                            "0.1",
                                            "0.3",
                                            "2.3",
                                            "4.7",
                                            "1023.9",
                                            "999.99",
                                            "0.000000000001",
                                            "123456789012345",
                                            "1234567890123456",
                                            "9.99999999999999",
                                            "0.0000000000000000000000001",
                                            "12345678901234567890123",
                                            "3.14159265358979323846",
                                            "2047.999",
                                            "2048",
                                            "000000000000000000001.5"};
  // A seeded walk over digits and dots covers the lengths on both sides of the fast path.
  std::vector<std::string> all = numbers;
  unsigned state = 12345;
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int length = static_cast<int>((state >> 8) % 20);
    for (int j = 0; j < length; ++j) {
      state = state * 1103515245u + 12345u;
      const unsigned pick = (state >> 16) % 12;
      text += pick < 10 ? static_cast<char>('0' + pick) : '.';
    }
    state = state * 1103515245u + 12345u;
    all.push_back(text);
  }
  for (const std::string& number : all) {
    for (const char* unit : {"K", "M", "B", ""}) {
      const std::string text = number + unit;
      EXPECT_EQ(size_by_strtod(text), GetInfo::size_from_text(text)) << '"' << text << '"';
    }
  }
}

}  // namespace
