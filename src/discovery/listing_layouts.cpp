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
// seconds are never taken for the size. Three groups: each costs the host a call per entry.
const char* const kDatedLinePattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]+-[0-9A-Za-z]+-[0-9]+[ \tT]+[0-9]+:[0-9]+)[0-9:.]*[^\n\r0-9:.]+([0-9][0-9.]*[ \t]*[kKMGT]*))re";
// The first anchor of a line and its link.
const char* const kLinkPattern = R"re(<[aA][ \t][^\n\r>]*href[ \t]*=[ \t]*"([^\n\r"]+)")re";
// Rows over several lines: the time and the exact size as attributes of their cells.
const char* const kDatetimePattern =
    R"re(datetime[ \t]*=[ \t]*"[ \t]*([0-9]+)-([0-9]+)-([0-9]+)[ \tT]+([0-9]+):([0-9]+))re";
const char* const kSizeAttributePattern = R"re(data-order[ \t]*=[ \t]*"([0-9]+)")re";

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
  const std::string_view::size_type at = size.find_first_of("kKMGT");
  if (at == std::string_view::npos) return 0;
  switch (size[at]) {
    case 'k':
    case 'K':
      return 10;
    case 'M':
      return 20;
    case 'G':
      return 30;
    case 'T':
      return 40;
    default:
      return 0;
  }
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
      link_(host, kLinkPattern),
      datetime_(host, kDatetimePattern),
      size_attribute_(host, kSizeAttributePattern) {}

void layout_parser::parse(char* text, std::size_t length) {
  if (ended_) return;
  char* const end = text + length;
  char* line = text;
  // Line by line until a dated line shows the layout; from then on, all lines at once.
  while (line < end && layout_ != layout::dated_lines) {
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
  if (line < end && !dated_line_.each_match(line, static_cast<std::size_t>(end - line),
                                            [this] { add_dated_line(); })) {
    ended_ = true;
  }
}

void layout_parser::parse_line(char* line, std::size_t length) {
  bool dated = false;
  if (!dated_line_.each_match(line, length, [&] { dated = add_dated_line(); })) ended_ = true;
  if (dated || ended_) return;
  if (link_.search(line)) {
    end_record();
    record_ = file_info{};
    record_.name = link_name(link_.group(1));
    has_record_ = true;
  } else if (has_record_) {
    if (size_attribute_.search(line)) record_.size = scaled_size(size_attribute_.group(1), 0);
    if (datetime_.search(line)) {
      const orelib::string year(datetime_.group(1));
      const orelib::string month(datetime_.group(2));
      const orelib::string day(datetime_.group(3));
      const orelib::string hour(datetime_.group(4));
      record_.time = listing_time(year, month, day, hour, datetime_.group(5), log_);
    }
  }
}

bool layout_parser::add_dated_line() {
  if (layout_ != layout::dated_lines) {
    // Links seen before the first dated line (sort links, the parent directory) were no rows.
    layout_ = layout::dated_lines;
    entries_.clear();
    has_record_ = false;
  }
  // Each answer is copied before the next call, which may reuse the host's buffer.
  file_info entry;
  entry.name = link_name(dated_line_.group(1));
  // "2011-03-05 14:07", "05-Mar-2011T14:07": the pattern made sure of the pieces.
  const orelib::string when_text(dated_line_.group(2));
  std::string_view when = when_text;
  const std::string_view first = cut(when, "-");
  const std::string_view month = cut(when, "-");
  const std::string_view last = cut(when, " \tT");
  while (!when.empty() && (when.front() == ' ' || when.front() == '\t' || when.front() == 'T')) {
    when.remove_prefix(1);
  }
  const std::string_view hour = cut(when, ":");
  entry.time = listing_time(first, month, last, hour, when, log_);
  const std::string_view size = dated_line_.group(3);
  entry.size = static_cast<std::uint32_t>(scaled_size(size, unit_shift(size)));
  entries_.push_back(std::move(entry));
  return true;
}

void layout_parser::end_record() {
  if (!has_record_) return;
  entries_.push_back(std::move(record_));
  has_record_ = false;
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
