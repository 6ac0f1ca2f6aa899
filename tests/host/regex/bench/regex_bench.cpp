// Times the regex engine on a generated index page the way the plug-in drives it: one search
// per index line from the end of the previous match, the seven groups, position and length,
// then the archive pattern over every name found. Builds natively as well as for Windows:
//
//   g++ -O2 -std=c++17 -I. tests/host/regex/bench/regex_bench.cpp host/regex/*.cpp
//   ./a.out [ENTRIES...]        (default: 50000 500000)
//
// Not a test: it prints figures and asserts nothing beyond the entry count it checks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/regex/regex.h"

namespace {

const char kIndexPattern[] =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]*)-([A-Za-z]*)-([0-9]*)[ \t]*([0-9]*):([0-9]*)[^\n\r]*?([0-9\\.]*[KMB]))re";
const char kArchivePattern[] = "ispell.*-w32\\.tar\\.xz";

// The names scripts/servers/servers.py puts in the benchmark directory.
std::string entry_name(long i) {
  char name[64];
  if (i % 5)
    std::snprintf(name, sizeof name, "ispell-%ld.%ld.%02ld-w32.tar.xz", i / 10000, i / 100 % 100,
                  i % 100);
  else
    std::snprintf(name, sizeof name, "other-package-%ld.tar.xz", i);
  return name;
}

// An index page laid out as the web server's automatic index writes it (name column of 50,
// date, size right-aligned in 6 columns with a K suffix).
std::string index_page(long entries) {
  std::string page =
      "<html>\r\n<head><title>Index of /bench/</title></head>\r\n<body>\r\n"
      "<h1>Index of /bench/</h1><hr><pre><a href=\"../\">../</a>\r\n";
  for (long i = 0; i < entries; ++i) {
    const std::string name = entry_name(i);
    char line[256];
    const int pad = std::max(1, 51 - static_cast<int>(name.size()));
    std::snprintf(line, sizeof line, "<a href=\"%s\">%s</a>%*s%02ld-Mar-2011 14:%02ld %6ldK\r\n",
                  name.c_str(), name.c_str(), pad, "", 1 + i % 28, i % 60, 10 + i * 7 / 1024);
    page += line;
  }
  page += "</pre><hr></body>\r\n</html>\r\n";
  return page;
}

double now_ms() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

struct Figures {
  double parse_ms;
  double filter_ms;
  long entries;
  long archives;
};

Figures run(const std::string& page, host::regex::Pattern& index, host::regex::Pattern& archive) {
  Figures f{0, 0, 0, 0};
  std::vector<std::string> names;
  const double t0 = now_ms();
  const long long length = static_cast<long long>(page.size());
  long long offset = 0;
  while (offset < length && index.search(page.c_str() + offset)) {
    names.emplace_back(index.group(1));
    for (int g = 2; g <= 7; ++g) (void)index.group(g);
    const long long next = offset + index.match_pos() + index.match_len();
    if (next <= offset) break;
    offset = next;
  }
  const double t1 = now_ms();
  for (const std::string& name : names) f.archives += archive.search(name.c_str()) ? 1 : 0;
  const double t2 = now_ms();
  f.parse_ms = t1 - t0;
  f.filter_ms = t2 - t1;
  f.entries = static_cast<long>(names.size());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {50000, 500000};
  auto index = host::regex::Pattern::compile(kIndexPattern);
  auto archive = host::regex::Pattern::compile(kArchivePattern);
  if (!index || !archive) return 1;
  for (long entries : sizes) {
    const std::string page = index_page(entries);
    std::vector<double> parse, filter;
    Figures f{};
    for (int r = 0; r < 5; ++r) {
      f = run(page, *index, *archive);
      parse.push_back(f.parse_ms);
      filter.push_back(f.filter_ms);
    }
    if (f.entries != entries) {  // the parent directory's line has no date: not counted
      std::fprintf(stderr, "found %ld entries, expected %ld\n", f.entries, entries);
    }
    std::sort(parse.begin(), parse.end());
    std::sort(filter.begin(), filter.end());
    std::printf(
        "entries=%ld page_bytes=%zu parse_ms=%.1f parse_ns_per_entry=%.0f filter_ms=%.1f "
        "filter_ns_per_entry=%.0f archives=%ld\n",
        entries, page.size(), parse[2], parse[2] * 1e6 / entries, filter[2],
        filter[2] * 1e6 / entries, f.archives);
  }
  return 0;
}
