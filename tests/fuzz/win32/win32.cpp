// Windows' calls for the native builds of the plug-in's readers: times and code-page 932's
// bytes as Windows documents them; no files, no windows, no keys exist here.
#include <windows.h>
#include <wininet.h>

#include <cstdarg>
#include <cstdio>

namespace {

constexpr std::int64_t kTicksPerDay = 864000000000;

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap(year) ? 29 : days[month - 1];
}

// Days from 1 January 1601 (a Monday) to the given day, proleptic Gregorian.
std::int64_t days_since_1601(int year, int month, int day) {
  const std::int64_t y = year - 1601;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += days_in_month(year, m);
  return days + day - 1;
}

}  // namespace

// A fixed "now" (Wednesday, 5 June 2024, 12:00 UTC): a finding reproduces on any day.
void WINAPI GetSystemTime(SYSTEMTIME* time) { *time = SYSTEMTIME{2024, 6, 3, 5, 12, 0, 0, 0}; }

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* t, FILETIME* file) {
  // Windows checks every field but the day of the week.
  if (t->wYear < 1601 || t->wYear > 30827 || t->wMonth < 1 || t->wMonth > 12 || t->wDay < 1 ||
      t->wDay > days_in_month(t->wYear, t->wMonth) || t->wHour > 23 || t->wMinute > 59 ||
      t->wSecond > 59 || t->wMilliseconds > 999) {
    return FALSE;
  }
  const std::int64_t ticks =
      days_since_1601(t->wYear, t->wMonth, t->wDay) * kTicksPerDay +
      ((t->wHour * 60 + t->wMinute) * 60 + t->wSecond) * std::int64_t{10000000} +
      t->wMilliseconds * std::int64_t{10000};
  file->dwLowDateTime = static_cast<DWORD>(ticks);
  file->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* t) {
  const std::uint64_t ticks = (std::uint64_t{file->dwHighDateTime} << 32) | file->dwLowDateTime;
  if (ticks >> 63) return FALSE;
  std::int64_t days = static_cast<std::int64_t>(ticks / kTicksPerDay);
  std::uint64_t rest = ticks % kTicksPerDay;
  SYSTEMTIME out{};
  out.wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  int year = 1601;
  while (days >= (leap(year) ? 366 : 365)) days -= leap(year++) ? 366 : 365;
  int month = 1;
  while (days >= days_in_month(year, month)) days -= days_in_month(year, month++);
  out.wYear = static_cast<WORD>(year);
  out.wMonth = static_cast<WORD>(month);
  out.wDay = static_cast<WORD>(days + 1);
  out.wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
  rest /= 10000000;
  out.wSecond = static_cast<WORD>(rest % 60);
  out.wMinute = static_cast<WORD>(rest / 60 % 60);
  out.wHour = static_cast<WORD>(rest / 3600);
  *t = out;
  return TRUE;
}

long WINAPI CompareFileTime(const FILETIME* a, const FILETIME* b) {
  const std::uint64_t x = (std::uint64_t{a->dwHighDateTime} << 32) | a->dwLowDateTime;
  const std::uint64_t y = (std::uint64_t{b->dwHighDateTime} << 32) | b->dwLowDateTime;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Code page 932's lead bytes.
BOOL WINAPI IsDBCSLeadByte(BYTE byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

DWORD WINAPI CharLowerBuffA(char* text, DWORD length) {
  for (DWORD i = 0; i < length; ++i) {
    const BYTE byte = static_cast<BYTE>(text[i]);
    if (IsDBCSLeadByte(byte) && i + 1 < length) {
      ++i;
    } else if (byte >= 'A' && byte <= 'Z') {
      text[i] = static_cast<char>(byte - 'A' + 'a');
    }
  }
  return length;
}

// wsprintfA writes at most 1024 bytes.
int wsprintfA(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(buffer, 1024, format, arguments);
  va_end(arguments);
  return written < 1024 ? written : 1023;
}

HANDLE WINAPI CreateFileA(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
  return INVALID_HANDLE_VALUE;
}
BOOL WINAPI GetFileTime(HANDLE, FILETIME*, FILETIME*, FILETIME*) { return FALSE; }
DWORD WINAPI GetFileAttributesA(const char*) { return INVALID_FILE_ATTRIBUTES; }
BOOL WINAPI CloseHandle(HANDLE) { return FALSE; }
BOOL WINAPI FreeLibrary(HMODULE) { return TRUE; }
