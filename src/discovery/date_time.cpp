#include "discovery/date_time.h"

#include <tuple>

#include "support/handles.h"

namespace {

bool to_instant(const date_time& time, FILETIME& instant) {
  return SystemTimeToFileTime(&time.value, &instant) != FALSE;
}

// Field order is calendar order; used when a value names no real instant (31 April, month 0,
// 1000 milliseconds), so that such values still order consistently with their neighbours.
auto fields(const SYSTEMTIME& t) {
  return std::make_tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

// Negative, zero or positive as a is earlier than, equal to or later than b (both present).
int compare_present(const date_time& a, const date_time& b) {
  FILETIME fa;
  FILETIME fb;
  if (to_instant(a, fa) && to_instant(b, fb)) return CompareFileTime(&fa, &fb);
  const auto ka = fields(a.value);
  const auto kb = fields(b.value);
  return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

}  // namespace

int day_of_week(int year, int month, int day) {
  int m = month;
  int y = year;
  if (m == 1 || m == 2) {
    m += 12;
    y -= 1;
  }
  const int j = y / 100;
  const int k = y - 100 * j;
  int h = (day + (13 * (m + 1)) / 5 + k + k / 4 + j / 4 - 2 * j - 1) % 7;
  if (h < 0) h += 7;
  return h;
}

bool check_date_time(date_time& time) {
  const SYSTEMTIME& t = time.value;
  const bool ok = t.wYear >= 1601 && t.wMonth <= 12 && t.wDayOfWeek <= 7 && t.wDay <= 31 &&
                  t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 1000;
  if (!ok) time.valid = false;
  return ok;
}

date_time make_date_time(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                         std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                         std::uint16_t millisecond) {
  date_time time;
  time.value.wYear = year;
  time.value.wMonth = month;
  time.value.wDay = day;
  time.value.wHour = hour;
  time.value.wMinute = minute;
  time.value.wSecond = second;
  time.value.wMilliseconds = millisecond;
  time.value.wDayOfWeek = static_cast<WORD>(day_of_week(year, month, day));
  time.valid = check_date_time(time);
  return time;
}

bool date_time_less(const date_time& a, const date_time& b) {
  if (!b.valid) return false;
  if (!a.valid) return true;
  return compare_present(a, b) < 0;
}

bool date_time_equal(const date_time& a, const date_time& b) {
  if (!a.valid && !b.valid) return true;
  if (a.valid != b.valid) return false;
  return compare_present(a, b) == 0;
}

date_time local_file_time(const orelib::string& path) {
  date_time time;
  const orelib::file_handle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return time;
  FILETIME written;
  if (!GetFileTime(file.get(), nullptr, nullptr, &written)) return time;
  if (!FileTimeToSystemTime(&written, &time.value)) return time;
  time.valid = true;
  return time;
}
