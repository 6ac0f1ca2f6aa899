// Unpacking on Windows: the Win32 ANSI file APIs.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "host/archive/file_system.h"
#include "support/handles.h"

namespace host::archive {
namespace {

using FileHandle = orelib::file_handle;

// Closes now; false when the system reports a failure (e.g. a lost write).
bool close_now(FileHandle& file) { return !file || CloseHandle(file.release()) != FALSE; }

class FileSource : public Source {
 public:
  explicit FileSource(const std::string& path) : path_(path) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) fail(system_error("cannot open archive", path));
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
  if (mtime.seconds < -kEpochOffset ||
      mtime.seconds >= INT64_MAX / kTicksPerSecond - kEpochOffset) {
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

class Win32Writer : public FileWriter {
 public:
  using FileWriter::FileWriter;

  bool open_file(const PathParts& parts, std::string& error) override {
    path_ = full_path(parts);
    file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
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
    if (!close_now(file_)) {
      error = system_error("cannot write file", path_);
      return false;
    }
    return true;
  }

  void discard_file() override {
    file_.reset();
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
    const FileHandle copy(CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy || !set_write_time(copy.get(), mtime)) {
      error = system_error("cannot set the time of file", target);
      return false;
    }
    return true;
  }

 private:
  std::string path_;
  FileHandle file_;
};

}  // namespace

std::string system_error(const char* what, const std::string& path) {
  char text[64];
  std::snprintf(text, sizeof text, " (error %lu)", static_cast<unsigned long>(GetLastError()));
  return std::string(what) + " " + path + text;
}

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool create_directory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || is_directory(path);
}

std::unique_ptr<Source> open_archive_file(const std::string& path) {
  return std::make_unique<FileSource>(path);
}

std::unique_ptr<FileWriter> make_file_writer(const std::string& base) {
  return std::make_unique<Win32Writer>(base);
}

}  // namespace host::archive
