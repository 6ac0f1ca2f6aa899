// Unpacking into a directory: the platform-neutral steps around extract().
// The file operations come from file_system.h.
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "host/archive/archive.h"
#include "host/archive/extract.h"
#include "host/archive/file_system.h"

namespace host::archive {

bool FileWriter::make_directory(const PathParts& parts, std::string& error) {
  std::string path = base_;
  for (const std::string& part : parts) {
    path += kPathSeparator + part;
    if (made_.count(path)) continue;
    if (!create_directory(path)) {
      error = system_error("cannot create directory", path);
      return false;
    }
    made_.insert(path);
  }
  return true;
}

std::string FileWriter::full_path(const PathParts& parts) const {
  return base_ + kPathSeparator + join_parts(parts, kPathSeparator);
}

namespace {

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

bool detect(const std::string& path, ArchiveKind& kind, std::string& error) {
  const std::unique_ptr<Source> file = open_archive_file(path);
  unsigned char head[512];
  std::size_t got = 0;
  while (got < sizeof head) {
    const std::size_t n = file->read(head + got, sizeof head - got);
    if (n == 0) break;
    got += n;
  }
  if (file->failed()) {
    error = file->error();
    return false;
  }
  kind = detect_archive(head, got);
  if (kind == ArchiveKind::Unknown) {
    error = "not a .tar.xz or tar archive: " + path;
    return false;
  }
  return true;
}

void run_pass(const std::string& path, ArchiveKind kind, Writer& writer, Result& result) {
  const std::unique_ptr<Source> file = open_archive_file(path);
  if (file->failed()) {
    result.error = file->error();
    return;
  }
  extract_archive(*file, kind, writer, result);
}

void unpack_into(const std::string& archive_path, const std::string& dest_dir, Result& result) {
  ArchiveKind kind = ArchiveKind::Unknown;
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
  const std::unique_ptr<FileWriter> writer = make_file_writer(base);
  run_pass(archive_path, kind, *writer, result);
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
