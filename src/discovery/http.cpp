#include "discovery/http.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "discovery/size_text.h"
#include "plugin/host_module.h"
#include "plugin/log.h"

namespace GetInfo {

const char* const kIndexEntryPattern =
    R"re(href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]*)-([A-Za-z]*)-([0-9]*)[ \t]*([0-9]*):([0-9]*)[^\n\r]*?([0-9\\.]*[KMB]))re";

namespace {

// Empty text gives 0; the pattern guarantees digits only.
int decimal(std::string_view text) { return orelib::decimal_value(text); }

// A text the host answered; null gives the empty text. Valid until the next call to the host.
std::string_view answer(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

}  // namespace

HTTP::HTTP(const orelib::string& proxy, const http_server& server)
    : session(proxy.c_str(), server) {}

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
  if (!request_index()) return false;
  index_parser parser(host, list);
  if (!session.read_response(parser)) {
    list.clear();
    log_line("データの受信に失敗．");
    return false;
  }
  parser.finish();
  return true;
}

orelib::string HTTP::scheme() { return session.server.secure ? "https" : "http"; }

namespace {

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

// Parses text[0, length), NUL-terminated at length, through the compiled pattern. False when
// the host answered a position or length that does not move forward or points past the text:
// the parse ends there rather than reading outside the text or looping.
bool parse_lines(const HostModule& host, int handle, const char* text, long long length,
                 file_list& list) {
  const auto group = [&](int number) {
    return host.call<host_service::REGEX_GETMATCHSTR>(handle, number);
  };
  long long offset = 0;
  while (offset < length && host.call_bool<host_service::REGEX_MATCH>(handle, text + offset)) {
    file_info entry;
    // Each answer is used before the next call, which may reuse the host's buffer.
    const char* name = group(1);
    if (name) entry.name.assign(name);
    entry.size = static_cast<std::uint32_t>(size_from_text(answer(group(7))));
    const int day_value = decimal(answer(group(2)));
    const int month = month_from_name(answer(group(3)));
    const int year_value = decimal(answer(group(4)));
    const int hour_value = decimal(answer(group(5)));
    const int minute = decimal(answer(group(6)));
    entry.time = make_date_time(
        static_cast<std::uint16_t>(year_value), static_cast<std::uint16_t>(month),
        static_cast<std::uint16_t>(day_value), static_cast<std::uint16_t>(hour_value),
        static_cast<std::uint16_t>(minute), 0, 0);
    list.push_back(std::move(entry));

    const long long pos = host.call<host_service::REGEX_GETMATCHPOS>(handle);
    const long long len = host.call<host_service::REGEX_GETMATCHLEN>(handle);
    const long long next = offset + pos + len;
    if (pos < 0 || len < 0 || next <= offset || next > length) return false;
    offset = next;
  }
  return true;
}

}  // namespace

index_parser::index_parser(const HostModule& host, file_list& list) : host_(host), list_(list) {}

void index_parser::write(char* data, std::size_t size) {
  if (ended_) return;
  // A NUL ends the page: what comes before it is complete.
  const void* nul = std::memchr(data, '\0', size);
  const std::size_t kept =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size;
  std::size_t end = kept;
  if (!nul) {
    while (end > 0 && !is_line_break(data[end - 1])) --end;
  }
  // data[0, end) holds complete lines; the first of them may finish a line begun earlier.
  std::size_t start = 0;
  if (!pending_.empty() && end > 0) {
    while (start < end && !is_line_break(data[start])) ++start;
    if (start < end) ++start;
    pending_.append(data, start);
    if (!parse(pending_.data(), pending_.size())) return;
    pending_.clear();
  }
  if (end > start) {
    // Parsed where they lie: the host reads a NUL-terminated text, so the byte after the
    // lines (the reader keeps room for one past the data) is a NUL for the parse only.
    const char saved = data[end];
    data[end] = '\0';
    const bool go_on = parse(data + start, end - start);
    data[end] = saved;
    if (!go_on) return;
  }
  pending_.append(data + end, kept - end);
  if (nul) finish();
}

void index_parser::finish() {
  if (ended_) return;
  parse(pending_.data(), pending_.size());
  pending_.clear();
  ended_ = true;
}

bool index_parser::parse(const char* text, std::size_t length) {
  if (!compiled_) {
    handle_ = host_.call<host_service::REGEX_COMPILE>(kIndexEntryPattern);
    compiled_ = true;
  }
  if (parse_lines(host_, handle_, text, static_cast<long long>(length), list_)) return true;
  ended_ = true;
  return false;
}

int month_from_name(std::string_view name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name.size() == 3) {
    for (int i = 0; i < 12; ++i) {
      if (std::memcmp(name.data(), kMonths[i], 3) == 0) return i + 1;
    }
  }
  log_line("月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = " +
           orelib::string(name));
  return -1;
}

int size_from_text(std::string_view text) {
  if (text.empty()) return 0;
  const int shift = text.back() == 'K' ? 10 : (text.back() == 'M' ? 20 : 0);
  return scaled_size(text, shift);
}

}  // namespace GetInfo
