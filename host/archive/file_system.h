// The platform side of unpacking: reading the archive file and creating
// directories and files. file_system_win32.cpp uses the Win32 ANSI file APIs,
// file_system_posix.cpp the POSIX calls (native builds: tests and fuzzing);
// everything else in the unpacker is shared.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "host/archive/extract.h"
#include "host/archive/source.h"

namespace host::archive {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// "<what> <path> (<the system's reason>)" for the last failed call.
std::string system_error(const char* what, const std::string& path);

bool is_directory(const std::string& path);
// Creates one directory; true when it exists afterwards.
bool create_directory(const std::string& path);

// The archive file as a Source; failed() when it cannot be opened.
std::unique_ptr<Source> open_archive_file(const std::string& path);

// Writes under a base directory. Directories are shared; each platform
// supplies the file operations (make_file_writer).
class FileWriter : public Writer {
 public:
  explicit FileWriter(const std::string& base) : base_(base) {}
  // Creates each directory along parts, once per unpack.
  bool make_directory(const PathParts& parts, std::string& error) override;

 protected:
  std::string full_path(const PathParts& parts) const;

 private:
  std::string base_;
  std::set<std::string> made_;
};

std::unique_ptr<FileWriter> make_file_writer(const std::string& base);

}  // namespace host::archive
