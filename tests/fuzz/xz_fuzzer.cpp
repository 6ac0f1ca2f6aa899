// The .xz container decoder fed raw bytes: stream and block headers, filter
// chains, check types, the index, the footer and stream padding. The data is
// read twice, in odd small pieces and in whole buffers; both reads must agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "host/archive/archive.h"
#include "host/archive/source.h"
#include "host/archive/xz.h"

using host::archive::MemorySource;
using host::archive::XzDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemorySource compressed(data, size);
  XzDecoder decoder(compressed);
  std::vector<unsigned char> out;
  static const std::size_t kPieces[] = {1, 7, 512, 4093, 65536};
  unsigned char buf[65536];
  for (std::size_t i = 0;; ++i) {
    const std::size_t want = kPieces[i % (sizeof kPieces / sizeof kPieces[0])];
    const std::size_t n = decoder.read(buf, want);
    FUZZ_CHECK(n <= want);
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
    if (out.size() > fuzz::kMaxOutput) return 0;
  }
  // The end stays the end, and a failure stays a failure.
  FUZZ_CHECK(decoder.read(buf, sizeof buf) == 0);
  FUZZ_CHECK(decoder.failed() == !decoder.error().empty());

  std::vector<unsigned char> whole;
  std::string error;
  const bool ok =
      host::archive::xz_decompress(std::vector<unsigned char>(data, data + size), whole, error);
  FUZZ_CHECK(ok == !decoder.failed());
  FUZZ_CHECK(ok == error.empty());
  if (ok) FUZZ_CHECK(whole == out);
  return 0;
}
