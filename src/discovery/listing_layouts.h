#pragma once
// Index pages in the layouts of today's web servers. They are read only where the classic index
// pattern finds no entry on the whole page (a page on which it finds one is read as before):
// - one line per file with ISO or year-first dates, and sizes in bytes, with K, M, G or T
//   (KiB, MiB ...) and decimals;
// - rows spread over several lines: a link, then attributes with the exact size and an ISO time;
// - plain lists of links, which give names only (no time, size 0).
// The host's regular-expression services do all the matching, with patterns built from the
// same constructs as the classic one.

#include <cstddef>
#include <string_view>
#include <vector>

#include "discovery/date_time.h"
#include "discovery/file_info.h"
#include "discovery/host_pattern.h"

namespace GetInfo {

// "Jan" .. "Dec" (exactly) give 1 .. 12; anything else adds the month line to log and gives -1.
int month_from_name(std::string_view name, std::vector<orelib::string>& log);

// A listing's date and time, taken as the page writes them (no time-zone conversion, seconds
// 0): day-month-year, or year-month-day when the first number has more than two digits and the
// last at most two. The month is a number or an English abbreviation; an unknown name adds the
// month line to log and makes the time absent. Empty numbers count as 0.
date_time listing_time(std::string_view first, std::string_view month, std::string_view last,
                       std::string_view hour, std::string_view minute,
                       std::vector<orelib::string>& log);

class layout_parser {
 public:
  // The host must stay bound while the parser is in use.
  explicit layout_parser(const HostModule& host);
  layout_parser(const layout_parser&) = delete;
  layout_parser& operator=(const layout_parser&) = delete;

  // Complete lines of the page: text[0, length), NUL-terminated at length. The text is changed
  // while the call runs (a NUL at the end of each line in turn) and restored before it returns.
  void parse(char* text, std::size_t length);
  // The classic pattern found an entry: nothing here will be used.
  void abandon();
  // The page is complete: appends the entries to list and the parse's log lines to log.
  void finish(file_list& list, std::vector<orelib::string>& log);
  // The entries kept so far.
  std::size_t count() const { return entries_.size(); }

 private:
  // How the page lays its entries out, known from its first dated line.
  enum class layout { unknown, dated_lines, records };

  void parse_line(char* line, std::size_t length);
  bool add_dated_line();  // from the last match of dated_line_
  void end_record();

  host_pattern dated_line_;
  host_pattern link_;
  host_pattern datetime_;
  host_pattern size_attribute_;
  layout layout_ = layout::unknown;
  bool ended_ = false;
  file_list entries_;
  std::vector<orelib::string> log_;
  file_info record_;  // the record whose link came last, while has_record_
  bool has_record_ = false;
};

}  // namespace GetInfo
