#include "host/archive/source.h"

#include <cstring>

namespace host::archive {

std::size_t MemorySource::read(unsigned char* buf, std::size_t size) {
  const std::size_t left = size_ - pos_;
  const std::size_t take = size < left ? size : left;
  if (take > 0) std::memcpy(buf, data_ + pos_, take);
  pos_ += take;
  return take;
}

bool ByteReader::refill() {
  if (begin_ < end_) return true;
  begin_ = 0;
  end_ = source_.read(buffer_.data(), buffer_.size());
  return end_ > 0;
}

std::size_t ByteReader::read_some(unsigned char* buf, std::size_t size) {
  if (size == 0 || !refill()) return 0;
  const std::size_t take = size < end_ - begin_ ? size : end_ - begin_;
  std::memcpy(buf, buffer_.data() + begin_, take);
  begin_ += take;
  position_ += take;
  return take;
}

bool ByteReader::read_exact(unsigned char* buf, std::size_t size) {
  while (size > 0) {
    const std::size_t got = read_some(buf, size);
    if (got == 0) return false;
    buf += got;
    size -= got;
  }
  return true;
}

bool ByteReader::at_end() { return !refill(); }

}  // namespace host::archive
