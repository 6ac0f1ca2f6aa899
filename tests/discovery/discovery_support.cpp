#include "discovery_support.h"

#include "discovery/internet_handle.h"

#include "test_support.h"

namespace discovery_test {

std::vector<std::string> log_lines(const std::string& path) {
  const std::string bytes = testing_support::read_file(path);
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = bytes.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

SYSTEMTIME system_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                       WORD millisecond) {
  SYSTEMTIME t{};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  t.wMilliseconds = millisecond;
  return t;
}

void set_write_time(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                    WORD minute, WORD second) {
  const SYSTEMTIME t = system_time(year, month, day, hour, minute, second);
  FILETIME written;
  SystemTimeToFileTime(&t, &written);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
}

std::string fetch(const std::string& url) {
  const GetInfo::internet_handle internet(
      InternetOpenA("discovery-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!internet) return "";
  const GetInfo::internet_handle page(InternetOpenUrlA(
      internet.get(), url.c_str(), nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  if (!page) return "";
  std::string body;
  char chunk[4096];
  DWORD read = 0;
  while (InternetReadFile(page.get(), chunk, sizeof chunk, &read) && read > 0)
    body.append(chunk, read);
  return body;
}

std::string write_ini(const std::string& directory, const std::string& url) {
  const std::string path = directory + "plugin.ini";
  testing_support::write_file(path, "[ispell]\r\nURL=" + url + "\r\n");
  return path;
}

}  // namespace discovery_test
