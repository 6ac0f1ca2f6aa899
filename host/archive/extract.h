// Platform-neutral extraction: turns tar entries into safe relative paths
// and drives a Writer. Nothing here touches the file system itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/archive/archive.h"
#include "host/archive/source.h"
#include "host/archive/tar.h"

namespace host::archive {

using PathParts = std::vector<std::string>;

// Splits an archive member name into components that are safe to create
// under the destination on Windows and elsewhere. Returns false with a
// short reason for absolute names, drive letters, ".." and names Windows
// would alias or treat as devices. "." and empty components are dropped,
// so parts may come back empty (the destination itself).
bool sanitize_path(const std::string& name, PathParts& parts, std::string& reason);

// True when a symbolic link at link_parts with the given target resolves,
// lexically, to somewhere inside the destination.
bool symlink_stays_inside(const PathParts& link_parts, const std::string& target);

std::string join_parts(const PathParts& parts, char separator);

// The file-system side of extraction. Paths are relative to the destination.
class Writer {
 public:
  virtual ~Writer() = default;
  // Creates the directory and any missing parents.
  virtual bool make_directory(const PathParts& parts, std::string& error) = 0;
  virtual bool open_file(const PathParts& parts, std::string& error) = 0;
  virtual bool write(const unsigned char* data, std::size_t size, std::string& error) = 0;
  // Finishes the open file; a known mtime becomes its last-write time.
  virtual bool close_file(const FileTime& mtime, std::string& error) = 0;
  // Closes and deletes a file left incomplete by a failure.
  virtual void discard_file() = 0;
  // Copies an unpacked file (a hard link's target), giving the copy mtime when known.
  virtual bool copy_file(const PathParts& from, const PathParts& to, const FileTime& mtime,
                         std::string& error) = 0;
};

// Writes nothing; used to verify a whole archive before extracting it.
class NullWriter : public Writer {
 public:
  bool make_directory(const PathParts&, std::string&) override { return true; }
  bool open_file(const PathParts&, std::string&) override { return true; }
  bool write(const unsigned char*, std::size_t, std::string&) override { return true; }
  bool close_file(const FileTime&, std::string&) override { return true; }
  void discard_file() override {}
  bool copy_file(const PathParts&, const PathParts&, const FileTime&, std::string&) override {
    return true;
  }
};

// Reads the tar stream from source to its end, writing through writer and
// filling result (ok is set last).
void extract(Source& source, Writer& writer, Result& result);

enum class ArchiveKind { Unknown, Xz, Tar };

// What the first bytes of a file (up to 512) say it is.
ArchiveKind detect_archive(const unsigned char* head, std::size_t size);

// extract() over the raw archive bytes, decompressing them first when kind is Xz.
void extract_archive(Source& raw, ArchiveKind kind, Writer& writer, Result& result);

}  // namespace host::archive
