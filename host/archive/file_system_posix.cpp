// Unpacking on POSIX systems (native builds: tests and fuzzing).
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "host/archive/file_system.h"
#include "support/handles.h"

namespace host::archive {
namespace {

using FilePtr = orelib::c_file;

class FileSource : public Source {
 public:
  explicit FileSource(const std::string& path)
      : path_(path), file_(std::fopen(path.c_str(), "rb")) {
    if (!file_) fail(system_error("cannot open archive", path));
  }
  std::size_t read(unsigned char* buf, std::size_t size) override {
    if (failed() || size == 0) return 0;
    const std::size_t got = std::fread(buf, 1, size, file_.get());
    if (got == 0 && std::ferror(file_.get())) fail(system_error("cannot read archive", path_));
    return got;
  }

 private:
  std::string path_;
  FilePtr file_;
};

class PosixWriter : public FileWriter {
 public:
  using FileWriter::FileWriter;

  bool open_file(const PathParts& parts, std::string& error) override {
    path_ = full_path(parts);
    file_.reset(std::fopen(path_.c_str(), "wb"));
    if (!file_) {
      error = system_error("cannot create file", path_);
      return false;
    }
    return true;
  }

  bool write(const unsigned char* data, std::size_t size, std::string& error) override {
    if (std::fwrite(data, 1, size, file_.get()) != size) {
      error = system_error("cannot write file", path_);
      return false;
    }
    return true;
  }

  bool close_file(const FileTime& mtime, std::string& error) override {
    // Flushed first: a later write would move the time again.
    if (std::fflush(file_.get()) != 0) {
      error = system_error("cannot write file", path_);
      return false;
    }
    if (mtime.known) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_OMIT;  // access time
      times[1].tv_sec = static_cast<time_t>(mtime.seconds);
      times[1].tv_nsec = static_cast<long>(mtime.nanoseconds);
      // A time that time_t cannot hold is left alone.
      if (times[1].tv_sec == mtime.seconds && futimens(fileno(file_.get()), times) != 0) {
        error = system_error("cannot set the time of file", path_);
        return false;
      }
    }
    if (std::fclose(file_.release()) != 0) {
      error = system_error("cannot write file", path_);
      return false;
    }
    return true;
  }

  void discard_file() override {
    file_.reset();
    std::remove(path_.c_str());
  }

  bool copy_file(const PathParts& from, const PathParts& to, const FileTime& mtime,
                 std::string& error) override {
    const std::string source_path = full_path(from);
    FilePtr source(std::fopen(source_path.c_str(), "rb"));
    if (!source) {
      error = system_error("cannot read file", source_path);
      return false;
    }
    if (!open_file(to, error)) return false;
    unsigned char buf[16 * 1024];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, source.get())) > 0) {
      if (!write(buf, n, error)) {
        discard_file();
        return false;
      }
    }
    return close_file(mtime, error);
  }

 private:
  std::string path_;
  FilePtr file_;
};

}  // namespace

std::string system_error(const char* what, const std::string& path) {
  return std::string(what) + " " + path + " (" + std::strerror(errno) + ")";
}

bool is_directory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool create_directory(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0 || is_directory(path);
}

std::unique_ptr<Source> open_archive_file(const std::string& path) {
  return std::make_unique<FileSource>(path);
}

std::unique_ptr<FileWriter> make_file_writer(const std::string& base) {
  return std::make_unique<PosixWriter>(base);
}

}  // namespace host::archive
