// What a listing line gives: the FTP listing's names, and size and date texts. The input is
// lines; each is a listed name, a size text and a date text (day, month, year, hour and minute
// separated by blanks), separated by tabs. The archive picked must be the newest of the names that
// are archives, each size must be what the nearest double gives, and the dates must be ordered
// consistently.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/index_parser.h"
#include "discovery/selection.h"
#include "discovery/size_text.h"
#include "fuzz_check.h"
#include "plugin_host.h"

using namespace GetInfo;

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find(separator, at), text.size());
    parts.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// The leading "digits.digits" through strtod, scaled and truncated as the size promises.
int size_by_strtod(std::string_view text, int shift) {
  std::size_t end = 0;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  }
  const double value =
      std::ldexp(std::strtod(std::string(text.substr(0, end)).c_str(), nullptr), shift);
  return value >= 2147483647.0 ? 2147483647 : static_cast<int>(value);
}

void check_size(std::string_view text) {
  for (const int shift : {0, 10, 20, 30, 40, 50})
    FUZZ_CHECK(scaled_size(text, shift) == size_by_strtod(text, shift));
  int size = -1;
  if (listing_size(text, size)) FUZZ_CHECK(size >= 0);
  FUZZ_CHECK(plain_number(text).find(',') == std::string::npos);
  FUZZ_CHECK(size_from_text(text) >= 0);
  // Reads back from the end of the text: it must stay within it (the sanitizers tell).
  if (!text.empty()) size_before_unit(text.data(), text.size());
}

bool digits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Exactly one of a < b, b < a, a = b; and the order is transitive.
void check_order(const std::vector<date_time>& times) {
  for (const date_time& a : times) {
    for (const date_time& b : times) {
      const int relations = date_time_less(a, b) + date_time_less(b, a) + date_time_equal(a, b);
      FUZZ_CHECK(relations == 1);
      for (const date_time& c : times) {
        if (date_time_less(a, b) && date_time_less(b, c)) FUZZ_CHECK(date_time_less(a, c));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reset_host();
  HostModule host;
  host.bind();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  file_list listing;
  std::vector<date_time> times;
  std::vector<orelib::string> log;
  for (const std::string_view line : split(input, '\n')) {
    const std::vector<std::string_view> fields = split(line, '\t');
    if (fields.size() > 1) check_size(fields[1]);
    std::vector<std::string_view> when = split(fields.size() > 2 ? fields[2] : "", ' ');
    when.resize(5);
    // The numbers are what the patterns capture: digits, maybe none.
    if (fields.size() > 2 && times.size() < 12 && digits(when[0]) && digits(when[2]) &&
        digits(when[3]) && digits(when[4])) {
      const std::size_t logged = log.size();
      const date_time time = listing_time(when[0], when[1], when[2], when[3], when[4], log);
      // Only an unknown month is logged, and then there is no time.
      FUZZ_CHECK(log.size() == logged || (log.size() == logged + 1 && !time.valid));
      times.push_back(time);
    }
    // An FTP name is what fits WIN32_FIND_DATA, without NUL.
    file_info entry;
    entry.name = std::string(fields[0].substr(0, fields[0].find('\0')).substr(0, 259));
    listing.push_back(entry);
  }
  check_order(times);

  // The newest archive: the first of the largest version among the archive names.
  const url_parts where{"ftp", "mirror.example", "/pub/ispell/"};
  const archive_choice chosen = select_archive(host, listing, where, listed_names::file_names);
  const int pattern = host.call<host_service::REGEX_COMPILE>(kArchivePattern);
  file_list archives;
  for (const file_info& entry : listing) {
    const bool archive = host.call_bool<host_service::REGEX_MATCH>(pattern, entry.name.c_str()) &&
                         entry.name.size() >= 7 &&
                         entry.name.compare(entry.name.size() - 7, 7, ".tar.xz") == 0;
    if (archive) archives.push_back(entry);
  }
  const file_info newest = pick_newest(archives);
  FUZZ_CHECK(chosen.file.name == newest.name);
  FUZZ_CHECK(chosen.url == (newest.name.empty() ? "" : where.text() + newest.name));
  return 0;
}
