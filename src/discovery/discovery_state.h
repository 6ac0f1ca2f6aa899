#pragma once
// What GetInfo leaves behind for IsDefault and GetDownloadData.

#include <windows.h>

#include <cstdint>

#include "support/orelib_string.h"

struct discovery_state {
  HWND progress_window = nullptr;
  orelib::string remote_host;
  orelib::string remote_directory;
  orelib::string download_url;
  std::uint32_t remote_size = 0;
  bool info_result = false;
  bool default_selected = false;
  // The last completed listing named an archive: without one there is nothing to download.
  bool archive_found = false;
};

extern discovery_state g_discovery;

// The archive name in the host's download directory.
constexpr const char* kLocalArchiveName = "ispell.tar.xz";
