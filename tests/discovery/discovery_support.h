#pragma once
// Helpers for the discovery tests: the activity log as lines, real file times, the test
// mirrors' addresses.

#include <windows.h>

#include <string>
#include <vector>

namespace discovery_test {

// The log file's lines (each ended by CR LF in the file), without their line ends.
std::vector<std::string> log_lines(const std::string& path);

// Sets a file's last-write time (UTC) exactly.
void set_write_time(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                    WORD minute, WORD second);

// A SYSTEMTIME from fields; the day of the week is left 0.
SYSTEMTIME system_time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                       WORD second = 0, WORD millisecond = 0);

#ifdef DISCOVERY_NET
// 127.A.B.n: the address of test server n (see scripts/servers/servers.py).
inline std::string server(int n) { return std::string(DISCOVERY_NET) + "." + std::to_string(n); }
#endif

// The body of an HTTP page, fetched from the server itself (nothing cached); "" on failure.
std::string fetch(const std::string& url);

// Writes an INI file naming the mirror URL and returns its path.
std::string write_ini(const std::string& directory, const std::string& url);

}  // namespace discovery_test
