#pragma once
// Hand-made tar and xz data for the tests, byte by byte, including what the real tools refuse
// to produce. Portable: the native build of the host's archive suites uses it too.

#include <cstdint>
#include <string>

#include "files.h"

namespace testing_support {

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
  TarBuilder& dir(const std::string& name, std::int64_t mtime = 0);
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

}  // namespace testing_support
