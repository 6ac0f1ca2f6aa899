#include "plugin/log.h"

#include <cstdio>

#include "config/setting.h"
#include "support/handles.h"

void log_line(const orelib::string& text) {
  orelib::LockGuard guard(g_setting);
  // The file is open for one line only; no log file named, no line written.
  const char* path = g_setting.log_file.c_str();
  const orelib::c_file file(path[0] ? std::fopen(path, "a+") : nullptr);
  if (file) {
    std::fputs(text.c_str(), file.get());
    std::fputc('\n', file.get());
  }
}
