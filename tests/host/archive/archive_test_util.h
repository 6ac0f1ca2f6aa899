#pragma once
// Helpers for the archive tests: fixture files made at build time by
// make_fixtures.sh, scratch directories, and builders for hand-made tar and
// xz data that the real tools refuse to produce.

#include <cstdint>
#include <string>
#include <vector>

namespace archive_test {

using Bytes = std::vector<unsigned char>;

// Directory holding the fixtures, ending in a path separator.
std::string fixture_dir();
Bytes read_bytes(const std::string& path);
Bytes fixture(const std::string& name);
void write_bytes(const std::string& path, const Bytes& bytes);
Bytes to_bytes(const std::string& text);

// A fresh empty directory in the system's temporary folder (a short path wherever the
// checkout is), removed at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The directory path, without a trailing separator.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The file's last-write time in seconds since 1970 and the nanoseconds past them (100-ns
// resolution on Windows); false when it cannot be read.
bool file_mtime(const std::string& path, std::int64_t& seconds, std::uint32_t& nanoseconds);

// Every file and directory below root, as sorted '/'-separated relative paths.
std::vector<std::string> list_tree(const std::string& root);

// Builds tar data header by header.
class TarBuilder {
 public:
  struct Options {
    char type = '0';
    std::string link;
    std::string prefix;         // ustar prefix field
    bool base256_size = false;  // size field in GNU base-256 form
    std::int64_t mtime = 0;     // mtime field value; -1 = a blank field
    bool base256_mtime = false;
    std::int64_t size = -1;  // size field value; -1 = data size
    bool break_checksum = false;
  };
  TarBuilder& add(const std::string& name, const std::string& data, const Options& options);
  TarBuilder& add(const std::string& name, const std::string& data) {
    return add(name, data, Options());
  }
  TarBuilder& dir(const std::string& name);
  TarBuilder& pax(const std::string& records);  // an 'x' header
  TarBuilder& raw(const std::string& bytes);
  // The data so far followed by the two-block end marker.
  Bytes finish(int zero_blocks = 2) const;

 private:
  std::string data_;
};

// Wraps data in a single-block .xz stream of uncompressed LZMA2 chunks, with
// knobs to break it in ways that pass the CRCs.
struct StoredXz {
  unsigned check_type = 1;  // 0 none, 1 CRC32
  unsigned char dict_props = 0x16;
  unsigned char first_control = 0x01;
  bool declare_uncompressed = false;
  std::uint64_t declared_uncompressed_adjust = 0;
  std::uint64_t index_count_adjust = 0;
  std::uint64_t index_size_adjust = 0;  // added to the uncompressed size recorded in the index
  Bytes build(const Bytes& payload) const;
};

}  // namespace archive_test
