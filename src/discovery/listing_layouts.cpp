#include "discovery/listing_layouts.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "discovery/size_text.h"

namespace GetInfo {
namespace {

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
// A link: the value of an href, in either quotes and any case, wherever it stands (the tag may
// begin on an earlier line).
const char* const kLinkPattern = R"re([hH][rR][eE][fF][ \t]*=[ \t]*["']([^\n\r"'<>]+)["'])re";
// The time and the exact size as attributes written for machines.
const char* const kDatetimePattern =
    R"re(datetime[ \t]*=[ \t]*"[ \t]*([0-9]+)-([0-9]+)-([0-9]+)[ \tT]+([0-9]+):([0-9]+))re";
// caddy's templates write the size in data-size, earlier ones in data-order: the letters of
// both, since alternatives are no construct the other patterns use.
const char* const kSizeAttributePattern = R"re(data-[orsdeiz]+[ \t]*=[ \t]*"([0-9]+)")re";
// Dates as texts: "05-Mar-2011 14:07", "2011-03-05T14:07:30", "2011/03/05 14:07";
// "05Mar2011 14:07"; "Mar 5, 2011", "Mar 05  2011"; "5 March 2011", "24 Sept 2025, 13:12".
// A time after the last two is read after the match.
const char* const kDateDashedPattern =
    R"re(([0-9]+[-/][0-9A-Za-z]+[-/][0-9]+)[ \tT]+([0-9]+:[0-9]+)[0-9:.]*)re";
const char* const kDateJoinedPattern =
    R"re(([0-9]+[A-Za-z]+[0-9]+)[ \t]+([0-9]+:[0-9]+)[0-9:.]*)re";
const char* const kDateMonthFirstPattern =
    R"re(([A-Z][a-z][a-z]+)[.]*[ \t]+([0-9]+)[,]*[ \t]+([0-9]+))re";
const char* const kDateDayFirstPattern =
    R"re(([0-9]+)[ \t]+([A-Z][a-z][a-z]+)[.,]*[ \t]+([0-9]+))re";
// A size in a cell of its own ("<td> 2.0 MiB </td>"), and the first number after a time.
const char* const kSizeCellPattern = R"re(>[ \t]*([0-9][0-9.,]*[ \t]*[A-Za-z]*)[ \t]*<)re";
const char* const kSizeAfterPattern = R"re([^\n\r0-9]*([0-9][0-9.,]*[ \t]*[A-Za-z]*))re";

int decimal(std::string_view digits) { return orelib::decimal_value(digits); }

bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Links relative to the directory itself ("./name") are the name.
orelib::string link_name(std::string_view link) {
  while (link.size() > 2 && link.compare(0, 2, "./") == 0) link.remove_prefix(2);
  return orelib::string(link);
}

// The text up to the first of the stop bytes, which is dropped from text with the stop.
std::string_view cut(std::string_view& text, const char* stops) {
  const std::string_view::size_type at = text.find_first_of(stops);
  const std::string_view piece = text.substr(0, at);
  text.remove_prefix(at == std::string_view::npos ? text.size() : at + 1);
  return piece;
}

// The power of 1024 that the unit letter after a size's number stands for.
int unit_shift(std::string_view size) {
  const std::string_view::size_type at = size.find_first_of("kKMGTP");
  return at == std::string_view::npos ? 0 : unit_letter_shift(size[at]);
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// English month names as texts write them: "Mar", "March", "Sept"; 0 for any other word.
int english_month(std::string_view word) {
  static const char* const kNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
  if (word.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    const std::string_view name = kNames[i];
    if (word == name || word == name.substr(0, 3) || (i == 8 && word == "Sept")) return i + 1;
  }
  return 0;
}

// Whether the text at an href the link pattern found is a link to a file: an href attribute
// of an anchor (not "xlink:href", "data-href", "<link href>"), to no place in the page itself.
bool is_file_link(const char* line, const char* href, std::string_view value) {
  if (value.empty() || value[0] == '#' || value[0] == '?') return false;
  if (href > line) {
    const char before = href[-1];
    if (is_letter(before) || (before >= '0' && before <= '9') || before == ':' || before == '-' ||
        before == '_') {
      return false;
    }
  }
  // The tag, when it begins on this line: an anchor.
  for (const char* p = href; p > line; --p) {
    if (p[-1] == '>') return false;
    if (p[-1] == '<') return (p[0] == 'a' || p[0] == 'A') && (is_blank(p[1]) || p[1] == '\n');
  }
  return true;  // an href on a line of its own, inside a tag begun earlier
}

// Past a zone after a time: "Z", "+09:00", "-0500".
const char* skip_zone(const char* at) {
  const char* p = at;
  while (is_blank(*p)) ++p;
  if (*p == 'Z') return p + 1;
  if ((*p == '+' || *p == '-') && p[1] >= '0' && p[1] <= '9') {
    ++p;
    while ((*p >= '0' && *p <= '9') || *p == ':') ++p;
    return p;
  }
  return at;
}

// A time of day written after a date, "13:12", "2:07 PM"; false when there is none (at is left
// at the date's end then).
bool time_after(const char*& at, int& hour, int& minute) {
  const char* p = at;
  while (is_blank(*p) || *p == ',') ++p;
  if (p[0] == 'a' && p[1] == 't' && is_blank(p[2])) p += 3;  // "5 March 2011 at 13:12"
  while (is_blank(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits || p - digits > 2 || *p != ':' || p[1] < '0' || p[1] > '9' || p[2] < '0' ||
      p[2] > '9') {
    return false;
  }
  hour = decimal(std::string_view(digits, static_cast<std::size_t>(p - digits)));
  minute = decimal(std::string_view(p + 1, 2));
  p += 3;
  while (*p == ':' || *p == '.' || (*p >= '0' && *p <= '9')) ++p;  // seconds, fractions
  const char* q = p;
  while (is_blank(*q)) ++q;
  if ((q[0] == 'P' || q[0] == 'p' || q[0] == 'A' || q[0] == 'a') && (q[1] == 'M' || q[1] == 'm') &&
      !is_letter(q[2])) {
    if (hour < 1 || hour > 12) return false;
    hour = (q[0] == 'P' || q[0] == 'p') ? hour % 12 + 12 : hour % 12;
    p = q + 2;
  }
  at = p;
  return true;
}

// The year of a day written without one, as ls writes the files of the last six months: this
// year, or the last one when the day would lie more than a day after today (the server's
// clock may run ahead of ours).
int recent_year(int month, int day) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  const bool ahead = month > now.wMonth || (month == now.wMonth && day > now.wDay + 1);
  return ahead ? now.wYear - 1 : now.wYear;
}

date_time calendar_time(int year, int month, int day, int hour, int minute) {
  return make_date_time(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                        static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour),
                        static_cast<std::uint16_t>(minute), 0, 0);
}

}  // namespace

int month_from_name(std::string_view name, std::vector<orelib::string>& log) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name.size() == 3) {
    for (int i = 0; i < 12; ++i) {
      if (std::memcmp(name.data(), kMonths[i], 3) == 0) return i + 1;
    }
  }
  log.push_back("月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = " +
                orelib::string(name));
  return -1;
}

date_time listing_time(std::string_view first, std::string_view month, std::string_view last,
                       std::string_view hour, std::string_view minute,
                       std::vector<orelib::string>& log) {
  const int month_value = all_digits(month) ? decimal(month) : month_from_name(month, log);
  const int minute_value = decimal(minute);
  const int hour_value = decimal(hour);
  int day = decimal(first);
  int year = decimal(last);
  if (first.size() > 2 && last.size() <= 2) std::swap(day, year);
  return make_date_time(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month_value),
                        static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour_value),
                        static_cast<std::uint16_t>(minute_value), 0, 0);
}

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
  // Line by line until a dated line shows the layout; from then on, all lines at once.
  while (line < end && layout_ != layout::dated_lines && layout_ != layout::cell_lines) {
    char* stop = line;
    while (stop < end && *stop != '\n' && *stop != '\r') ++stop;
    if (stop > line) {
      const char saved = *stop;
      *stop = '\0';
      parse_line(line, static_cast<std::size_t>(stop - line));
      *stop = saved;
      if (ended_) return;
    }
    line = stop + 1;
  }
  if (line >= end) return;
  const std::size_t rest = static_cast<std::size_t>(end - line);
  const bool sane =
      layout_ == layout::dated_lines
          ? dated_line_.each_match(line, rest, [this] { entries_.push_back(dated_entry()); })
          : cell_line_.each_match(line, rest, [this] { entries_.push_back(cell_entry()); });
  if (!sane) ended_ = true;
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

void layout_parser::read_links(char* line, std::size_t length) {
  struct link {
    orelib::string name;
    char* begin;  // its href
    char* end;    // past the value's closing quote
  };
  std::vector<link> links;
  char* const line_end = line + length;
  std::size_t offset = 0;
  while (offset < length && link_.search(line + offset)) {
    const orelib::string value(link_.group(1));
    std::size_t pos = 0;
    std::size_t len = 0;
    if (!link_.placed(length - offset, pos, len)) {
      ended_ = true;
      return;
    }
    char* const href = line + offset + pos;
    if (is_file_link(line, href, value)) links.push_back({link_name(value), href, href + len});
    offset += pos + len;
  }
  if (links.empty()) {
    if (has_record_) read_info(line, line_end, true);
    return;
  }
  for (std::size_t i = 0; i < links.size(); ++i) {
    // A second link to the same file (an icon, then the name) goes on with its record.
    if (!has_record_ || record_.name != links[i].name) {
      end_record();
      record_ = file_info{};
      record_.name = std::move(links[i].name);
      has_record_ = true;
    }
    char* const after_end = i + 1 < links.size() ? links[i + 1].begin : line_end;
    read_info(links[i].end, after_end, false);
    // One link on its line and nothing shown after it: what the line shows before it.
    if (links.size() == 1 && record_time_ == none && record_size_ == none)
      read_info(line, links[0].begin, false);
  }
}

void layout_parser::read_info(char* begin, char* end, bool whole_line) {
  if (end <= begin || (record_time_ == attribute && record_size_ == attribute)) return;
  // Neither a size nor a time without a digit: most lines of a row over several lines.
  bool digits = false;
  for (const char* p = begin; p < end && !digits; ++p) digits = *p >= '0' && *p <= '9';
  if (!digits) return;
  const char saved = *end;
  *end = '\0';
  if (record_time_ < attribute && datetime_.search(begin)) {
    const orelib::string year(datetime_.group(1));
    const orelib::string month(datetime_.group(2));
    const orelib::string day(datetime_.group(3));
    const orelib::string hour(datetime_.group(4));
    record_.time = listing_time(year, month, day, hour, datetime_.group(5), log_);
    record_time_ = attribute;
  }
  const char* after = nullptr;
  if (record_time_ == none) {
    date_time time;
    if (read_time(begin, time, after)) {
      record_.time = time;
      record_time_ = text;
    }
  }
  int size = 0;
  if (record_size_ < attribute && size_attribute_.search(begin)) {
    record_.size = static_cast<std::uint32_t>(scaled_size(size_attribute_.group(1), 0));
    record_size_ = attribute;
  }
  if (record_size_ < cell && read_size_cell(begin, size)) {
    record_.size = static_cast<std::uint32_t>(size);
    record_size_ = cell;
  }
  if (record_size_ < cell && whole_line && static_cast<std::size_t>(end - begin) < 64) {
    // A line of its own inside a record: the size as the whole text of its line.
    const orelib::string wrapped = ">" + orelib::string(begin, end) + "<";
    if (read_size_cell(wrapped.c_str(), size)) {
      record_.size = static_cast<std::uint32_t>(size);
      record_size_ = cell;
    }
  }
  if (record_size_ == none && after && read_size_after(after, size)) {
    record_.size = static_cast<std::uint32_t>(size);
    record_size_ = after_time;
  }
  *end = saved;
}

bool layout_parser::read_time(const char* text, date_time& time, const char*& after) {
  std::size_t length = std::strlen(text);
  std::size_t pos = 0;
  std::size_t len = 0;
  if (date_dashed_.search(text)) {
    // "05-Mar-2011", "2011-03-05", "2011/03/05": day and year told apart as on dated lines.
    const orelib::string date_text(date_dashed_.group(1));
    const orelib::string clock_text(date_dashed_.group(2));
    if (!date_dashed_.placed(length, pos, len)) return false;
    std::string_view date = date_text;
    const bool slashed = date.find('/') != std::string_view::npos;
    const std::string_view first = cut(date, "-/");
    const std::string_view month = cut(date, "-/");
    // "03/05/2011" may be either order: no time is better than a wrong one.
    if (slashed && first.size() <= 2) return false;
    std::string_view clock = clock_text;
    const std::string_view hour = cut(clock, ":");
    time = listing_time(first, month, date, hour, clock, log_);
    after = skip_zone(text + pos + len);
    return true;
  }
  if (date_joined_.search(text)) {
    // "05Mar2011 14:07"
    const orelib::string date_text(date_joined_.group(1));
    const orelib::string clock_text(date_joined_.group(2));
    if (!date_joined_.placed(length, pos, len)) return false;
    std::string_view date = date_text;
    std::size_t letters = 0;
    while (letters < date.size() && !is_letter(date[letters])) ++letters;
    std::size_t digits = letters;
    while (digits < date.size() && is_letter(date[digits])) ++digits;
    std::string_view clock = clock_text;
    const std::string_view hour = cut(clock, ":");
    time = listing_time(date.substr(0, letters), date.substr(letters, digits - letters),
                        date.substr(digits), hour, clock, log_);
    after = skip_zone(text + pos + len);
    return true;
  }
  // Month names: "Mar 5, 2011", "Mar 05  2011"; "5 March 2011", "24 Sept 2025, 13:12".
  for (host_pattern* pattern : {&date_month_first_, &date_day_first_}) {
    if (!pattern->search(text)) continue;
    const bool month_first = pattern == &date_month_first_;
    const orelib::string one(pattern->group(1));
    const orelib::string two(pattern->group(2));
    const orelib::string three(pattern->group(3));
    if (!pattern->placed(length, pos, len)) return false;
    const int month = english_month(month_first ? one : two);
    const std::string_view day = month_first ? two : one;
    const char* end = text + pos + len;
    if (month == 0 || day.size() > 2) continue;
    int hour = 0;
    int minute = 0;
    int year = 0;
    if (*end == ':') {
      // "Dec 10 10:54", as ls writes a file of the last six months: the last number is the hour.
      if (!month_first || three.size() > 2) continue;
      const char* clock = end - three.size();
      if (!time_after(clock, hour, minute)) continue;
      end = clock;
      year = recent_year(month, decimal(day));
    } else {
      if (three.size() != 4) continue;
      time_after(end, hour, minute);
      year = decimal(three);
    }
    time = calendar_time(year, month, decimal(day), hour, minute);
    after = skip_zone(end);
    return true;
  }
  return false;
}

bool layout_parser::read_size_cell(const char* text, int& size) {
  const std::size_t length = std::strlen(text);
  std::size_t offset = 0;
  // The first cell that holds a size: a count or an age in a cell before it is no size.
  while (offset < length && size_cell_.search(text + offset)) {
    const orelib::string cell_text(size_cell_.group(1));
    std::size_t pos = 0;
    std::size_t len = 0;
    if (!size_cell_.placed(length - offset, pos, len)) return false;
    if (listing_size(cell_text, size)) return true;
    // The closing "<" may open the next cell.
    offset += pos + (len > 1 ? len - 1 : 1);
  }
  return false;
}

bool layout_parser::read_size_after(const char* after, int& size) {
  if (!size_after_.search(after)) return false;
  const orelib::string size_text(size_after_.group(1));
  std::size_t pos = 0;
  std::size_t len = 0;
  // The first number after the time, nothing further on.
  if (!size_after_.placed(std::strlen(after), pos, len) || pos != 0) return false;
  return listing_size(size_text, size);
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
  // Links seen before the first row of the layout (sort links, the parent directory) were no
  // rows.
  layout_ = found;
  entries_.clear();
  has_record_ = false;
  record_time_ = none;
  record_size_ = none;
}

void layout_parser::end_record() {
  if (!has_record_) return;
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
