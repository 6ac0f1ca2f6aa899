#include "discovery/http.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "plugin/host_module.h"
#include "plugin/log.h"

namespace GetInfo {

const char* const kIndexEntryPattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]*)-([A-Za-z]*)-([0-9]*)[ \t]*([0-9]*):([0-9]*)[^\n\r]*?([0-9\\.]*[KMB]))re";

namespace {

// Empty text gives 0; the pattern guarantees digits only.
int decimal(const orelib::string& text) { return orelib::lexical_cast<int>(text); }

}  // namespace

HTTP::HTTP(const orelib::string& proxy, const orelib::string& host)
    : session(proxy.c_str(), host) {}

bool HTTP::connect(int timeout_seconds) { return session.connect(timeout_seconds); }

bool HTTP::change_directory(const char* directory) {
  path = directory ? directory : "";
  return true;
}

bool HTTP::get_file_list(file_list& list) {
  list.clear();
  HostModule host;
  if (!host.bind()) {
    log_line("本体のロードに失敗．");
    return false;
  }
  if (!session.send_get(path)) {
    log_line("GETリクエスト送信に失敗．");
    return false;
  }
  const int status = session.query_status();
  if (status / 100 == 4 || status / 100 == 5) {
    log_line("サーバがエラーコード" + orelib::lexical_cast<orelib::string>(status) +
             "を返しました．");
    return false;
  }
  std::vector<char> body;
  if (!session.read_response(body)) {
    log_line("データの受信に失敗．");
    return false;
  }
  // Parsed where it was received: the page ends at the end of the data or at its first NUL.
  body.push_back('\0');
  parse_index_text(host, body.data(), list);
  return true;
}

orelib::string HTTP::scheme() { return "http"; }

void parse_index_page(const orelib::string& page, file_list& list) {
  HostModule host;
  if (!host.bind()) {
    log_line("本体のロードに失敗．");
    return;
  }
  parse_index_text(host, page.c_str(), list);
}

void parse_index_text(const HostModule& host, const char* page, file_list& list) {
  const int handle = host.call<int>("REGEX_COMPILE", kIndexEntryPattern);
  const long long length = static_cast<long long>(std::strlen(page));
  // Each entry takes seven texts from the host; these keep their buffers from line to line.
  orelib::string size_text, day, month_name, year, hour, minute_text;
  long long offset = 0;
  while (offset < length && host.call_bool("REGEX_MATCH", handle, page + offset)) {
    file_info entry;
    host.call_text_into(entry.name, "REGEX_GETMATCHSTR", handle, 1);
    host.call_text_into(size_text, "REGEX_GETMATCHSTR", handle, 7);
    entry.size = static_cast<std::uint32_t>(size_from_text(size_text));
    host.call_text_into(day, "REGEX_GETMATCHSTR", handle, 2);
    host.call_text_into(month_name, "REGEX_GETMATCHSTR", handle, 3);
    host.call_text_into(year, "REGEX_GETMATCHSTR", handle, 4);
    host.call_text_into(hour, "REGEX_GETMATCHSTR", handle, 5);
    host.call_text_into(minute_text, "REGEX_GETMATCHSTR", handle, 6);

    const int month = month_from_name(month_name);
    const int minute = decimal(minute_text);
    const int hour_value = decimal(hour);
    const int day_value = decimal(day);
    const int year_value = decimal(year);
    entry.time = make_date_time(
        static_cast<std::uint16_t>(year_value), static_cast<std::uint16_t>(month),
        static_cast<std::uint16_t>(day_value), static_cast<std::uint16_t>(hour_value),
        static_cast<std::uint16_t>(minute), 0, 0);
    list.push_back(std::move(entry));

    // A host answering a position or length that does not move forward, or that points past
    // the page, ends the parse rather than reading outside the text or looping.
    const long long pos = host.call<int>("REGEX_GETMATCHPOS", handle);
    const long long len = host.call<int>("REGEX_GETMATCHLEN", handle);
    const long long next = offset + pos + len;
    if (pos < 0 || len < 0 || next <= offset || next > length) break;
    offset = next;
  }
}

int month_from_name(const orelib::string& name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (name == kMonths[i]) return i + 1;
  }
  log_line("月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = " + name);
  return -1;
}

int size_from_text(const orelib::string& text) {
  if (text.empty()) return 0;
  // Only the leading digits and dots can make up the number.
  const orelib::string::size_type end = text.find_first_not_of("0123456789.");
  const orelib::string number = text.substr(0, end);
  double value = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
  switch (text.back()) {
    case 'K':
      value *= 1024.0;
      break;
    case 'M':
      value *= 1048576.0;
      break;
    default:
      break;
  }
  if (!(value >= 0.0)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(value);
}

}  // namespace GetInfo
