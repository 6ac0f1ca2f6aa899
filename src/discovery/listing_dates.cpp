#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "discovery/listing_layouts.h"
#include "discovery/listing_text.h"

// The dates and times of listings, as lines and texts write them.

namespace GetInfo {
namespace listing {

// Dates as texts: "05-Mar-2011 14:07", "2011-03-05T14:07:30", "2011/03/05 14:07";
// "05Mar2011 14:07"; "Mar 5, 2011", "Mar 05  2011"; "5 March 2011", "24 Sept 2025, 13:12".
// A time after the last two is read after the match.
const char* const kDateDashedPattern =
    R"re(([0-9]+[-/][0-9A-Za-z]+[-/][0-9]+)[ \tT]+([0-9]+:[0-9]+)[0-9:.]*)re";
const char* const kDateJoinedPattern =
    R"re(([0-9]+[A-Za-z]+[0-9]+)[ \t]+([0-9]+:[0-9]+)[0-9:.]*)re";
const char* const kDateMonthFirstPattern =
    R"re(([A-Z][a-z][a-z]+)[.]*[ \t]+([0-9]+)[,]*[ \t]+([0-9]+))re";
const char* const kDateDayFirstPattern =
    R"re(([0-9]+)[ \t]+([A-Z][a-z][a-z]+)[.,]*[ \t]+([0-9]+))re";

}  // namespace listing

using namespace listing;

namespace {

// English month names as texts write them: "Mar", "March", "Sept"; 0 for any other word.
int english_month(std::string_view word) {
  static const char* const kNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
  if (word.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    const std::string_view name = kNames[i];
    if (word == name || word == name.substr(0, 3) || (i == 8 && word == "Sept")) return i + 1;
  }
  return 0;
}

// Past a zone after a time: "Z", "+09:00", "-0500".
const char* skip_zone(const char* at) {
  const char* p = at;
  while (is_blank(*p)) ++p;
  if (*p == 'Z') return p + 1;
  if ((*p == '+' || *p == '-') && p[1] >= '0' && p[1] <= '9') {
    ++p;
    while ((*p >= '0' && *p <= '9') || *p == ':') ++p;
    return p;
  }
  return at;
}

// A time of day written after a date, "13:12", "2:07 PM"; false when there is none (at is left
// at the date's end then).
bool time_after(const char*& at, int& hour, int& minute) {
  const char* p = at;
  while (is_blank(*p) || *p == ',') ++p;
  if (p[0] == 'a' && p[1] == 't' && is_blank(p[2])) p += 3;  // "5 March 2011 at 13:12"
  while (is_blank(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits || p - digits > 2 || *p != ':' || p[1] < '0' || p[1] > '9' || p[2] < '0' ||
      p[2] > '9') {
    return false;
  }
  hour = decimal(std::string_view(digits, static_cast<std::size_t>(p - digits)));
  minute = decimal(std::string_view(p + 1, 2));
  p += 3;
  while (*p == ':' || *p == '.' || (*p >= '0' && *p <= '9')) ++p;  // seconds, fractions
  const char* q = p;
  while (is_blank(*q)) ++q;
  if ((q[0] == 'P' || q[0] == 'p' || q[0] == 'A' || q[0] == 'a') && (q[1] == 'M' || q[1] == 'm') &&
      !is_letter(q[2])) {
    if (hour < 1 || hour > 12) return false;
    hour = (q[0] == 'P' || q[0] == 'p') ? hour % 12 + 12 : hour % 12;
    p = q + 2;
  }
  at = p;
  return true;
}

// Days since a fixed day, on the Gregorian calendar.
long day_number(int year, int month, int day) {
  if (month <= 2) --year;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long of_era = year - era * 400;
  const long of_year = (153L * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year;
}

int days_in_month(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

date_time calendar_time(int year, int month, int day, int hour, int minute) {
  return make_date_time(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                        static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour),
                        static_cast<std::uint16_t>(minute), 0, 0);
}

}  // namespace

int yearless_year(int month, int day, const SYSTEMTIME& now) {
  // The server's day may be ours plus one (a zone east of ours, a clock ahead): its "Jan  1"
  // on our Dec 31 is next year's, its "Mar  1" on our Feb 28 this year's.
  const long today = day_number(now.wYear, now.wMonth, now.wDay);
  for (int year = now.wYear + 1; year >= now.wYear - 1; --year) {
    if (month < 1 || month > 12 || day > days_in_month(year, month)) continue;
    if (day_number(year, month, day) <= today + 1) return year;
  }
  return now.wYear - 1;
}

int month_from_name(std::string_view name, std::vector<orelib::string>& log) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name.size() == 3) {
    for (int i = 0; i < 12; ++i) {
      if (std::memcmp(name.data(), kMonths[i], 3) == 0) return i + 1;
    }
  }
  log.push_back("月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = " +
                orelib::string(name));
  return -1;
}

date_time listing_time(std::string_view first, std::string_view month, std::string_view last,
                       std::string_view hour, std::string_view minute,
                       std::vector<orelib::string>& log) {
  const int month_value = all_digits(month) ? decimal(month) : month_from_name(month, log);
  const int minute_value = decimal(minute);
  const int hour_value = decimal(hour);
  int day = decimal(first);
  int year = decimal(last);
  if (first.size() > 2 && last.size() <= 2) std::swap(day, year);
  return make_date_time(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month_value),
                        static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour_value),
                        static_cast<std::uint16_t>(minute_value), 0, 0);
}

bool layout_parser::read_time(const char* text, date_time& time, const char*& after,
                              const char*& ls_date) {
  std::size_t length = std::strlen(text);
  std::size_t pos = 0;
  std::size_t len = 0;
  if (date_dashed_.search(text)) {
    // "05-Mar-2011", "2011-03-05", "2011/03/05": day and year told apart as on dated lines.
    const orelib::string date_text(date_dashed_.group(1));
    const orelib::string clock_text(date_dashed_.group(2));
    if (!date_dashed_.placed(length, pos, len)) return false;
    std::string_view date = date_text;
    const bool slashed = date.find('/') != std::string_view::npos;
    const std::string_view first = cut(date, "-/");
    const std::string_view month = cut(date, "-/");
    // "03/05/2011" may be either order: no time is better than a wrong one.
    if (slashed && first.size() <= 2) return false;
    std::string_view clock = clock_text;
    const std::string_view hour = cut(clock, ":");
    time = listing_time(first, month, date, hour, clock, log_);
    after = skip_zone(text + pos + len);
    return true;
  }
  if (date_joined_.search(text)) {
    // "05Mar2011 14:07"
    const orelib::string date_text(date_joined_.group(1));
    const orelib::string clock_text(date_joined_.group(2));
    if (!date_joined_.placed(length, pos, len)) return false;
    std::string_view date = date_text;
    std::size_t letters = 0;
    while (letters < date.size() && !is_letter(date[letters])) ++letters;
    std::size_t digits = letters;
    while (digits < date.size() && is_letter(date[digits])) ++digits;
    std::string_view clock = clock_text;
    const std::string_view hour = cut(clock, ":");
    time = listing_time(date.substr(0, letters), date.substr(letters, digits - letters),
                        date.substr(digits), hour, clock, log_);
    after = skip_zone(text + pos + len);
    return true;
  }
  // Month names: "Mar 5, 2011", "Mar 05  2011"; "5 March 2011", "24 Sept 2025, 13:12".
  for (host_pattern* pattern : {&date_month_first_, &date_day_first_}) {
    if (!pattern->search(text)) continue;
    const bool month_first = pattern == &date_month_first_;
    const orelib::string one(pattern->group(1));
    const orelib::string two(pattern->group(2));
    const orelib::string three(pattern->group(3));
    if (!pattern->placed(length, pos, len)) return false;
    const int month = english_month(month_first ? one : two);
    const std::string_view day = month_first ? two : one;
    const char* end = text + pos + len;
    if (month == 0 || day.size() > 2) continue;
    int hour = 0;
    int minute = 0;
    int year = 0;
    if (*end == ':') {
      // "Dec 10 10:54", as ls writes a file of the last six months: the last number is the hour.
      if (!month_first || three.size() > 2) continue;
      const char* clock = end - three.size();
      if (!time_after(clock, hour, minute)) continue;
      end = clock;
      SYSTEMTIME now;
      GetSystemTime(&now);
      year = yearless_year(month, decimal(day), now);
    } else {
      if (three.size() != 4) continue;
      time_after(end, hour, minute);
      year = decimal(three);
    }
    time = calendar_time(year, month, decimal(day), hour, minute);
    after = skip_zone(end);
    if (month_first) ls_date = text + pos;
    return true;
  }
  return false;
}

}  // namespace GetInfo
