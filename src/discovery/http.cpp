#include "discovery/http.h"

#include <climits>
#include <cstdint>
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

// The number that the leading digits and dots make up, as strtod reads it ("1.2.3" is 1.2, "."
// is 0). Up to 15 digits the quotient of two exact doubles is the correctly rounded value, and
// far cheaper than the C library's conversion, which cost more than the rest of a line's parse.
double leading_number(const orelib::string& text) {
  static const double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fraction_digits = 0;
  bool point = false;
  orelib::string::size_type end = 0;
  for (; end < text.size(); ++end) {
    const char c = text[end];
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      ++digits;
      if (point) ++fraction_digits;
    } else if (c != '.' || point) {
      break;
    } else {
      point = true;
    }
  }
  if (digits <= 15) return static_cast<double>(mantissa) / kPowersOfTen[fraction_digits];
  // Only the leading digits and dots can make up the number.
  const orelib::string number = text.substr(0, text.find_first_not_of("0123456789."));
  return std::strtod(number.c_str(), nullptr);
}

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
  index_parser parser(host, list);
  if (!session.read_response(parser)) {
    list.clear();
    log_line("データの受信に失敗．");
    return false;
  }
  parser.finish();
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

namespace {

// Each entry takes seven texts from the host; these keep their buffers from line to line.
struct entry_texts {
  orelib::string size, day, month_name, year, hour, minute;
};

// Parses text[0, length), NUL-terminated at length, through the compiled pattern. False when
// the host answered a position or length that does not move forward or points past the text:
// the parse ends there rather than reading outside the text or looping.
bool parse_lines(const HostModule& host, int handle, const char* text, long long length,
                 entry_texts& texts, file_list& list) {
  long long offset = 0;
  while (offset < length && host.call_bool("REGEX_MATCH", handle, text + offset)) {
    file_info entry;
    host.call_text_into(entry.name, "REGEX_GETMATCHSTR", handle, 1);
    host.call_text_into(texts.size, "REGEX_GETMATCHSTR", handle, 7);
    entry.size = static_cast<std::uint32_t>(size_from_text(texts.size));
    host.call_text_into(texts.day, "REGEX_GETMATCHSTR", handle, 2);
    host.call_text_into(texts.month_name, "REGEX_GETMATCHSTR", handle, 3);
    host.call_text_into(texts.year, "REGEX_GETMATCHSTR", handle, 4);
    host.call_text_into(texts.hour, "REGEX_GETMATCHSTR", handle, 5);
    host.call_text_into(texts.minute, "REGEX_GETMATCHSTR", handle, 6);

    const int month = month_from_name(texts.month_name);
    const int minute = decimal(texts.minute);
    const int hour_value = decimal(texts.hour);
    const int day_value = decimal(texts.day);
    const int year_value = decimal(texts.year);
    entry.time = make_date_time(
        static_cast<std::uint16_t>(year_value), static_cast<std::uint16_t>(month),
        static_cast<std::uint16_t>(day_value), static_cast<std::uint16_t>(hour_value),
        static_cast<std::uint16_t>(minute), 0, 0);
    list.push_back(std::move(entry));

    const long long pos = host.call<int>("REGEX_GETMATCHPOS", handle);
    const long long len = host.call<int>("REGEX_GETMATCHLEN", handle);
    const long long next = offset + pos + len;
    if (pos < 0 || len < 0 || next <= offset || next > length) return false;
    offset = next;
  }
  return true;
}

}  // namespace

void parse_index_text(const HostModule& host, const char* page, file_list& list) {
  const int handle = host.call<int>("REGEX_COMPILE", kIndexEntryPattern);
  entry_texts texts;
  parse_lines(host, handle, page, static_cast<long long>(std::strlen(page)), texts, list);
}

index_parser::index_parser(const HostModule& host, file_list& list) : host_(host), list_(list) {}

void index_parser::write(const char* data, std::size_t size) {
  if (ended_) return;
  const void* nul = std::memchr(data, '\0', size);
  const std::size_t kept =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size;
  const std::size_t before = pending_.size();
  pending_.append(data, kept);
  if (nul) {
    parse_pending(pending_.size());
    ended_ = true;
    return;
  }
  // Only the new data can hold the last line break.
  std::size_t end = pending_.size();
  while (end > before && pending_[end - 1] != '\n' && pending_[end - 1] != '\r') --end;
  if (end > before) parse_pending(end);
}

void index_parser::finish() {
  if (ended_) return;
  parse_pending(pending_.size());
  ended_ = true;
}

void index_parser::parse_pending(std::size_t end) {
  if (!compiled_) {
    handle_ = host_.call<int>("REGEX_COMPILE", kIndexEntryPattern);
    compiled_ = true;
  }
  // The host reads a NUL-terminated text: end the complete lines there for the parse.
  const char saved = pending_[end];
  pending_[end] = '\0';
  entry_texts texts;
  const bool go_on =
      parse_lines(host_, handle_, pending_.data(), static_cast<long long>(end), texts, list_);
  pending_[end] = saved;
  pending_.erase(0, end);
  if (!go_on) ended_ = true;
}

int month_from_name(const orelib::string& name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name.size() == 3) {
    for (int i = 0; i < 12; ++i) {
      if (std::memcmp(name.data(), kMonths[i], 3) == 0) return i + 1;
    }
  }
  log_line("月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = " + name);
  return -1;
}

int size_from_text(const orelib::string& text) {
  if (text.empty()) return 0;
  double value = leading_number(text);
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
