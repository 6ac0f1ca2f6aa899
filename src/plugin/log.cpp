#include "plugin/log.h"

#include <cstdio>

#include "config/setting.h"

namespace {
// Owns the open log file for one line.
class LogFile {
 public:
  explicit LogFile(const char* path) : file_(path[0] ? std::fopen(path, "a+") : nullptr) {}
  ~LogFile() {
    if (file_) std::fclose(file_);
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};
}  // namespace

void log_line(const orelib::string& text) {
  orelib::LockGuard guard(g_setting);
  const LogFile file(g_setting.log_file.c_str());
  if (file.get()) {
    std::fputs(text.c_str(), file.get());
    std::fputc('\n', file.get());
  }
}
