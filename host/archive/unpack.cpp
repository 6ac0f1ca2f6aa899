// File-system side of unpacking: Win32 ANSI file APIs on Windows, POSIX
// calls for native test builds.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <string>

#include "host/archive/archive.h"
#include "host/archive/extract.h"
#include "host/archive/tar.h"
#include "host/archive/xz.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <ctime>
#include <cstring>
#endif

namespace host::archive {
namespace {

// Creates each directory along parts under base, once per unpack (made remembers them).
bool make_directory_chain(const std::string& base, const PathParts& parts,
                          std::set<std::string>& made, std::string& error);

#ifdef _WIN32
constexpr char kSeparator = '\\';

std::string system_error(const char* what, const std::string& path) {
  char text[64];
  std::snprintf(text, sizeof text, " (error %lu)", static_cast<unsigned long>(GetLastError()));
  return std::string(what) + " " + path + text;
}

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  void reset(HANDLE handle) {
    close();
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now; false when the system reports a failure (e.g. a lost write).
  bool close() {
    if (!valid()) return true;
    const BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class FileSource : public Source {
 public:
  explicit FileSource(const std::string& path) : path_(path) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.valid()) fail(system_error("cannot open archive", path));
  }
  std::size_t read(unsigned char* buf, std::size_t size) override {
    if (failed() || size == 0) return 0;
    DWORD got = 0;
    const DWORD want = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), buf, want, &got, nullptr)) {
      fail(system_error("cannot read archive", path_));
      return 0;
    }
    return got;
  }

 private:
  std::string path_;
  FileHandle file_;
};

// Sets the last-write time; an unknown time, or one FILETIME cannot hold, leaves it as it is.
bool set_write_time(HANDLE file, const FileTime& mtime) {
  if (!mtime.known) return true;
  // FILETIME counts 100-ns ticks since 1601-01-01 UTC.
  constexpr std::int64_t kEpochOffset = 11644473600;
  constexpr std::int64_t kTicksPerSecond = 10000000;
  if (mtime.seconds < -kEpochOffset || mtime.seconds > INT64_MAX / kTicksPerSecond - kEpochOffset) {
    return true;
  }
  const std::uint64_t ticks =
      static_cast<std::uint64_t>((mtime.seconds + kEpochOffset) * kTicksPerSecond) +
      mtime.nanoseconds / 100;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return SetFileTime(file, nullptr, nullptr, &time) != FALSE;
}

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool create_directory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || is_directory(path);
}

class NativeWriter : public Writer {
 public:
  explicit NativeWriter(const std::string& base) : base_(base) {}

  bool make_directory(const PathParts& parts, std::string& error) override {
    return make_directory_chain(base_, parts, made_, error);
  }

  bool open_file(const PathParts& parts, std::string& error) override {
    path_ = full_path(parts);
    file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.valid()) {
      error = system_error("cannot create file", path_);
      return false;
    }
    return true;
  }

  bool write(const unsigned char* data, std::size_t size, std::string& error) override {
    while (size > 0) {
      DWORD done = 0;
      const DWORD want = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
      if (!WriteFile(file_.get(), data, want, &done, nullptr) || done == 0) {
        error = system_error("cannot write file", path_);
        return false;
      }
      data += done;
      size -= done;
    }
    return true;
  }

  bool close_file(const FileTime& mtime, std::string& error) override {
    if (!set_write_time(file_.get(), mtime)) {
      error = system_error("cannot set the time of file", path_);
      return false;
    }
    if (!file_.close()) {
      error = system_error("cannot write file", path_);
      return false;
    }
    return true;
  }

  void discard_file() override {
    file_.close();
    DeleteFileA(path_.c_str());
  }

  bool copy_file(const PathParts& from, const PathParts& to, const FileTime& mtime,
                 std::string& error) override {
    const std::string target = full_path(to);
    if (!CopyFileA(full_path(from).c_str(), target.c_str(), FALSE)) {
      error = system_error("cannot create file", target);
      return false;
    }
    if (!mtime.known) return true;
    FileHandle copy;
    copy.reset(CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy.valid() || !set_write_time(copy.get(), mtime)) {
      error = system_error("cannot set the time of file", target);
      return false;
    }
    return true;
  }

 private:
  std::string full_path(const PathParts& parts) const {
    return base_ + kSeparator + join_parts(parts, kSeparator);
  }

  std::string base_;
  std::string path_;
  FileHandle file_;
  std::set<std::string> made_;
};

#else  // POSIX, for native test builds

constexpr char kSeparator = '/';

std::string system_error(const char* what, const std::string& path) {
  return std::string(what) + " " + path + " (" + std::strerror(errno) + ")";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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

bool is_directory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool create_directory(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0 || is_directory(path);
}

class NativeWriter : public Writer {
 public:
  explicit NativeWriter(const std::string& base) : base_(base) {}

  bool make_directory(const PathParts& parts, std::string& error) override {
    return make_directory_chain(base_, parts, made_, error);
  }

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
  std::string full_path(const PathParts& parts) const {
    return base_ + kSeparator + join_parts(parts, kSeparator);
  }

  std::string base_;
  std::string path_;
  FilePtr file_;
  std::set<std::string> made_;
};

#endif

bool make_directory_chain(const std::string& base, const PathParts& parts,
                          std::set<std::string>& made, std::string& error) {
  std::string path = base;
  for (const std::string& part : parts) {
    path += kSeparator + part;
    if (made.count(path)) continue;
    if (!create_directory(path)) {
      error = system_error("cannot create directory", path);
      return false;
    }
    made.insert(path);
  }
  return true;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Creates dest (and missing parents); returns it without trailing separators.
bool create_destination(const std::string& dest, std::string& base, std::string& error) {
  base = dest;
  while (base.size() > 1 && is_separator(base.back())) base.pop_back();
  if (base.empty()) {
    error = "no destination directory given";
    return false;
  }
  if (!is_directory(base)) {
    for (std::size_t i = 1; i < base.size(); ++i) {
      if (is_separator(base[i]) && base[i - 1] != ':' && !is_separator(base[i - 1])) {
        create_directory(base.substr(0, i));
      }
    }
    if (!create_directory(base)) {
      error = system_error("cannot create directory", base);
      return false;
    }
  }
  if (is_separator(base.back())) base.pop_back();  // a root such as "/"
  return true;
}

enum class Kind { Xz, Tar };

bool detect(const std::string& path, Kind& kind, std::string& error) {
  FileSource file(path);
  unsigned char head[512];
  std::size_t got = 0;
  while (got < sizeof head) {
    const std::size_t n = file.read(head + got, sizeof head - got);
    if (n == 0) break;
    got += n;
  }
  if (file.failed()) {
    error = file.error();
    return false;
  }
  if (has_xz_magic(head, got)) {
    kind = Kind::Xz;
  } else if (has_ustar_magic(head, got)) {
    kind = Kind::Tar;
  } else {
    error = "not a .tar.xz or tar archive: " + path;
    return false;
  }
  return true;
}

void run_pass(const std::string& path, Kind kind, Writer& writer, Result& result) {
  FileSource file(path);
  if (file.failed()) {
    result.error = file.error();
    return;
  }
  if (kind == Kind::Xz) {
    XzDecoder decoder(file);
    extract(decoder, writer, result);
  } else {
    extract(file, writer, result);
  }
}

void unpack_into(const std::string& archive_path, const std::string& dest_dir, Result& result) {
  Kind kind = Kind::Tar;
  if (!detect(archive_path, kind, result.error)) return;
  // Verify the whole archive first, so that a corrupt one writes nothing:
  // the container's checks only come at the end of each block.
  {
    Result check;
    NullWriter null_writer;
    run_pass(archive_path, kind, null_writer, check);
    if (!check.error.empty()) {
      result.error = check.error;
      return;
    }
  }
  std::string base;
  if (!create_destination(dest_dir, base, result.error)) return;
  NativeWriter writer(base);
  run_pass(archive_path, kind, writer, result);
}

}  // namespace

Result unpack(const std::string& archive_path, const std::string& dest_dir) {
  Result result;
  try {
    unpack_into(archive_path, dest_dir, result);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory while unpacking";
  } catch (const std::exception& e) {
    result.error = std::string("unpacking failed: ") + e.what();
  } catch (...) {
    result.error = "unpacking failed";
  }
  if (!result.error.empty()) result.ok = false;
  return result;
}

}  // namespace host::archive
