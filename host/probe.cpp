#include "host/probe.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "config/setting.h"
#include "host/download.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"

namespace host {
namespace {

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The log's lines between the frame's start and end lines, joined into one reason.
std::string logged_reason(const std::string& log) {
  std::string reason;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty() || line == "ispellの情報取得開始" || line == "ispellの情報取得終了") continue;
    if (!reason.empty()) reason += " / ";
    reason += line;
  }
  return reason;
}

std::string format_time(const SYSTEMTIME& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay,
                time.wHour, time.wMinute);
  return text;
}

std::string scratch_directory(int n) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string root = std::string(temp) + "plugin-host-probe\\";
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string directory =
      root + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n) + "\\";
  CreateDirectoryA(directory.c_str(), nullptr);
  CreateDirectoryA((directory + "hozon\\").c_str(), nullptr);
  return directory;
}

void remove_scratch(const std::string& directory) {
  for (const char* name : {"probe.ini", "probe.log"}) DeleteFileA((directory + name).c_str());
  RemoveDirectoryA((directory + "hozon").c_str());
  RemoveDirectoryA(directory.c_str());
}

}  // namespace

ProbeRow probe_mirror(const std::string& dll_path, const std::string& url) {
  static int counter = 0;
  ProbeRow row;
  row.url = url;
  const std::string directory = scratch_directory(counter++);
  const std::string ini = directory + "probe.ini";
  const std::string log = directory + "probe.log";
  {
    std::ofstream out(ini, std::ios::binary);
    out << "[system]\r\nNoWriteINI=1\r\n[ispell]\r\nURL=" << url
        << "\r\nISPELLDICTDIR=" << directory << "dic\\\r\nHome=" << directory << "home\\\r\n";
  }
  config().hozon_dir = directory + "hozon\\";

  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  {
    LoadedPlugin plugin(dll_path);
    if (!plugin.ok()) {
      row.reason = plugin.missing();
      remove_scratch(directory);
      return row;
    }
    ProgressWindow progress;
    plugin.PluginInit(ini.c_str(), log.c_str());
    QueryPerformanceCounter(&start);
    const bool found = plugin.GetInfo(progress.hwnd());
    const DownloadRequest request = plugin.GetDownloadData();
    QueryPerformanceCounter(&end);
    if (found && request.ok && request.count == 1 && request.files) {
      const std::string archive_url = request.files[0].url;
      // The file's name: the path's last segment, without a query.
      const std::string path = archive_url.substr(0, archive_url.find('?'));
      const std::string::size_type slash = path.rfind('/');
      row.archive = slash == std::string::npos ? "" : path.substr(slash + 1);
      row.size = request.files[0].size;
      row.reachable = true;
      if (row.archive.empty()) {
        row.reason = "no archive on the mirror";
      } else if (const auto time = remote_file_time(archive_url)) {
        row.date = format_time(*time);
      }
    } else if (found) {
      // The listing went through but named no archive: the plug-in requests nothing.
      row.reachable = true;
      row.reason = "no archive on the mirror";
    }
  }
  row.seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
  if (!row.reachable) row.reason = logged_reason(read_text(log));
  remove_scratch(directory);
  return row;
}

int probe_mirrors(const std::string& dll_path, const std::vector<std::string>& urls,
                  std::FILE* out) {
  std::vector<std::string> targets = urls;
  if (targets.empty())
    for (int i = 0; mirror_table[i]; ++i) targets.push_back(mirror_table[i]);

  std::fprintf(out, "| mirror | state | archive | size | date | seconds |\n");
  std::fprintf(out, "|---|---|---|---|---|---|\n");
  int usable = 0;
  for (const std::string& url : targets) {
    const ProbeRow row = probe_mirror(dll_path, url);
    const bool ok = row.reachable && !row.archive.empty();
    usable += ok ? 1 : 0;
    std::fprintf(out, "| %s | %s | %s | %s | %s | %.2f |\n", row.url.c_str(),
                 ok ? "reachable"
                    : (row.reachable ? row.reason.c_str() : ("unreachable: " + row.reason).c_str()),
                 row.archive.empty() ? "-" : row.archive.c_str(),
                 ok ? std::to_string(row.size).c_str() : "-",
                 row.date.empty() ? "-" : row.date.c_str(), row.seconds);
    std::fflush(out);
  }
  std::fprintf(out, "%d of %zu mirrors offer an archive\n", usable, targets.size());
  return usable == static_cast<int>(targets.size()) ? 0 : 1;
}

}  // namespace host
