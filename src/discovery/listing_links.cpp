#include <cstdint>
#include <cstring>
#include <utility>

#include "discovery/listing_layouts.h"
#include "discovery/listing_text.h"
#include "discovery/size_text.h"

// The link-by-link reader: every link of a line, and the size and time each shows.

namespace GetInfo {
namespace listing {

// A link: the value of an href, in either quotes and any case, wherever it stands (the tag may
// begin on an earlier line).
const char* const kLinkPattern = R"re([hH][rR][eE][fF][ \t]*=[ \t]*["']([^\n\r"'<>]+)["'])re";
// The time and the exact size as attributes written for machines.
const char* const kDatetimePattern =
    R"re(datetime[ \t]*=[ \t]*"[ \t]*([0-9]+)-([0-9]+)-([0-9]+)[ \tT]+([0-9]+):([0-9]+))re";
// caddy's templates write the size in data-size, earlier ones in data-order: the letters of
// both, since alternatives are no construct the other patterns use.
const char* const kSizeAttributePattern = R"re(data-[orsdeiz]+[ \t]*=[ \t]*"([0-9]+)")re";
// A size in a cell of its own ("<td> 2.0 MiB </td>"), and the first number after a time.
const char* const kSizeCellPattern = R"re(>[ \t]*([0-9][0-9.,]*[ \t]*[A-Za-z]*)[ \t]*<)re";
const char* const kSizeAfterPattern = R"re([^\n\r0-9]*([0-9][0-9.,]*[ \t]*[A-Za-z]*))re";

}  // namespace listing

using namespace listing;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether the href at href is a link to a file: an href attribute of an anchor (not
// "xlink:href", "data-href", "<link href>"), to no place in the page itself. angle: the last
// '<' or '>' on the line before href, or null.
bool is_file_link(const char* line, const char* href, const char* angle, std::string_view value) {
  if (value.empty() || value[0] == '#' || value[0] == '?') return false;
  if (href > line) {
    const char before = href[-1];
    if (is_letter(before) || is_digit(before) || before == ':' || before == '-' || before == '_') {
      return false;
    }
  }
  if (!angle) return true;  // an href on a line of its own, inside a tag begun earlier
  if (*angle == '>') return false;
  // The tag begins on this line: an anchor.
  return (angle[1] == 'a' || angle[1] == 'A') && (is_blank(angle[2]) || angle[2] == '\n');
}

// Past a line break tag ("<br>", "<BR/>", "<br />") that begins at p, or null.
const char* past_break(const char* p, const char* end) {
  if (end - p < 4 || p[0] != '<' || (p[1] != 'b' && p[1] != 'B') || (p[2] != 'r' && p[2] != 'R'))
    return nullptr;
  const char* q = p + 3;
  if (*q != '>' && *q != '/' && !is_blank(*q)) return nullptr;
  while (q < end && *q != '>' && *q != '<') ++q;
  return q < end && *q == '>' ? q + 1 : nullptr;
}

// The size ls writes right before its date ("2097152 Mar  5  2011"): the word before date,
// when it is a size of its own ("2.0M" of ls -h too).
bool size_before(const char* begin, const char* date, int& size) {
  const char* end = date;
  while (end > begin && is_blank(end[-1])) --end;
  if (end == date) return false;
  const char* word = end;
  while (word > begin && !is_blank(word[-1]) && word[-1] != '>') --word;
  if (word == end || !is_digit(*word)) return false;
  return listing_size(std::string_view(word, static_cast<std::size_t>(end - word)), size);
}

}  // namespace

namespace listing {

shown_links links_shown(const char* begin, const char* end) {
  shown_links found = shown_links::none;
  for (const char* p = begin; p + 4 < end; ++p) {
    if ((p[0] | 0x20) != 'h' || (p[1] | 0x20) != 'r' || (p[2] | 0x20) != 'e' ||
        (p[3] | 0x20) != 'f')
      continue;
    if (p > begin &&
        (is_letter(p[-1]) || is_digit(p[-1]) || p[-1] == ':' || p[-1] == '-' || p[-1] == '_'))
      continue;
    const char* q = p + 4;
    while (q < end && is_blank(*q)) ++q;
    if (q == end || *q != '=') continue;
    ++q;
    while (q < end && is_blank(*q)) ++q;
    if (q == end || (*q != '"' && *q != '\'')) continue;
    const char* const value = ++q;
    while (q < end && *q != '"' && *q != '\'' && *q != '<' && *q != '>') ++q;
    if (q == end) break;
    // Nothing before q can begin a link of another value: each byte is looked at once.
    p = q - 1;
    if (*q == '<' || *q == '>') continue;
    const std::string_view link =
        trim_blanks(std::string_view(value, static_cast<std::size_t>(q - value)));
    if (link.empty()) continue;
    if (link[0] == '#' || link[0] == '?' || is_folder(link_name(link))) {
      found = shown_links::others;
    } else {
      return shown_links::files;
    }
  }
  return found;
}

}  // namespace listing

void layout_parser::read_links(char* line, std::size_t length) {
  struct link {
    orelib::string name;
    char* begin;  // its href
    char* end;    // past the value's closing quote
  };
  std::vector<link> links;
  char* const line_end = line + length;
  // The last angle bracket before each href, found in one pass over the line.
  const char* scanned = line;
  const char* angle = nullptr;
  std::size_t offset = 0;
  while (offset < length && link_.search(line + offset)) {
    const orelib::string value(trim_blanks(link_.group(1)));
    std::size_t pos = 0;
    std::size_t len = 0;
    if (!link_.placed(length - offset, pos, len)) {
      ended_ = true;
      return;
    }
    char* const href = line + offset + pos;
    for (; scanned < href; ++scanned) {
      if (*scanned == '<' || *scanned == '>') angle = scanned;
    }
    if (is_file_link(line, href, angle, value))
      links.push_back({link_name(value), href, href + len});
    offset += pos + len;
  }
  // Line breaks in the markup ("<br>") part the line as the page shows it: a link is read with
  // what its own line shows.
  std::size_t next = 0;
  for (char* shown = line; shown;) {
    char* shown_end = shown;
    char* following = nullptr;
    for (; shown_end < line_end; ++shown_end) {
      if (*shown_end != '<') continue;
      if (const char* past = past_break(shown_end, line_end)) {
        following = shown_end + (past - shown_end);
        break;
      }
    }
    const std::size_t first = next;
    while (next < links.size() && links[next].begin < shown_end) ++next;
    if (first == next) {
      if (has_record_) read_info(shown, shown_end, true);
    }
    for (std::size_t i = first; i < next; ++i) {
      // A second link to the same file (an icon, then the name) goes on with its record.
      if (!has_record_ || record_.name != links[i].name) {
        end_record();
        record_ = file_info{};
        record_.name = std::move(links[i].name);
        has_record_ = true;
      }
      read_info(links[i].end, i + 1 < next ? links[i + 1].begin : shown_end, false);
      // One link on its line and nothing shown after it: what the line shows before it.
      if (next - first == 1 && record_time_ == none && record_size_ == none)
        read_info(shown, links[i].begin, false);
    }
    if (ended_) return;
    shown = following;
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
  const char* ls_date = nullptr;
  if (record_time_ == none) {
    date_time time;
    if (read_time(begin, time, after, ls_date)) {
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
  if (record_size_ == none && after &&
      (read_size_after(after, size) || (ls_date && size_before(begin, ls_date, size)))) {
    record_.size = static_cast<std::uint32_t>(size);
    record_size_ = after_time;
  }
  *end = saved;
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

}  // namespace GetInfo
