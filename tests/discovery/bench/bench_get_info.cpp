// Times GetInfo over HTTP on a large directory index beside raw WinINet downloads of the
// same page in the same process (with the plug-in's 4095-byte reads and with 64 KiB reads),
// the time GetInfo spends in the host's services and progress window and inside WinINet, and
// the parse of that page on its own.
//
// The plug-in's own time is given two ways: GetInfo beyond the raw download (the difference
// of two runs against the server, whose times swing by tens of milliseconds from request to
// request), and GetInfo outside the WinINet calls it makes (measured within the same call).
//
// bench_get_info.exe URL [RUNS] [ENTRIES]   (scripts/bench.sh starts the server and runs it)
// BENCH_EACH_RUN=1 also prints each run's figures to the error output; BENCH_DLL=path times
// another build of the plug-in (an older one, say) with this benchmark.
//
// ENTRIES, when given, is the size of the generated index: the archive GetInfo picks is
// checked against the newest one that index holds. Besides its table the program prints one
// line of key=value figures for scripts.

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
#include "plugin/host_module.h"
#include "support/handles.h"
#include "timed_network.h"
#include "timed_services.h"

namespace {

// The plug-in's parse over a page that is already whole, in one read.
void parse_whole_page(const std::string& page, GetInfo::file_list& list) {
  HostModule host;
  if (!host.bind()) return;
  GetInfo::index_parser parser(host, list);
  std::vector<char> read(page.begin(), page.end());
  read.push_back('\0');
  parser.write(read.data(), page.size());
  parser.finish();
}

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

// The page as a plain WinINet client fetches it: one GET, the body read to its end in reads
// of `chunk_size` bytes. The bytes are kept in `page` when one is given; timed downloads only
// count them, since gathering a large page would cost more than reading it.
bool raw_download(const std::string& host, const std::string& path, DWORD chunk_size,
                  std::string* page, std::size_t& received) {
  received = 0;
  if (page) page->clear();
  const orelib::internet_handle internet(
      InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  const orelib::internet_handle connection(InternetConnectA(
      internet.get(), host.c_str(), 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  const orelib::internet_handle request(HttpOpenRequestA(connection.get(), "GET", path.c_str(),
                                                         "HTTP/1.1", nullptr, nullptr,
                                                         INTERNET_FLAG_RELOAD, 0));
  if (!request.get() || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return false;
  std::vector<char> chunk(chunk_size);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), chunk.data(), chunk_size, &read)) return false;
    if (read == 0) return true;
    received += read;
    if (page) page->append(chunk.data(), read);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The newest archive of the generated index (scripts/servers/servers.py names its files).
std::string newest_archive(long entries) {
  long i = entries - 1;
  while (i > 0 && i % 5 == 0) --i;
  char name[64];
  std::snprintf(name, sizeof name, "ispell-%ld.%ld.%02ld-w32.tar.xz", i / 10000, i / 100 % 100,
                i % 100);
  return name;
}

// The progress window's messages are host services too: the time its procedure takes is
// counted like the exported services' (once, however deeply the window's messages nest).
WNDPROC g_host_window_procedure = nullptr;
std::uint64_t g_window_ticks = 0;
int g_window_depth = 0;

LRESULT CALLBACK timed_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const std::uint64_t start = bench::ticks_now();
  ++g_window_depth;
  const LRESULT result = CallWindowProcA(g_host_window_procedure, window, message, wparam, lparam);
  if (--g_window_depth == 0) g_window_ticks += bench::ticks_now() - start;
  return result;
}

void time_window(HWND window) {
  g_host_window_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&timed_window_procedure)));
}

double megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_get_info URL [RUNS] [ENTRIES]\n");
    return 2;
  }
  const std::string url = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const long expected_entries = argc > 3 ? std::atol(argv[3]) : 0;
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

  std::vector<double> raw4095_ms, raw64k_ms, get_info_ms, services_ms, own_ms, parse_ms;
  std::string page;
  size_t entries = 0;
  std::string found;
  bool same_archive = true;
  double idle_mb = 0, peak_mb = 0;
  const double wrapper_ticks = bench::wrapper_ticks_outside_count();
  const char* other_plugin = std::getenv("BENCH_DLL");
  const std::string plugin_path =
      other_plugin ? other_plugin : host::executable_directory() + "ispell.dll";
  std::vector<double> wrapping_ms, window_ms, network_ms, own_within_ms, ticks_per_ms_seen;
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  std::size_t timed_bytes = 0;
  for (int run = 0; run < runs; ++run) {
    // GetInfo comes first, so that the first run's peak working set is GetInfo's own.
    host::LoadedPlugin plugin(plugin_path);
    if (!plugin.ok()) return 1;
    if (!bench::time_network_imports(plugin.module())) {
      std::fprintf(stderr, "cannot wrap the plug-in's WinINet imports\n");
      return 1;
    }
    plugin.PluginInit(ini.c_str(), log.c_str());
    host::ProgressWindow window;
    time_window(window.hwnd());
    if (run == 0 && GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
      idle_mb = megabytes(memory.WorkingSetSize);
    bench::reset_service_counters();
    bench::reset_network_counters();
    g_window_ticks = 0;
    const std::uint64_t ticks_before = bench::ticks_now();
    Stopwatch get_info;
    const bool ok = plugin.GetInfo(window.hwnd());
    const double get_info_time = get_info.ms();
    const std::uint64_t ticks = bench::ticks_now() - ticks_before;
    if (run == 0 && GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
      peak_mb = megabytes(memory.PeakWorkingSetSize);
    const double ticks_per_ms = get_info_time > 0 ? static_cast<double>(ticks) / get_info_time : 1;
    ticks_per_ms_seen.push_back(ticks_per_ms);
    const double in_window = static_cast<double>(g_window_ticks) / ticks_per_ms;
    window_ms.push_back(in_window);
    const double in_services = static_cast<double>(bench::service_ticks()) / ticks_per_ms;
    // What the counting wrappers add around each call is the benchmark's, not the plug-in's.
    const double wrapping = static_cast<double>(bench::service_calls() + bench::network_calls()) *
                            wrapper_ticks / ticks_per_ms;
    wrapping_ms.push_back(wrapping);
    const double in_network = static_cast<double>(bench::network_ticks()) / ticks_per_ms;
    network_ms.push_back(in_network);
    own_within_ms.push_back(get_info_time - in_network - in_services - in_window - wrapping);
    if (std::getenv("BENCH_EACH_RUN")) {
      std::fprintf(stderr,
                   "run %d: GetInfo %.1f ms, inside WinINet %.1f, host services %.1f, window %.1f, "
                   "own outside WinINet %.2f\n",
                   run + 1, get_info_time, in_network, in_services, in_window,
                   own_within_ms.back());
    }
    get_info_ms.push_back(get_info_time);
    services_ms.push_back(in_services);
    const DownloadRequest request = plugin.GetDownloadData();
    if (!ok || request.count != 1) {
      std::fprintf(stderr, "GetInfo failed\n");
      return 1;
    }
    if (run > 0 && found != request.files->url) same_archive = false;
    found = request.files->url;

    std::size_t received = 0;
    Stopwatch raw;
    if (!raw_download(host, path, 4095, nullptr, received)) {
      std::fprintf(stderr, "raw download failed: %lu\n", GetLastError());
      return 1;
    }
    raw4095_ms.push_back(raw.ms());
    own_ms.push_back(get_info_time - raw4095_ms.back() - in_services - in_window - wrapping);
    Stopwatch raw64k;
    if (!raw_download(host, path, 65536, nullptr, received)) {
      std::fprintf(stderr, "raw download failed: %lu\n", GetLastError());
      return 1;
    }
    raw64k_ms.push_back(raw64k.ms());
    timed_bytes = received;
  }
  // The parse on its own, over the page fetched once after the runs (held during them, it would
  // count in their working set).
  std::size_t page_bytes = 0;
  if (!raw_download(host, path, 65536, &page, page_bytes)) {
    std::fprintf(stderr, "raw download failed: %lu\n", GetLastError());
    return 1;
  }
  if (page_bytes != timed_bytes) {
    std::fprintf(stderr, "the timed downloads read %zu bytes, the page has %zu\n", timed_bytes,
                 page_bytes);
    return 1;
  }
  for (int run = 0; run < runs; ++run) {
    GetInfo::file_list list;
    Stopwatch parse;
    parse_whole_page(page, list);
    parse_ms.push_back(parse.ms());
    entries = list.size();
  }
  DeleteFileA(ini.c_str());
  DeleteFileA(log.c_str());

  const std::string expected = expected_entries > 0 ? newest_archive(expected_entries) : "";
  const bool archive_ok =
      same_archive && (expected.empty() || (found.size() >= expected.size() &&
                                            found.compare(found.size() - expected.size(),
                                                          expected.size(), expected) == 0));
  const double get_info_median = median(get_info_ms);
  const double raw4095_median = median(raw4095_ms);
  std::printf("| page | %zu bytes, %zu index entries |\n", page.size(), entries);
  std::printf("| runs | %d (median shown) |\n", runs);
  std::printf("| raw WinINet download, 4095-byte reads | %.1f ms |\n", raw4095_median);
  std::printf("| raw WinINet download, 64 KiB reads | %.1f ms |\n", median(raw64k_ms));
  std::printf("| GetInfo (download, parse, select) | %.1f ms |\n", get_info_median);
  std::printf("| GetInfo / 4095-byte download | %.2f |\n", get_info_median / raw4095_median);
  std::printf("| of which inside WinINet | %.1f ms |\n", median(network_ms));
  std::printf("| of which in the host's services | %.1f ms |\n", median(services_ms));
  std::printf("| of which in the host's progress window | %.1f ms |\n", median(window_ms));
  std::printf("| of which the counting wrappers' calls (%.1f ns each) | %.1f ms |\n",
              1e6 * wrapper_ticks / median(ticks_per_ms_seen), median(wrapping_ms));
  std::printf("| of which the plug-in's own: GetInfo beyond the download | %.1f ms |\n",
              median(own_ms));
  std::printf("| of which the plug-in's own: GetInfo outside WinINet | %.1f ms |\n",
              median(own_within_ms));
  std::printf("| parse of the page alone | %.1f ms |\n", median(parse_ms));
  std::printf("| archive found | %s%s |\n", found.c_str(),
              archive_ok ? "" : (" (expected " + expected + " every run)").c_str());
  std::printf("| working set: idle, peak over the first GetInfo | %.1f MB, %.1f MB |\n", idle_mb,
              peak_mb);
  const char* style = std::getenv("BENCH_STYLE");
  std::printf(
      "style=%s entries=%zu page_bytes=%zu raw4095_ms=%.1f raw64k_ms=%.1f getinfo_ms=%.1f "
      "ratio=%.2f "
      "host_services_ms=%.1f host_window_ms=%.1f network_ms=%.1f own_ms=%.1f own_within_ms=%.1f "
      "us_per_entry=%.2f peak_mb=%.1f\n",
      style ? style : "-", entries, page.size(), raw4095_median, median(raw64k_ms), get_info_median,
      get_info_median / raw4095_median, median(services_ms), median(window_ms), median(network_ms),
      median(own_ms), median(own_within_ms),
      entries ? get_info_median * 1000.0 / static_cast<double>(entries) : 0.0, peak_mb);
  return archive_ok ? 0 : 3;
}
