// Integrity checks used by the xz container: CRC32, CRC64 and SHA-256.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host::archive {

// Incremental CRC32 (reflected, polynomial 0xEDB88320). Start with 0.
std::uint32_t crc32_update(std::uint32_t crc, const unsigned char* data, std::size_t size);

// Incremental CRC64 (reflected, ECMA-182 polynomial). Start with 0.
std::uint64_t crc64_update(std::uint64_t crc, const unsigned char* data, std::size_t size);

class Sha256 {
 public:
  Sha256();
  void update(const unsigned char* data, std::size_t size);
  // Writes the 32-byte digest; the object must not be updated afterwards.
  void finish(unsigned char digest[32]);

 private:
  void compress(const unsigned char block[64]);

  std::uint32_t state_[8];
  unsigned char buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t total_ = 0;
};

}  // namespace host::archive
