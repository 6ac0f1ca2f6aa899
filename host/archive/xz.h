// Streaming reader for the .xz container: verifies headers, block checks,
// the index and the footer of every stream while handing out the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/archive/checksum.h"
#include "host/archive/lzma2.h"
#include "host/archive/source.h"

namespace host::archive {

// True when data starts with the xz stream magic.
bool has_xz_magic(const unsigned char* data, std::size_t size);

class XzDecoder : public Source {
 public:
  explicit XzDecoder(Source& compressed);
  // Returns 0 at the clean end of the last stream, or on failure (failed()).
  std::size_t read(unsigned char* buf, std::size_t size) override;

 private:
  enum class Phase { StreamHeader, BlockOrIndex, BlockData, AfterStream, Done };

  struct Check {
    unsigned type = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t crc64 = 0;
    Sha256 sha;
    void reset(unsigned check_type);
    void update(const unsigned char* data, std::size_t size);
    // Writes the stored form of the check; returns its size.
    std::size_t finish(unsigned char out[32]);
  };

  struct Delta {
    unsigned distance = 1;
    unsigned char history[256] = {};
    unsigned char count = 0;
    void decode(unsigned char* data, std::size_t size);
  };

  struct Record {
    std::uint64_t unpadded;
    std::uint64_t uncompressed;
  };

  bool read_stream_header(const unsigned char* header);
  bool read_block_header(unsigned char size_byte);
  bool finish_block();
  bool read_index();
  bool skip_stream_padding();
  bool truncated(const char* where);
  bool read_index_varint(std::uint64_t& value, std::uint32_t& crc, std::uint64_t& size);

  ByteReader in_;
  Phase phase_ = Phase::StreamHeader;
  Lzma2Decoder lzma2_;
  Check check_;
  std::vector<Delta> deltas_;  // in filter-chain order
  std::vector<Record> records_;
  unsigned char stream_flags_[2] = {0, 0};
  std::size_t check_size_ = 0;

  // Current block.
  std::uint64_t header_size_ = 0;
  std::uint64_t data_start_ = 0;
  std::uint64_t declared_compressed_ = 0;
  std::uint64_t declared_uncompressed_ = 0;
  bool has_compressed_ = false;
  bool has_uncompressed_ = false;
  std::uint64_t uncompressed_ = 0;
};

}  // namespace host::archive
