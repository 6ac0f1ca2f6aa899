#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/plugin_loader.h"
#include "support/handles.h"

namespace testing_support {

std::string plugin_path() { return host::executable_directory() + "ispell.dll"; }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size > 0) {
    std::vector<char> buffer(size + 1);
    GetEnvironmentVariableA(name, buffer.data(), size + 1);
    old_ = buffer.data();
    had_old_ = true;
  }
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), had_old_ ? old_.c_str() : nullptr);
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
