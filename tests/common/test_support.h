#pragma once
// Helpers for the tests under Wine: the plug-in's path, the environment, file times; with the
// portable files and scratch directories.

#include <windows.h>

#include <string>

#include "files.h"
#include "scratch_dir.h"

namespace testing_support {

// The built plug-in, beside the test executables.
std::string plugin_path();

// Sets (or with a null value removes) an environment variable for this process and restores
// the old value at destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_old_ = false;
};

// A SYSTEMTIME from fields; the day of the week is left 0.
SYSTEMTIME system_time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                       WORD second = 0, WORD millisecond = 0);

// Sets a file's (or a directory's) last-write time, UTC, exactly; a failure names the path
// and the error.
void set_write_time(const std::string& path, const SYSTEMTIME& time);

}  // namespace testing_support
