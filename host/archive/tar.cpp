#include "host/archive/tar.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace host::archive {
namespace {

constexpr std::size_t kBlock = 512;
// Extended headers are held in memory; real ones are a few hundred bytes.
constexpr std::uint64_t kMaxMetaSize = 1 << 20;
constexpr std::uint64_t kMaxSize = 0x7FFFFFFFFFFFFFFFull;

std::string field(const unsigned char* p, std::size_t len) {
  const void* nul = std::memchr(p, 0, len);
  return std::string(reinterpret_cast<const char*>(p),
                     nul ? static_cast<const unsigned char*>(nul) - p : len);
}

// Numeric header field: octal text, or base-256 when the top bit of the
// first byte is set (GNU form for large values).
bool parse_number(const unsigned char* p, std::size_t len, std::uint64_t& value) {
  value = 0;
  if (p[0] & 0x80) {
    if (p[0] & 0x40) return false;  // negative
    value = p[0] & 0x3Fu;
    for (std::size_t i = 1; i < len; ++i) {
      if (value > (kMaxSize >> 8)) return false;
      value = (value << 8) | p[i];
    }
    return true;
  }
  std::size_t i = 0;
  while (i < len && p[i] == ' ') ++i;
  for (; i < len && p[i] >= '0' && p[i] <= '7'; ++i) {
    if (value > (kMaxSize >> 3)) return false;
    value = (value << 3) | static_cast<unsigned>(p[i] - '0');
  }
  for (; i < len; ++i) {
    if (p[i] != ' ' && p[i] != 0) return false;
  }
  return true;
}

// The header's mtime field; unknown when blank or malformed.
FileTime header_mtime(const unsigned char* block) {
  FileTime time;
  const unsigned char* field = block + 136;
  const bool blank =
      std::all_of(field, field + 12, [](unsigned char c) { return c == 0 || c == ' '; });
  std::uint64_t seconds = 0;
  if (!blank && parse_number(field, 12, seconds)) {
    time.known = true;
    time.seconds = static_cast<std::int64_t>(seconds);  // parse_number stays below 2^63
  }
  return time;
}

bool checksum_ok(const unsigned char* block) {
  std::uint64_t stored = 0;
  if (!parse_number(block + 148, 8, stored)) return false;
  unsigned long unsigned_sum = 0;
  long signed_sum = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const unsigned char c = (i >= 148 && i < 156) ? ' ' : block[i];
    unsigned_sum += c;
    signed_sum += static_cast<signed char>(c);
  }
  // Some old writers summed signed chars; accept either.
  return stored == unsigned_sum || static_cast<long>(stored) == signed_sum;
}

bool is_zero_block(const unsigned char* block) {
  return std::all_of(block, block + kBlock, [](unsigned char c) { return c == 0; });
}

std::string at_offset(const char* what, std::uint64_t offset) {
  char text[128];
  std::snprintf(text, sizeof text, "%s at offset %llu", what,
                static_cast<unsigned long long>(offset));
  return text;
}

}  // namespace

bool has_ustar_magic(const unsigned char* block, std::size_t size) {
  return size >= kBlock && std::memcmp(block + 257, "ustar", 5) == 0 &&
         (block[262] == 0 || block[262] == ' ');
}

bool parse_pax_time(const std::string& text, FileTime& time) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  const std::size_t digits_begin = i;
  std::int64_t seconds = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (seconds > (INT64_MAX - 9) / 10) return false;
    seconds = seconds * 10 + (text[i] - '0');
  }
  if (i == digits_begin) return false;
  std::uint32_t nanoseconds = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    std::uint32_t scale = 100000000;
    const std::size_t fraction_begin = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      nanoseconds += static_cast<std::uint32_t>(text[i] - '0') * scale;  // digits past 9 drop
      scale /= 10;
    }
    if (i == fraction_begin) return false;
  }
  if (i != text.size()) return false;
  if (negative) {
    // -1.25 is 1.25 s before the epoch: seconds -2 plus 0.75 s.
    seconds = -seconds;
    if (nanoseconds > 0) {
      seconds -= 1;
      nanoseconds = 1000000000u - nanoseconds;
    }
  }
  time.known = true;
  time.seconds = seconds;
  time.nanoseconds = nanoseconds;
  return true;
}

bool TarReader::fail(const std::string& message) {
  if (error_.empty()) error_ = source_.failed() ? source_.error() : message;
  return false;
}

std::size_t TarReader::read_full(unsigned char* buf, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = source_.read(buf + got, size - got);
    if (n == 0) break;
    got += n;
  }
  offset_ += got;
  return got;
}

bool TarReader::read_block(unsigned char* block, bool& eof) {
  const std::size_t got = read_full(block, kBlock);
  eof = got == 0 && !source_.failed();
  if (got == kBlock) return true;
  if (!eof) fail(at_offset("truncated tar header", offset_ - got));
  return false;
}

bool TarReader::skip(std::uint64_t size) {
  unsigned char buf[8192];
  while (size > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof buf));
    if (read_full(buf, want) != want) return fail(at_offset("truncated tar data", offset_));
    size -= want;
  }
  return true;
}

bool TarReader::read_meta(std::uint64_t size, std::string& out) {
  if (size > kMaxMetaSize) return fail(at_offset("oversized tar extended header", offset_));
  out.resize(static_cast<std::size_t>(size));
  if (size > 0 && read_full(reinterpret_cast<unsigned char*>(&out[0]), out.size()) != out.size()) {
    return fail(at_offset("truncated tar extended header", offset_));
  }
  return skip((kBlock - size % kBlock) % kBlock);
}

// Records are "<length> <key>=<value>\n", the length counting the whole record.
bool TarReader::parse_pax(const std::string& data) {
  std::size_t pos = 0;
  while (pos < data.size() && data[pos] != '\0') {
    std::size_t len = 0, i = pos;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9' && len < data.size()) {
      len = len * 10 + static_cast<std::size_t>(data[i] - '0');
      ++i;
    }
    if (i == pos || i >= data.size() || data[i] != ' ' || len > data.size() - pos ||
        len < i - pos + 3 || data[pos + len - 1] != '\n') {
      return fail(at_offset("malformed pax extended header", offset_));
    }
    const std::string record = data.substr(i + 1, pos + len - 1 - (i + 1));
    const std::size_t eq = record.find('=');
    if (eq == std::string::npos) return fail(at_offset("malformed pax extended header", offset_));
    const std::string key = record.substr(0, eq), value = record.substr(eq + 1);
    if (key == "path") {
      has_pax_path_ = !value.empty();
      pax_path_ = value;
    } else if (key == "linkpath") {
      has_pax_link_ = !value.empty();
      pax_link_ = value;
    } else if (key == "size") {
      std::uint64_t size = 0;
      if (value.empty() || value.size() > 19 ||
          value.find_first_not_of("0123456789") != std::string::npos) {
        return fail(at_offset("bad size in pax extended header", offset_));
      }
      for (char c : value) size = size * 10 + static_cast<unsigned>(c - '0');
      if (size > kMaxSize) return fail(at_offset("bad size in pax extended header", offset_));
      has_pax_size_ = true;
      pax_size_ = size;
    } else if (key == "mtime") {
      // An unreadable time is not worth refusing the archive for: the header's field stands.
      FileTime time;
      if (parse_pax_time(value, time)) pax_mtime_ = time;
    }
    pos += len;
  }
  return true;
}

TarReader::Status TarReader::next(TarEntry& entry) {
  if (!error_.empty()) return Status::Error;
  if (!skip(remaining_ + padding_)) return Status::Error;
  remaining_ = padding_ = 0;

  unsigned char block[kBlock];
  for (;;) {
    const std::uint64_t header_offset = offset_;
    bool eof = false;
    if (!read_block(block, eof)) {
      if (eof) fail("tar archive ends without an end-of-archive marker");
      return Status::Error;
    }
    if (is_zero_block(block)) {
      // The end marker is two zero blocks; a single one right before the
      // end of the data is accepted too.
      if (!read_block(block, eof)) return eof ? Status::End : Status::Error;
      if (is_zero_block(block)) return Status::End;
      fail(at_offset("unexpected zero block in tar archive", header_offset));
      return Status::Error;
    }
    if (!checksum_ok(block)) {
      fail(at_offset("tar header checksum mismatch", header_offset));
      return Status::Error;
    }
    std::uint64_t size = 0;
    if (!parse_number(block + 124, 12, size)) {
      fail(at_offset("bad size field in tar header", header_offset));
      return Status::Error;
    }
    const char type = static_cast<char>(block[156]);
    if (type == 'L' || type == 'K') {
      std::string text;
      if (!read_meta(size, text)) return Status::Error;
      text = field(reinterpret_cast<const unsigned char*>(text.data()), text.size());
      (type == 'L' ? long_name_ : long_link_) = text;
      (type == 'L' ? has_long_name_ : has_long_link_) = true;
      continue;
    }
    if (type == 'x') {
      std::string text;
      if (!read_meta(size, text) || !parse_pax(text)) return Status::Error;
      continue;
    }
    if (type == 'g') {
      // Global attributes carry nothing this unpacker uses.
      if (!skip(size + (kBlock - size % kBlock) % kBlock)) return Status::Error;
      continue;
    }

    entry = TarEntry();
    entry.type = type;
    entry.offset = header_offset;
    if (has_pax_path_) {
      entry.name = pax_path_;
    } else if (has_long_name_) {
      entry.name = long_name_;
    } else {
      entry.name = field(block, 100);
      const bool posix = std::memcmp(block + 257,
                                     "ustar\0"
                                     "00",
                                     8) == 0;
      const std::string prefix = posix ? field(block + 345, 155) : std::string();
      if (!prefix.empty()) entry.name = prefix + "/" + entry.name;
    }
    entry.link = has_pax_link_ ? pax_link_ : has_long_link_ ? long_link_ : field(block + 157, 100);
    if (has_pax_size_) size = pax_size_;
    // Links, devices, FIFOs and directories carry no data whatever the size says.
    if (type >= '1' && type <= '6') size = 0;
    entry.size = size;
    entry.mtime = pax_mtime_.known ? pax_mtime_ : header_mtime(block);
    remaining_ = size;
    padding_ = (kBlock - size % kBlock) % kBlock;
    has_pax_path_ = has_pax_link_ = has_pax_size_ = has_long_name_ = has_long_link_ = false;
    pax_mtime_ = FileTime();
    return Status::Entry;
  }
}

std::size_t TarReader::read(unsigned char* buf, std::size_t size) {
  if (!error_.empty() || remaining_ == 0) return 0;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
  const std::size_t got = read_full(buf, want);
  remaining_ -= got;
  if (got < want) fail(at_offset("truncated tar data", offset_));
  return got;
}

}  // namespace host::archive
