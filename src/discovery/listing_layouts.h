#pragma once
// Index pages in the layouts of today's web servers. They are read only where the classic index
// pattern finds no entry on the whole page (a page on which it finds one is read as before):
// - one line per file with ISO or year-first dates, and sizes in bytes, with K, M, G or T
//   (KiB, MiB ...) and decimals;
// - every other page link by link: each link's size and time are those shown after it, up to
//   the next link, on its line or on the lines that follow (cells, list items, rows over
//   several lines: attributes with the exact size and an ISO time, or the texts), or, for a
//   line with one link and nothing after it, before it;
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

// The year of a day that ls writes without one (the files of the last six months): the latest
// in which the day lies no more than a day after now's (UTC).
int yearless_year(int month, int day, const SYSTEMTIME& now);

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
  // How the page lays its entries out, known from its first dated line or row of cells.
  enum class layout { unknown, dated_lines, cell_lines };
  // How sure a record's size or time is: read from text, from a cell of its own, from an
  // attribute written for machines. A better reading replaces a worse one, never the reverse.
  enum rank { none = 0, after_time = 1, text = 1, cell = 2, attribute = 3 };

  void parse_line(char* line, std::size_t length);
  // The lines of text[0, end) once the layout is known.
  void read_layout(char* text, char* end);
  // Complete lines that the layout's pattern passed over.
  void read_gap(char* begin, char* end);
  file_info dated_entry();  // from the last match of dated_line_
  file_info cell_entry();   // from the last match of cell_line_; sets cell_sized_
  date_time dated_time(std::string_view when);  // "05-Mar-2011 14:07", "2011-03-05T14:07"
  // Whether the dated line at match, of the given length, spans more than one link.
  static bool spans_links(const char* match, std::size_t length);
  // The links of a line and what each shows after it.
  void read_links(char* line, std::size_t length);
  // The size and time text[begin, end) shows, for the open record (end is made a NUL while
  // the call runs). whole_line: the text is a line of its own inside a record.
  void read_info(char* begin, char* end, bool whole_line);
  // Time and size from NUL-terminated text; after points past the time, or is null; ls_date
  // points at a date written month first ("Mar  5  2011"), or is left alone.
  bool read_time(const char* text, date_time& time, const char*& after, const char*& ls_date);
  bool read_size_cell(const char* text, int& size);
  bool read_size_after(const char* after, int& size);
  // From the first row of a layout on: the page is read that way; folders linked before go.
  void enter_layout(layout found);
  void end_record();

  host_pattern dated_line_;
  host_pattern cell_line_;
  host_pattern link_;
  host_pattern datetime_;
  host_pattern size_attribute_;
  host_pattern date_dashed_;
  host_pattern date_joined_;
  host_pattern date_month_first_;
  host_pattern date_day_first_;
  host_pattern size_cell_;
  host_pattern size_after_;
  layout layout_ = layout::unknown;
  bool ended_ = false;
  file_list entries_;
  std::vector<orelib::string> log_;
  file_info record_;  // the record whose link came last, while has_record_
  bool has_record_ = false;
  bool cell_sized_ = false;  // the last row of cells showed a size
  rank record_time_ = none;
  rank record_size_ = none;
};

}  // namespace GetInfo
