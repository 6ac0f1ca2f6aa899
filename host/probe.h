#pragma once
// Mirror probe: runs the plug-in's own discovery against mirrors and reports which work.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace host {

struct ProbeRow {
  std::string url;
  bool reachable = false;
  std::string reason;   // what the plug-in logged when it failed
  std::string archive;  // the file it would download
  std::uint32_t size = 0;
  std::string date;  // the server's time of that file, when it tells
  double seconds = 0;
};

// One discovery run of the plug-in at dll_path against url, in a scratch directory of its own.
ProbeRow probe_mirror(const std::string& dll_path, const std::string& url);

// Probes every URL (the built-in mirror table when urls is empty) and prints one table row per
// mirror to out. Returns 0 when every mirror was reachable and offered an archive.
int probe_mirrors(const std::string& dll_path, const std::vector<std::string>& urls,
                  std::FILE* out = stdout);

}  // namespace host
