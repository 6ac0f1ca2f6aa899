// The LZMA2 decoder alone: the first byte is the filter's dictionary-size
// property, the rest the LZMA2 chunks (control bytes, dictionary and state
// resets, properties, uncompressed chunks). Decoded twice with different
// output piece sizes; the two runs must produce the same bytes and outcome.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "host/archive/lzma2.h"
#include "host/archive/source.h"

using host::archive::ByteReader;
using host::archive::Lzma2Decoder;
using host::archive::MemorySource;

namespace {

struct Outcome {
  std::vector<unsigned char> out;
  bool finished = false;
  bool failed = false;
  bool capped = false;
};

Outcome decode(std::uint64_t dict_size, const std::uint8_t* data, std::size_t size,
               std::size_t piece) {
  MemorySource source(data, size);
  ByteReader in(source);
  Lzma2Decoder decoder;
  decoder.reset(dict_size);
  Outcome outcome;
  std::vector<unsigned char> buf(piece);
  for (;;) {
    std::string error;
    bool finished = false;
    const std::size_t n = decoder.decode(in, buf.data(), piece, finished, error);
    FUZZ_CHECK(n <= piece);
    FUZZ_CHECK(error.empty() || n == 0);
    outcome.out.insert(outcome.out.end(), buf.begin(), buf.begin() + n);
    if (!error.empty()) {
      outcome.failed = true;
      return outcome;
    }
    if (finished) {
      outcome.finished = true;
      // Once finished, nothing more comes out.
      FUZZ_CHECK(decoder.decode(in, buf.data(), piece, finished, error) == 0 && finished);
      return outcome;
    }
    // Without the end, a full piece is due: the decoder never stalls.
    FUZZ_CHECK(n == piece);
    if (outcome.out.size() > fuzz::kMaxOutput) {
      outcome.capped = true;
      return outcome;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::uint64_t dict_size = 0;
  if (!Lzma2Decoder::dict_size_from_props(data[0], dict_size)) return 0;
  const Outcome small = decode(dict_size, data + 1, size - 1, 333);
  const Outcome large = decode(dict_size, data + 1, size - 1, 65536);
  if (small.capped || large.capped) return 0;
  FUZZ_CHECK(small.failed == large.failed);
  FUZZ_CHECK(small.finished == large.finished);
  // A failure may be noticed after a different amount of output.
  if (!small.failed) FUZZ_CHECK(small.out == large.out);
  return 0;
}
