// The values the plug-in reads from its INI file: the mirror URL, then after the first NUL a
// directory. The URL's parts must agree with each other and the listing's URL made from them
// must read back as itself; a directory gets one final backslash, once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "fuzz_check.h"
#include "plugin_host.h"

using namespace GetInfo;

namespace {

// Whether the text ends inside a double-byte character (a lead byte with no trail).
bool ends_in_lead_byte(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
  return i > text.size();
}

void check_url(const std::string& url) {
  mirror_address mirror;
  const bool read = read_mirror_url(url, mirror);
  // Refused with its reason, or read without a word.
  FUZZ_CHECK(fuzz::log_lines().size() == (read ? 0u : 1u));
  if (!read) return;
  FUZZ_CHECK(mirror.scheme == "http" || mirror.scheme == "https" || mirror.scheme == "ftp");
  FUZZ_CHECK(mirror.port != 0);
  // The server connected to is the server whose directory is listed.
  FUZZ_CHECK(g_discovery.remote_host == mirror.host);
  const std::string& directory = g_discovery.remote_directory;
  FUZZ_CHECK(directory.find('#') == std::string::npos);
  FUZZ_CHECK(directory.empty() || directory[0] == '/' || directory[0] == '?');

  const url_parts listing = listing_url(mirror.scheme);
  FUZZ_CHECK(!listing.path.empty());
  FUZZ_CHECK(mirror.scheme == "ftp" ? listing.path.back() == '/' : listing.path[0] == '/');
  // The listing's URL, read as a mirror URL, lists the same directory of the same server.
  mirror_address again;
  FUZZ_CHECK(read_mirror_url(listing.text(), again));
  FUZZ_CHECK(again.host == mirror.host && again.name == mirror.name && again.port == mirror.port);
  FUZZ_CHECK(listing_url(mirror.scheme).text() == listing.text());
}

void check_directory(const std::string& directory) {
  const std::string with = with_trailing_backslash(directory);
  FUZZ_CHECK(with == directory || with == directory + "\\");
  if (directory.empty()) {
    FUZZ_CHECK(with.empty());
  } else if (!ends_in_lead_byte(directory)) {
    FUZZ_CHECK(ends_with_backslash(with));
    FUZZ_CHECK(with_trailing_backslash(with) == with);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reset_host();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  // The profile reader gives a value up to its first NUL.
  check_url(std::string(input.substr(0, nul)));
  if (nul != std::string_view::npos) {
    const std::string_view rest = input.substr(nul + 1);
    check_directory(std::string(rest.substr(0, rest.find('\0'))));
  }
  return 0;
}
