#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/plugin_loader.h"
#include "support/handles.h"

namespace testing_support {

std::string plugin_path() { return host::executable_directory() + "ispell.dll"; }

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : ScopedEnv(name, value ? wide(value).c_str() : nullptr) {}

ScopedEnv::ScopedEnv(const char* name, const wchar_t* value) : name_(wide(name)) {
  const DWORD size = GetEnvironmentVariableW(name_.c_str(), nullptr, 0);
  if (size > 0) {
    std::vector<wchar_t> buffer(size + 1);
    GetEnvironmentVariableW(name_.c_str(), buffer.data(), size + 1);
    old_ = buffer.data();
    had_old_ = true;
  }
  SetEnvironmentVariableW(name_.c_str(), value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableW(name_.c_str(), had_old_ ? old_.c_str() : nullptr);
}

std::wstring wide(const std::string& shift_jis) {
  const int length = MultiByteToWideChar(CP_ACP, 0, shift_jis.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> buffer(length > 0 ? length : 1);
  MultiByteToWideChar(CP_ACP, 0, shift_jis.c_str(), -1, buffer.data(), length);
  return buffer.data();
}

std::string short_name(const std::wstring& path) {
  wchar_t buffer[1024] = {};
  const DWORD length = GetShortPathNameW(path.c_str(), buffer, 1024);
  if (length == 0 || length >= 1024) return {};
  std::string ascii;
  for (const wchar_t* c = buffer; *c; ++c) {
    if (*c > 0x7F) return {};
    ascii += static_cast<char>(*c);
  }
  return ascii;
}

::testing::AssertionResult make_folder(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "CreateDirectoryW failed, error " << GetLastError();
}

std::string read_file(const std::wstring& path) {
  const orelib::file_handle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  return bytes;
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

void set_write_time(const std::string& path, const SYSTEMTIME& time) {
  FILETIME written;
  ASSERT_TRUE(SystemTimeToFileTime(&time, &written))
      << time.wYear << "-" << time.wMonth << "-" << time.wDay << " is no time";
  const orelib::file_handle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr));
  ASSERT_TRUE(file) << path << " cannot be opened, error " << GetLastError();
  EXPECT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written))
      << path << ": SetFileTime failed, error " << GetLastError();
}

}  // namespace testing_support
