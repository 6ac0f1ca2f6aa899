// URL resolution and the decoding of a link: the input is a listing URL's host and path and a
// link, separated by the first NUL. The resolved URL must be clean (no dot segments, a rooted
// path under a host) and resolve to itself; percent and character-reference decoding must stay
// within bounds, never make a NUL and undo the encoding a browser would write.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "discovery/selection.h"
#include "discovery/url.h"
#include "fuzz_check.h"
#include "plugin_host.h"

using namespace GetInfo;

namespace {

bool same(const url_parts& a, const url_parts& b) {
  return a.scheme == b.scheme && a.host == b.host && a.path == b.path;
}

void check_resolved(const url_parts& base, std::string_view link) {
  const url_parts url = resolve_reference(base, link);
  if (url.host.empty()) return;  // "http:name": no server, nothing is fetched
  FUZZ_CHECK(!url.path.empty() && url.path[0] == '/');
  FUZZ_CHECK(url.path.find('#') == std::string::npos);
  const std::string_view path = std::string_view(url.path).substr(0, url.path.find('?'));
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t end = std::min(path.find('/', at + 1), path.size());
    const std::string_view segment = path.substr(at + 1, end - at - 1);
    FUZZ_CHECK(segment != "." && segment != "..");
    at = end;
  }
  // The URL written out leads to itself, from the base or from anywhere else.
  FUZZ_CHECK(same(resolve_reference(base, url.text()), url));
  FUZZ_CHECK(same(resolve_reference(url, url.text()), url));
  FUZZ_CHECK(same(resolve_reference(url, ""), url));
}

void check_decoding(std::string_view text) {
  const std::string references = decode_html_references(text);
  // The longest growth: "&#x800;" (7 bytes) becomes "%E0%A0%80" (9).
  FUZZ_CHECK(references.size() <= text.size() * 9 / 7 + 1);
  if (text.find('&') == std::string_view::npos) FUZZ_CHECK(references == text);
  const std::string percent = decode_percent_escapes(text);
  FUZZ_CHECK(percent.size() <= text.size());
  if (text.find('%') == std::string_view::npos) FUZZ_CHECK(percent == text);
  if (text.find('\0') == std::string_view::npos) {
    FUZZ_CHECK(references.find('\0') == std::string::npos);
    FUZZ_CHECK(percent.find('\0') == std::string::npos);
    // Every byte escaped, as a browser escapes a name, comes back as it was.
    std::string escaped;
    static const char digits[] = "0123456789abcdef";
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      escaped += {'%', digits[byte >> 4], digits[byte & 15]};
    }
    FUZZ_CHECK(decode_percent_escapes(escaped) == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view where = input.substr(0, nul);
  const std::string link(nul == std::string_view::npos ? input : input.substr(nul + 1));
  check_decoding(link);

  // The listing's URL: a host, then a path as a browser reads it from the mirror URL.
  const std::string host(where.substr(0, where.find_first_of("/?#")));
  if (host.empty() || link.find('\0') != std::string::npos) return 0;
  const url_parts root{(size & 1) ? "https" : "http", host, "/"};
  const url_parts base = resolve_reference(root, where.substr(host.size()));
  check_resolved(base, link);
  check_resolved(base, decode_html_references(link));

  // What a download is made of: a URL under a server of the three schemes, or nothing.
  const listed_target target = resolve_listed_name(base, link, listed_names::links);
  if (!target.url.empty()) {
    FUZZ_CHECK(target.url.rfind("http://", 0) == 0 || target.url.rfind("https://", 0) == 0 ||
               target.url.rfind("ftp://", 0) == 0);
    FUZZ_CHECK(target.url.find('#') == std::string::npos);
  }
  return 0;
}
