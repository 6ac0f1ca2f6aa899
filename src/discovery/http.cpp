#include "discovery/index_parser.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "discovery/listing_text.h"
#include "discovery/size_text.h"
#include "plugin/host_module.h"
#include "plugin/log.h"

namespace GetInfo {

const char* const kIndexEntryPattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]*)-([A-Za-z]*)-([0-9]*)[ \t]*([0-9]*):([0-9]*)[^\n\r]*?([0-9\\.]*[KMB]))re";

namespace {

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

}  // namespace

index_parser::index_parser(const HostModule& host, file_list& list)
    : list_(list), classic_(host, kIndexEntryPattern), layouts_(host) {}

bool index_parser::write(char* data, std::size_t size) {
  if (stop_ != stop::none) return false;
  if (ended_) return true;
  // A NUL ends the page: what comes before it is complete.
  const void* nul = std::memchr(data, '\0', size);
  const std::size_t kept =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size;
  std::size_t end = kept;
  if (!nul) {
    while (end > 0 && !is_line_break(data[end - 1])) --end;
  }
  // data[0, end) holds complete lines; the first of them may finish a line begun earlier.
  std::size_t start = 0;
  if (!pending_.empty() && end > 0) {
    while (start < end && !is_line_break(data[start])) ++start;
    if (start < end) ++start;
    pending_.append(data, start);
    if (!parse(pending_.data(), pending_.size())) return stop_ == stop::none;
    pending_.clear();
  }
  if (end > start) {
    // Parsed where they lie: the host reads a NUL-terminated text, so the byte after the
    // lines (the reader keeps room for one past the data) is a NUL for the parse only.
    const char saved = data[end];
    data[end] = '\0';
    const bool go_on = parse(data + start, end - start);
    data[end] = saved;
    if (!go_on) return stop_ == stop::none;
  }
  pending_.append(data + end, kept - end);
  if (pending_.size() > kMaxLine) {
    stop_ = stop::line;
    ended_ = true;
    orelib::string().swap(pending_);
    return false;
  }
  if (nul) end_page();
  return true;
}

void index_parser::report_stop() const {
  if (stop_ == stop::entries) {
    log_line("ページの項目が" +
             orelib::lexical_cast<orelib::string>(static_cast<int>(kMaxEntries)) +
             "件を超えたので読むのをやめました．");
  } else if (stop_ == stop::line) {
    log_line("ページに16MiBを超える行があるので読むのをやめました．");
  }
}

void index_parser::end_page() {
  if (ended_) return;
  parse(pending_.data(), pending_.size());
  orelib::string().swap(pending_);
  ended_ = true;
}

void index_parser::finish() {
  if (finished_) return;
  end_page();
  finished_ = true;
  // An empty page is searched once all the same, as any page is.
  if (!classic_.searched()) classic_.search("");
  if (entries_.empty()) {
    layouts_.finish(entries_, log_);
  } else {
    layouts_.abandon();
  }
  move_entries(entries_, list_);
  for (const orelib::string& line : log_) log_line(line);
  log_.clear();
}

bool index_parser::parse(char* text, std::size_t length) {
  if (ended_) return false;
  const bool sane = classic_.each_match(
      text, length, [this] { entries_.push_back(classic_entry()); },
      [this](const char* match, std::size_t match_length) {
        if (bare_unit_) entries_.back().size = size_before_unit(match, match_length);
      });
  // The layouts of today's servers count only on pages without a classic entry.
  if (entries_.empty()) {
    layouts_.parse(text, length);
  } else {
    layouts_.abandon();
  }
  if (entries_.size() + layouts_.count() > kMaxEntries) {
    stop_ = stop::entries;
    ended_ = true;
    return false;
  }
  if (sane) return true;
  ended_ = true;
  return false;
}

file_info index_parser::classic_entry() {
  // Each answer is copied before the next call, which may reuse the host's buffer.
  file_info entry;
  entry.name.assign(listing::trim_blanks(classic_.group(1)));
  const std::string_view size = classic_.group(7);
  bare_unit_ = size.find_first_of("0123456789") == std::string_view::npos;
  entry.size = static_cast<std::uint32_t>(size_from_text(size));
  const orelib::string day(classic_.group(2));
  const orelib::string month(classic_.group(3));
  const orelib::string year(classic_.group(4));
  const orelib::string hour(classic_.group(5));
  entry.time = listing_time(day, month, year, hour, classic_.group(6), log_);
  return entry;
}

std::uint32_t size_before_unit(const char* match, std::size_t length) {
  // The match ends on the unit letter; letters before a "B" belong to its unit ("GB", "GiB").
  const char* const begin = match;
  const char* unit = match + length - 1;
  while (unit > begin &&
         ((unit[-1] >= 'A' && unit[-1] <= 'Z') || (unit[-1] >= 'a' && unit[-1] <= 'z')))
    --unit;
  const char* number_end = unit;
  while (number_end > begin && (number_end[-1] == ' ' || number_end[-1] == '\t')) --number_end;
  if (number_end == unit) return 0;  // no blank: no number of its own
  const char* number = number_end;
  while (number > begin &&
         ((number[-1] >= '0' && number[-1] <= '9') || number[-1] == '.' || number[-1] == ','))
    --number;
  // A number of its own: not the minute of the time or part of a name.
  if (number == begin || (number[-1] != ' ' && number[-1] != '\t' && number[-1] != '>')) return 0;
  int size = 0;
  const std::string_view text(number, static_cast<std::size_t>(match + length - number));
  if (!listing_size(text, size)) return 0;
  return static_cast<std::uint32_t>(size);
}

int size_from_text(std::string_view text) {
  if (text.empty()) return 0;
  const int shift = text.back() == 'K' ? 10 : (text.back() == 'M' ? 20 : 0);
  return scaled_size(text, shift);
}

}  // namespace GetInfo
