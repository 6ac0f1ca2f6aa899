#pragma once
// Reading a mirror directory's HTTP index page: its entries, whatever pieces it arrives in.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "discovery/body_sink.h"
#include "discovery/host_pattern.h"
#include "discovery/listing_layouts.h"

namespace GetInfo {

// The index line of an automatically generated directory listing: link, date, time, size.
extern const char* const kIndexEntryPattern;

// Parses an index page while it arrives, so that the page is never held whole. An entry never
// spans a line break (the pattern admits neither CR nor LF), so complete lines are parsed as
// soon as they are in and only the unfinished last line is kept. The page ends at the end of
// the data or at its first NUL, as a NUL-terminated page would. Complete lines are parsed in
// the reader's buffer, without a copy.
//
// Nothing reaches the list or the log before finish(): a page whose reading fails leaves them as
// they were, as if it had never been parsed. Where the classic pattern finds no entry on the
// whole page, the entries are those the layouts of today's servers give (listing_layouts.h).
class index_parser : public body_sink {
 public:
  // The host must stay bound while the parser is in use; entries are appended to list.
  index_parser(const HostModule& host, file_list& list);

  // False once the page passed a bound (too many entries, too long a line): read no more.
  bool write(char* data, std::size_t size) override;
  // The page is complete: parses what remains after the last line break, then hands over the
  // entries and writes the parse's log lines. Call once, after the last write.
  void finish();
  // Logs the bound the page passed, if it passed one.
  void report_stop() const;

  // No listing a mirror serves comes near these; an endless page would reach them.
  static constexpr std::size_t kMaxEntries = 1000000;
  static constexpr std::size_t kMaxLine = std::size_t{16} << 20;

 private:
  // Parses text[0, length), NUL-terminated at length; false once the parse has ended.
  bool parse(char* text, std::size_t length);
  // The page ended (its end or a NUL): parses the unfinished last line.
  void end_page();
  // One entry from the last match of the classic pattern.
  file_info classic_entry();
  // The classic size of the last entry was a unit letter alone ("K" of "4.1 KB").
  bool bare_unit_ = false;

  file_list& list_;
  host_pattern classic_;
  layout_parser layouts_;
  file_list entries_;
  std::vector<orelib::string> log_;
  bool ended_ = false;
  bool finished_ = false;
  enum class stop { none, entries, line } stop_ = stop::none;
  orelib::string pending_;
};

// "2.3K", "1.2M", "512B" in bytes, truncated; sizes beyond the 32-bit range saturate.
int size_from_text(std::string_view text);

// The size a line shows where the classic size is a unit letter alone: match is the classic
// match, which ends on that letter ("4.1 K" of "4.1 KB", "481 B" of "481 Bytes", "1.5 GB").
// The number before the unit, with its blanks; 0 when there is none of its own.
std::uint32_t size_before_unit(const char* match, std::size_t length);

}  // namespace GetInfo
