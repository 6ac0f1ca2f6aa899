#include "discovery/listing_layouts.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "discovery/listing_text.h"
#include "discovery/size_text.h"

namespace GetInfo {
namespace listing {

// One file a line: the link, the date and time (a date written with a month name or number in
// either order, a time after it, maybe with seconds) and the size, the first number after the
// time, with its unit letter if any. Separators hold no digit, colon or point, so that the
// seconds are never taken for the size, and do not end in a sign, so that neither is a zone
// offset ("+09:00"). Three groups: each costs the host a call per entry.
const char* const kDatedLinePattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]+-[0-9A-Za-z]+-[0-9]+[ \tT]+[0-9]+:[0-9]+)[0-9:.]*[^\n\r0-9:.]*[^\n\r0-9:.+-]([0-9][0-9.,]*[ \t]*[kKMGTP]*))re";
// One file a line as a row of cells: the link, the size in a cell of its own, then the date
// and time (nginx's fancyindex module). Three groups, as for dated lines.
const char* const kCellLinePattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?>[ \t]*([0-9][0-9.,]*[ \t]*[A-Za-z]*)[ \t]*<[^\n\r0-9]*([0-9]+-[0-9A-Za-z]+-[0-9]+[ \tT]+[0-9]+:[0-9]+))re";

}  // namespace listing

using namespace listing;

namespace {

// The power of 1024 that the unit letter after a size's number stands for.
int unit_shift(std::string_view size) {
  const std::string_view::size_type at = size.find_first_of("kKMGTP");
  return at == std::string_view::npos ? 0 : unit_letter_shift(size[at]);
}

}  // namespace

layout_parser::layout_parser(const HostModule& host)
    : dated_line_(host, kDatedLinePattern),
      cell_line_(host, kCellLinePattern),
      link_(host, kLinkPattern),
      datetime_(host, kDatetimePattern),
      size_attribute_(host, kSizeAttributePattern),
      date_dashed_(host, kDateDashedPattern),
      date_joined_(host, kDateJoinedPattern),
      date_month_first_(host, kDateMonthFirstPattern),
      date_day_first_(host, kDateDayFirstPattern),
      size_cell_(host, kSizeCellPattern),
      size_after_(host, kSizeAfterPattern) {}

void layout_parser::parse(char* text, std::size_t length) {
  if (ended_) return;
  char* const end = text + length;
  char* line = text;
  // Line by line until a dated line or a row of cells shows the layout.
  while (line < end && layout_ == layout::unknown) {
    char* stop = line;
    while (stop < end && !is_line_break(*stop)) ++stop;
    if (stop > line) {
      const char saved = *stop;
      *stop = '\0';
      parse_line(line, static_cast<std::size_t>(stop - line));
      *stop = saved;
      if (ended_) return;
    }
    line = stop + 1;
  }
  if (line < end) read_layout(line, end);
}

void layout_parser::read_layout(char* text, char* end) {
  // All lines at once with the layout's pattern; the lines it passes over are read link by
  // link, so that a row it does not read keeps its link.
  const bool dated = layout_ == layout::dated_lines;
  host_pattern& pattern = dated ? dated_line_ : cell_line_;
  char* unread = text;    // the first line neither pattern nor links have read
  char* line_end = text;  // the end of the last match's line
  file_info matched;
  bool pending = false;
  const bool sane = pattern.each_match(
      text, static_cast<std::size_t>(end - text),
      [&] {
        matched = dated ? dated_entry() : cell_entry();
        pending = true;
      },
      [&](const char* match, std::size_t match_length) {
        char* const begin = text + (match - text);
        // A match further on the same line passes over no line.
        if (begin >= line_end) {
          char* line = begin;
          while (line > unread && !is_line_break(line[-1])) --line;
          read_gap(unread, line);
          line_end = begin + match_length;
          while (line_end < end && !is_line_break(*line_end)) ++line_end;
          unread = line_end;
        }
        end_record();
        entries_.push_back(std::move(matched));
        pending = false;
      });
  if (pending) entries_.push_back(std::move(matched));
  if (!sane) {
    ended_ = true;
    return;
  }
  read_gap(unread, end);
}

void layout_parser::read_gap(char* begin, char* end) {
  for (char* line = begin; line < end && !ended_;) {
    char* stop = line;
    while (stop < end && !is_line_break(*stop)) ++stop;
    const shown_links links = links_shown(line, stop);
    if (links == shown_links::files) {
      const char saved = *stop;
      *stop = '\0';
      read_links(line, static_cast<std::size_t>(stop - line));
      *stop = saved;
    } else if (links == shown_links::others) {
      end_record();
    } else if (has_record_) {
      read_info(line, stop, true);
    }
    line = stop + 1;
  }
}

bool layout_parser::spans_links(const char* match, std::size_t length) {
  // The match begins with its own "href".
  for (std::size_t i = 4; i + 4 <= length; ++i) {
    if ((match[i] == 'h' || match[i] == 'H') && (match[i + 1] == 'r' || match[i + 1] == 'R') &&
        (match[i + 2] == 'e' || match[i + 2] == 'E') &&
        (match[i + 3] == 'f' || match[i + 3] == 'F'))
      return true;
  }
  return false;
}

void layout_parser::parse_line(char* line, std::size_t length) {
  // A dated line has one link; a line with several is read link by link.
  file_list dated;
  const std::size_t logged = log_.size();
  bool several = false;
  if (!dated_line_.each_match(
          line, length, [&] { dated.push_back(dated_entry()); },
          [&](const char* match, std::size_t match_length) {
            if (spans_links(match, match_length)) several = true;
          })) {
    ended_ = true;
  }
  if (ended_) return;
  if (!dated.empty() && !several) {
    enter_layout(layout::dated_lines);
    move_entries(dated, entries_);
    return;
  }
  log_.resize(logged);
  if (!dated.empty()) {
    read_links(line, length);
    return;
  }
  // A row of cells: one link, its size in a cell of its own, then the time.
  file_info row;
  bool row_found = false;
  if (cell_line_.search(line)) {
    row = cell_entry();
    std::size_t pos = 0;
    std::size_t len = 0;
    row_found = cell_sized_ && cell_line_.placed(length, pos, len) && !spans_links(line + pos, len);
  }
  if (row_found) {
    enter_layout(layout::cell_lines);
    entries_.push_back(std::move(row));
    return;
  }
  log_.resize(logged);
  read_links(line, length);
}

file_info layout_parser::cell_entry() {
  // Each answer is copied before the next call, which may reuse the host's buffer.
  file_info entry;
  entry.name = link_name(cell_line_.group(1));
  int size = 0;
  cell_sized_ = listing_size(cell_line_.group(2), size);
  entry.size = cell_sized_ ? static_cast<std::uint32_t>(size) : 0;
  entry.time = dated_time(cell_line_.group(3));
  return entry;
}

date_time layout_parser::dated_time(std::string_view when_view) {
  // "2011-03-05 14:07", "05-Mar-2011T14:07": the pattern made sure of the pieces.
  const orelib::string when_text(when_view);
  std::string_view when = when_text;
  const std::string_view first = cut(when, "-");
  const std::string_view month = cut(when, "-");
  const std::string_view last = cut(when, " \tT");
  while (!when.empty() && (when.front() == ' ' || when.front() == '\t' || when.front() == 'T')) {
    when.remove_prefix(1);
  }
  const std::string_view hour = cut(when, ":");
  return listing_time(first, month, last, hour, when, log_);
}

file_info layout_parser::dated_entry() {
  // Each answer is copied before the next call, which may reuse the host's buffer.
  file_info entry;
  entry.name = link_name(dated_line_.group(1));
  entry.time = dated_time(dated_line_.group(2));
  const std::string_view size = dated_line_.group(3);
  entry.size = static_cast<std::uint32_t>(scaled_size(plain_number(size), unit_shift(size)));
  return entry;
}

void layout_parser::enter_layout(layout found) {
  // Folders linked before the first row of the layout (the parent directory) were no rows;
  // files read link by link stay.
  layout_ = found;
  end_record();
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [](const file_info& entry) { return is_folder(entry.name); }),
                 entries_.end());
}

void layout_parser::end_record() {
  if (!has_record_) return;
  // Beside the rows of a layout, a folder read link by link is the parent or a subdirectory.
  if (layout_ == layout::unknown || !is_folder(record_.name))
    entries_.push_back(std::move(record_));
  has_record_ = false;
  record_time_ = none;
  record_size_ = none;
}

void layout_parser::abandon() {
  ended_ = true;
  file_list().swap(entries_);
  log_.clear();
  has_record_ = false;
}

void layout_parser::finish(file_list& list, std::vector<orelib::string>& log) {
  end_record();
  move_entries(entries_, list);
  for (orelib::string& line : log_) log.push_back(std::move(line));
  log_.clear();
}

}  // namespace GetInfo
