#pragma once
// The parts of a mirror URL that discovery connects to, and where a redirect leads.

#include <windows.h>
#include <wininet.h>

#include <string_view>

#include "support/orelib_string.h"

namespace GetInfo {

// 80 for "http", 443 for "https", 21 for "ftp"; 0 for any other scheme.
INTERNET_PORT default_port(std::string_view scheme);

// Splits a URL's host text, "name" or "name:port" (an IPv6 address in brackets), into the name
// to connect to and the port. A port written must be 1 to 65535 in decimal digits: false
// otherwise. Without a port, default_port.
bool split_host_port(const orelib::string& host, INTERNET_PORT default_port, orelib::string& name,
                     INTERNET_PORT& port);

// split_host_port with the scheme's default port; false, with its log line, when the port
// written is refused.
bool connection_address(std::string_view scheme, const orelib::string& host, orelib::string& name,
                        INTERNET_PORT& port);

// Whether text begins with a URL scheme and its colon ("http:", "file:", "x-y+z.1:").
bool has_scheme(std::string_view text);

// An absolute URL as discovery keeps it: the scheme in lower case, the text between "//" and
// the path (the host with any port), and the rest (path and query; no fragment).
struct url_parts {
  orelib::string scheme;
  orelib::string host;
  orelib::string path;

  orelib::string text() const { return scheme + "://" + host + path; }
};

// A URL's path as a request names it: one that is empty or begins with its query gets the
// server's root "/" first.
void add_root(orelib::string& path);

// The URL a reference (a Location header's value) leads to from base, resolved as RFC 3986
// says (relative paths, "." and ".." segments, "//host" references); the fragment is dropped
// and an empty path becomes "/".
url_parts resolve_reference(const url_parts& base, std::string_view reference);

// An attribute value of a page with its character references decoded: "&amp;", "&quot;",
// "&lt;", "&gt;", "&apos;" and the numeric ones. A code point above 0x7F becomes its UTF-8
// bytes percent-escaped, as a browser sends it; a reference without its semicolon, to NUL, to
// a surrogate or beyond U+10FFFF stays as written.
orelib::string decode_html_references(std::string_view text);

// The text with every "%" and two hexadecimal digits replaced by that byte; "%00" and any other
// "%" stay as written.
orelib::string decode_percent_escapes(std::string_view text);

}  // namespace GetInfo
