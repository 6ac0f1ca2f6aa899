// Times GetInfo over HTTP on a large directory index beside a raw WinINet download of the
// same page in the same process, and the parse of that page on its own.
//
// bench_get_info.exe URL [RUNS]     (scripts/bench.sh starts the server and runs it)

#include <windows.h>
#include <wininet.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/setting.h"
#include "discovery/http.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"

namespace {

class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double ms() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
  LARGE_INTEGER start_;
};

class Handle {
 public:
  explicit Handle(HINTERNET h) : h_(h) {}
  ~Handle() {
    if (h_) InternetCloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

// The page as a plain WinINet client fetches it: one GET, the body read to its end.
bool raw_download(const std::string& host, const std::string& path, std::string& page) {
  page.clear();
  Handle internet(InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Handle connection(InternetConnectA(internet.get(), host.c_str(), 80, nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, 0));
  Handle request(HttpOpenRequestA(connection.get(), "GET", path.c_str(), "HTTP/1.1", nullptr,
                                  nullptr, INTERNET_FLAG_RELOAD, 0));
  if (!request.get() || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return false;
  std::vector<char> chunk(65536);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read))
      return false;
    if (read == 0) return true;
    page.append(chunk.data(), read);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_get_info URL [RUNS]\n");
    return 2;
  }
  const std::string url = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  if (url.compare(0, 7, "http://") != 0) return 2;
  const std::string rest = url.substr(7);
  const std::string host = rest.substr(0, rest.find('/'));
  const std::string path = rest.substr(rest.find('/'));

  char directory[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  const std::string temp = directory;
  const std::string ini = temp + "bench_get_info.ini";
  const std::string log = temp + "bench_get_info.log";
  FILE* file = std::fopen(ini.c_str(), "wb");
  if (!file) return 1;
  std::fprintf(file, "[ispell]\r\nURL=%s\r\n[system]\r\nNoWriteINI=1\r\n", url.c_str());
  std::fclose(file);
  host::config().hozon_dir = temp;

  std::vector<double> raw_ms, get_info_ms, parse_ms;
  std::string page;
  size_t entries = 0;
  std::string found;
  for (int run = 0; run < runs; ++run) {
    Stopwatch raw;
    if (!raw_download(host, path, page)) {
      std::fprintf(stderr, "raw download failed: %lu\n", GetLastError());
      return 1;
    }
    raw_ms.push_back(raw.ms());

    host::LoadedPlugin plugin(host::executable_directory() + "ispell.dll");
    if (!plugin.ok()) return 1;
    plugin.PluginInit(ini.c_str(), log.c_str());
    host::ProgressWindow window;
    Stopwatch get_info;
    const bool ok = plugin.GetInfo(window.hwnd());
    get_info_ms.push_back(get_info.ms());
    const DownloadRequest request = plugin.GetDownloadData();
    if (!ok || request.count != 1) {
      std::fprintf(stderr, "GetInfo failed\n");
      return 1;
    }
    found = request.files->url;

    GetInfo::file_list list;
    Stopwatch parse;
    GetInfo::parse_index_page(page.c_str(), list);
    parse_ms.push_back(parse.ms());
    entries = list.size();
  }
  DeleteFileA(ini.c_str());
  DeleteFileA(log.c_str());

  std::printf("| page | %zu bytes, %zu index entries |\n", page.size(), entries);
  std::printf("| runs | %d (median shown) |\n", runs);
  std::printf("| raw WinINet download | %.1f ms |\n", median(raw_ms));
  std::printf("| GetInfo (download, parse, select) | %.1f ms |\n", median(get_info_ms));
  std::printf("| parse of the page alone | %.1f ms |\n", median(parse_ms));
  std::printf("| archive found | %s |\n", found.c_str());
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
    std::printf("| peak working set of the process | %.1f MB |\n",
                memory.PeakWorkingSetSize / (1024.0 * 1024.0));
  return 0;
}
