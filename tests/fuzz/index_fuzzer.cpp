// The index page reader fed a page in pieces: the first byte seeds the piece sizes, the rest is
// the page. However it is cut, the entries, the log and the bound it stops at must be those of
// the page written whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/index_parser.h"
#include "fuzz_check.h"
#include "plugin_host.h"

using GetInfo::file_list;

namespace {

struct Reading {
  file_list entries;
  std::vector<std::string> log;
};

// Each piece lies in a buffer of its own with room for one byte past it, as the reader's does.
// seed 0: the page in one piece.
Reading read(const std::uint8_t* page, std::size_t size, std::uint32_t seed) {
  fuzz::reset_host();
  HostModule host;
  host.bind();
  Reading reading;
  GetInfo::index_parser parser(host, reading.entries);
  std::size_t at = 0;
  bool more = true;
  while (more && at < size) {
    if (seed != 0) seed = seed * 1103515245 + 12345;
    // Mostly short pieces, so that lines are cut everywhere; now and then a long one.
    const std::size_t want = seed == 0 || seed >> 28 == 0 ? size : 1 + (seed >> 16) % 64;
    const std::size_t piece = std::min(want, size - at);
    std::vector<char> buffer(page + at, page + at + piece);
    buffer.push_back('\x7F');
    more = parser.write(buffer.data(), piece);
    at += piece;
  }
  if (more) {
    parser.finish();
  } else {
    parser.report_stop();
  }
  reading.log = fuzz::log_lines();
  return reading;
}

bool same(const GetInfo::file_info& a, const GetInfo::file_info& b) {
  return a.name == b.name && a.size == b.size && a.time.valid == b.time.valid &&
         (!a.time.valid || date_time_equal(a.time, b.time));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const Reading whole = read(data + 1, size - 1, 0);
  const Reading pieces = read(data + 1, size - 1, data[0] + 1u);
  FUZZ_CHECK(pieces.entries.size() == whole.entries.size());
  for (std::size_t i = 0; i < whole.entries.size(); ++i) {
    FUZZ_CHECK(same(pieces.entries[i], whole.entries[i]));
    // A name is text of one line of the page.
    FUZZ_CHECK(whole.entries[i].name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
  }
  // The same lines; a record's month is checked when the record closes, which may come before
  // or after another record's where a read ends, so the order of those lines may differ.
  std::vector<std::string> whole_log = whole.log;
  std::vector<std::string> pieces_log = pieces.log;
  std::sort(whole_log.begin(), whole_log.end());
  std::sort(pieces_log.begin(), pieces_log.end());
  FUZZ_CHECK(pieces_log == whole_log);
  return 0;
}
