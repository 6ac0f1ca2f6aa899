#pragma once
// The host installer's own downloads: what it does between GetDownloadData and Install.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace host {

class ProgressWindow;

struct DownloadResult {
  bool ok = false;
  std::uint64_t bytes = 0;
  std::string error;  // why it failed, for the host's own report
};

// Fetches url (http:// or ftp://) into path, replacing it; progress texts go to the window
// when given. A failed download leaves no partial file behind.
DownloadResult download_file(const std::string& url, const std::string& path,
                             ProgressWindow* progress = nullptr);

// The server's last-modified time of the file at url (HTTP Last-Modified, FTP listing).
std::optional<SYSTEMTIME> remote_file_time(const std::string& url);

}  // namespace host
