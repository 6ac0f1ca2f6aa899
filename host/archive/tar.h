// Pull-style tar reader: ustar, GNU long names/links and pax extended
// headers. It only parses; deciding what is safe to write is extract.h's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/archive/source.h"

namespace host::archive {

// True when a 512-byte block carries the ustar magic (POSIX or GNU form).
bool has_ustar_magic(const unsigned char* block, std::size_t size);

// A modification time from the archive: seconds since 1970-01-01 UTC.
struct FileTime {
  bool known = false;  // false when the archive gave none (or none that parses)
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;  // 0..999,999,999, added to seconds
};

struct TarEntry {
  char type = '0';
  std::string name;
  std::string link;
  std::uint64_t size = 0;    // data bytes that follow the header
  std::uint64_t offset = 0;  // of the header within the tar data
  FileTime mtime;
};

// Parses a pax time value: "[-]seconds[.fraction]". False when malformed or out of range.
bool parse_pax_time(const std::string& text, FileTime& time);

class TarReader {
 public:
  enum class Status { Entry, End, Error };

  explicit TarReader(Source& source) : source_(source) {}
  // Moves to the next entry, skipping whatever is left of the current one.
  Status next(TarEntry& entry);
  // Reads data of the current entry; 0 at its end or on failure (error()).
  std::size_t read(unsigned char* buf, std::size_t size);
  const std::string& error() const { return error_; }

 private:
  // Reads one 512-byte block; sets eof when the data ended exactly before it.
  bool read_block(unsigned char* block, bool& eof);
  bool skip(std::uint64_t size);
  bool read_meta(std::uint64_t size, std::string& out);
  bool parse_pax(const std::string& data);
  bool fail(const std::string& message);
  std::size_t read_full(unsigned char* buf, std::size_t size);

  Source& source_;
  std::string error_;
  std::uint64_t offset_ = 0;
  std::uint64_t remaining_ = 0;  // data bytes of the current entry not yet read
  std::uint64_t padding_ = 0;    // bytes up to the next block boundary

  // Extended attributes that apply to the next entry only.
  bool has_pax_path_ = false, has_pax_link_ = false, has_pax_size_ = false;
  FileTime pax_mtime_;
  std::string pax_path_, pax_link_;
  std::uint64_t pax_size_ = 0;
  bool has_long_name_ = false, has_long_link_ = false;
  std::string long_name_, long_link_;
};

}  // namespace host::archive
