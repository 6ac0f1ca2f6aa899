#include "discovery/url.h"

namespace GetInfo {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

INTERNET_PORT default_port(std::string_view scheme) {
  if (scheme == "http") return INTERNET_DEFAULT_HTTP_PORT;
  if (scheme == "https") return INTERNET_DEFAULT_HTTPS_PORT;
  if (scheme == "ftp") return INTERNET_DEFAULT_FTP_PORT;
  return 0;
}

bool split_host_port(const orelib::string& host, INTERNET_PORT default_port, orelib::string& name,
                     INTERNET_PORT& port) {
  // The colons of an IPv6 address lie within its brackets.
  const orelib::string::size_type bracket = host.rfind(']');
  const orelib::string::size_type colon = host.rfind(':');
  if (colon == orelib::string::npos || (bracket != orelib::string::npos && colon < bracket)) {
    name = host;
    port = default_port;
    return true;
  }
  const std::string_view digits = std::string_view(host).substr(colon + 1);
  unsigned long value = 0;
  for (const char c : digits) {
    if (!is_digit(c)) return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;  // also no digits at all
  name = host.substr(0, colon);
  port = static_cast<INTERNET_PORT>(value);
  return true;
}

orelib::string bad_port_sentence(const orelib::string& host) {
  return host + "のポート番号は1から65535の数ではありません．";
}

}  // namespace GetInfo
