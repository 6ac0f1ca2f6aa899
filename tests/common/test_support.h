#pragma once
// Helpers for the tests under Wine: the plug-in's path, the environment, file times; with the
// portable files and scratch directories.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "files.h"
#include "scratch_dir.h"

namespace testing_support {

// The built plug-in, beside the test executables.
std::string plugin_path();

// Sets (or with a null value removes) an environment variable for this process and restores
// the old value at destruction. A narrow value is Shift-JIS; a wide one may hold what Shift-JIS
// cannot write.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ScopedEnv(const char* name, const wchar_t* value);
  ScopedEnv(const char* name, std::nullptr_t)
      : ScopedEnv(name, static_cast<const wchar_t*>(nullptr)) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_old_ = false;
};

// Folder names Shift-JIS cannot write: Hangul, a Latin letter with a diaeresis, and a
// character outside the Basic Multilingual Plane.
constexpr const wchar_t* kHangul = L"김민수";
constexpr const wchar_t* kUmlaut = L"Müller";
constexpr const wchar_t* kAstral = L"\U00020BB7";

std::wstring wide(const std::string& shift_jis);
// The path's short name (ASCII); empty when it has none.
std::string short_name(const std::wstring& path);
// Creates the directory (its parent must exist); a failure names the error.
::testing::AssertionResult make_folder(const std::wstring& path);
// The file's bytes; empty when it cannot be read.
std::string read_file(const std::wstring& path);

// A SYSTEMTIME from fields; the day of the week is left 0.
SYSTEMTIME system_time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                       WORD second = 0, WORD millisecond = 0);

// Sets a file's (or a directory's) last-write time, UTC, exactly; a failure names the path
// and the error.
void set_write_time(const std::string& path, const SYSTEMTIME& time);

}  // namespace testing_support
