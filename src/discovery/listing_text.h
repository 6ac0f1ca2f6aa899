#pragma once
// What the readers of listing_layouts.h share: their patterns and the small helpers of their
// texts. Internal to those readers.

#include <string_view>

#include "support/orelib_string.h"

namespace GetInfo {
namespace listing {

extern const char* const kDatedLinePattern;
extern const char* const kCellLinePattern;
extern const char* const kLinkPattern;
extern const char* const kDatetimePattern;
extern const char* const kSizeAttributePattern;
extern const char* const kDateDashedPattern;
extern const char* const kDateJoinedPattern;
extern const char* const kDateMonthFirstPattern;
extern const char* const kDateDayFirstPattern;
extern const char* const kSizeCellPattern;
extern const char* const kSizeAfterPattern;

inline int decimal(std::string_view digits) { return orelib::decimal_value(digits); }

inline bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A link without the blanks around it, which browsers drop too (spaces, tabs, line breaks,
// form feeds).
inline std::string_view trim_blanks(std::string_view link) {
  const char* const blanks = " \t\n\r\f";
  const std::string_view::size_type first = link.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return link.substr(first, link.find_last_not_of(blanks) - first + 1);
}

// Links relative to the directory itself ("./name") are the name.
inline orelib::string link_name(std::string_view link) {
  link = trim_blanks(link);
  while (link.size() > 2 && link.compare(0, 2, "./") == 0) link.remove_prefix(2);
  return orelib::string(link);
}

// A link to a folder: the parent directory, a subdirectory.
inline bool is_folder(std::string_view name) {
  return name.empty() || name.back() == '/' || name == "." || name == "..";
}

// The text up to the first of the stop bytes, which is dropped from text with the stop.
inline std::string_view cut(std::string_view& text, const char* stops) {
  const std::string_view::size_type at = text.find_first_of(stops);
  const std::string_view piece = text.substr(0, at);
  text.remove_prefix(at == std::string_view::npos ? text.size() : at + 1);
  return piece;
}

inline bool is_line_break(char c) { return c == '\n' || c == '\r'; }
inline bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// What the hrefs of text[begin, end) link to, looked at without the host: none, only places
// that are no files (folders, the page itself), or at least one file. Linear in the text.
enum class shown_links { none, others, files };
shown_links links_shown(const char* begin, const char* end);

}  // namespace listing
}  // namespace GetInfo
