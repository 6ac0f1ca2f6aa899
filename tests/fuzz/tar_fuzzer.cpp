// The tar reader fed raw bytes: ustar and GNU headers, long names and links,
// pax records, base-256 numbers, checksums and end markers. Each entry's name
// also goes through the path checks the unpacker relies on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "host/archive/extract.h"
#include "host/archive/source.h"
#include "host/archive/tar.h"

using namespace host::archive;

namespace {

// What sanitize_path promises: plain names, nothing that climbs or leaves the destination.
void check_safe_parts(const PathParts& parts) {
  for (const std::string& part : parts) {
    FUZZ_CHECK(!part.empty() && part != "." && part != "..");
    FUZZ_CHECK(part.find_first_of("/\\:") == std::string::npos);
    FUZZ_CHECK(part.back() != '.' && part.back() != ' ');
    for (char c : part) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemorySource source(data, size);
  TarReader reader(source);
  std::uint64_t last_offset = 0;
  unsigned char buf[4096];
  for (int count = 0;; ++count) {
    TarEntry entry;
    const TarReader::Status status = reader.next(entry);
    if (status == TarReader::Status::Error) {
      FUZZ_CHECK(!reader.error().empty());
      break;
    }
    FUZZ_CHECK(reader.error().empty());
    if (status == TarReader::Status::End) break;

    // Headers sit on block boundaries, in order, inside the data.
    FUZZ_CHECK(entry.offset % 512 == 0);
    FUZZ_CHECK(count == 0 || entry.offset > last_offset);
    FUZZ_CHECK(entry.offset + 512 <= size);
    last_offset = entry.offset;
    FUZZ_CHECK(!entry.mtime.known || entry.mtime.nanoseconds < 1000000000u);

    PathParts parts;
    std::string reason;
    if (sanitize_path(entry.name, parts, reason)) {
      check_safe_parts(parts);
    } else {
      FUZZ_CHECK(!reason.empty());
    }
    if (symlink_stays_inside(parts, entry.link)) {
      FUZZ_CHECK(!entry.link.empty() && entry.link[0] != '/' && entry.link[0] != '\\');
    }

    // The data comes out in full, or the reader reports why not. Read the odd
    // entry only partly: next() must skip the rest.
    std::uint64_t got = 0;
    const bool read_all = count % 3 != 2;
    for (std::size_t piece = 1 + count % 700;; piece = sizeof buf) {
      const std::size_t n = reader.read(buf, piece);
      FUZZ_CHECK(n <= piece);
      if (n == 0) break;
      got += n;
      if (!read_all) break;
    }
    FUZZ_CHECK(got <= entry.size);
    if (read_all && reader.error().empty()) FUZZ_CHECK(got == entry.size);
    if (!reader.error().empty()) break;
  }
  return 0;
}
