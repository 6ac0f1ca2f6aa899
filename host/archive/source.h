// Byte sources the decoders pull from: a file, a memory buffer, or another
// decoder. Reading never throws for bad data; failures are reported through
// failed()/error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host::archive {

class Source {
 public:
  virtual ~Source() = default;
  // Reads up to size bytes; returns 0 at end of data or on failure.
  virtual std::size_t read(unsigned char* buf, std::size_t size) = 0;
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

 protected:
  // Keeps the first failure: later ones are usually consequences of it.
  void fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }

 private:
  std::string error_;
};

class MemorySource : public Source {
 public:
  MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t read(unsigned char* buf, std::size_t size) override;

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Buffered reader over a Source that counts the bytes consumed, which the
// xz container needs for its size fields.
class ByteReader {
 public:
  explicit ByteReader(Source& source) : source_(source), buffer_(64 * 1024) {}
  // Reads exactly size bytes; false on a short read (truncation or failure).
  bool read_exact(unsigned char* buf, std::size_t size);
  // Reads up to size bytes; 0 at end of data.
  std::size_t read_some(unsigned char* buf, std::size_t size);
  bool get(unsigned char& byte) { return read_exact(&byte, 1); }
  // True when no byte is left; may block to refill.
  bool at_end();
  std::uint64_t position() const { return position_; }
  Source& source() { return source_; }

 private:
  bool refill();

  Source& source_;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace host::archive
