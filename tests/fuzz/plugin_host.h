// The plug-in's view of its host in the native builds: HostModule binds to a host whose
// REGEX_* services are the reference host's engine (the other services are missing), and the
// activity log is kept in memory.
#pragma once

#include <string>
#include <vector>

namespace fuzz {

// Ends the handles of the patterns compiled so far and forgets the log lines: call before
// each input.
void reset_host();
// The lines log_line wrote since the last reset.
const std::vector<std::string>& log_lines();

}  // namespace fuzz
