#pragma once
// The parts of a mirror URL that discovery connects to.

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

// The sentence logged for a host text whose port split_host_port refuses.
orelib::string bad_port_sentence(const orelib::string& host);

}  // namespace GetInfo
