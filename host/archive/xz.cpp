#include "host/archive/xz.h"

#include <cstdio>
#include <cstring>

#include "host/archive/archive.h"

namespace host::archive {
namespace {

const unsigned char kHeaderMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr std::uint64_t kMaxVarint = 0x7FFFFFFFFFFFFFFFull;

std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

std::size_t check_size_for(unsigned type) {
  if (type == 0) return 0;
  static const std::size_t sizes[] = {4, 8, 16, 32, 64};
  return sizes[(type - 1) / 3];
}

// Multibyte integer from a block header; rejects over-long and non-minimal forms.
bool parse_varint(const unsigned char* buf, std::size_t limit, std::size_t& pos,
                  std::uint64_t& value) {
  value = 0;
  for (int i = 0; i < 9; ++i) {
    if (pos >= limit) return false;
    const unsigned char b = buf[pos++];
    value |= std::uint64_t{b & 0x7Fu} << (7 * i);
    if ((b & 0x80) == 0) return !(b == 0 && i > 0);
  }
  return false;
}

std::string filter_name(std::uint64_t id) {
  switch (id) {
    case 0x04:
      return "x86 BCJ";
    case 0x05:
      return "PowerPC BCJ";
    case 0x06:
      return "IA-64 BCJ";
    case 0x07:
      return "ARM BCJ";
    case 0x08:
      return "ARM-Thumb BCJ";
    case 0x09:
      return "SPARC BCJ";
    case 0x0A:
      return "ARM64 BCJ";
    case 0x0B:
      return "RISC-V BCJ";
    default:
      return "";
  }
}

}  // namespace

bool has_xz_magic(const unsigned char* data, std::size_t size) {
  return size >= sizeof kHeaderMagic && std::memcmp(data, kHeaderMagic, sizeof kHeaderMagic) == 0;
}

void XzDecoder::Check::reset(unsigned check_type) {
  type = check_type;
  crc32 = 0;
  crc64 = 0;
  sha = Sha256();
}

void XzDecoder::Check::update(const unsigned char* data, std::size_t size) {
  if (type == 1) crc32 = crc32_update(crc32, data, size);
  if (type == 4) crc64 = crc64_update(crc64, data, size);
  if (type == 10) sha.update(data, size);
}

std::size_t XzDecoder::Check::finish(unsigned char out[32]) {
  if (type == 1) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(crc32 >> (8 * i));
    return 4;
  }
  if (type == 4) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(crc64 >> (8 * i));
    return 8;
  }
  if (type == 10) {
    sha.finish(out);
    return 32;
  }
  return 0;
}

void XzDecoder::Delta::decode(unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char value =
        static_cast<unsigned char>(data[i] + history[static_cast<unsigned char>(count - distance)]);
    history[count++] = value;
    data[i] = value;
  }
}

XzDecoder::XzDecoder(Source& compressed) : in_(compressed) {}

bool XzDecoder::truncated(const char* where) {
  if (in_.source().failed()) {
    fail(in_.source().error());
  } else {
    fail(std::string("truncated xz data (") + where + ")");
  }
  return false;
}

bool XzDecoder::read_stream_header(const unsigned char* header) {
  if (std::memcmp(header, kHeaderMagic, sizeof kHeaderMagic) != 0) {
    fail("not an xz stream (bad magic bytes)");
    return false;
  }
  if (crc32_update(0, header + 6, 2) != le32(header + 8)) {
    fail("corrupt xz stream header (CRC32 mismatch)");
    return false;
  }
  if (header[6] != 0 || (header[7] & 0xF0) != 0) {
    fail("unsupported xz stream flags");
    return false;
  }
  const unsigned type = header[7] & 0x0F;
  if (type != 0 && type != 1 && type != 4 && type != 10) {
    char text[64];
    std::snprintf(text, sizeof text, "unsupported xz integrity check type %u", type);
    fail(text);
    return false;
  }
  stream_flags_[0] = header[6];
  stream_flags_[1] = header[7];
  check_size_ = check_size_for(type);
  check_.type = type;
  records_.clear();
  return true;
}

bool XzDecoder::read_block_header(unsigned char size_byte) {
  unsigned char h[1024];
  const std::size_t size = (std::size_t{size_byte} + 1) * 4;
  h[0] = size_byte;
  if (!in_.read_exact(h + 1, size - 1)) return truncated("block header");
  const std::size_t limit = size - 4;
  if (crc32_update(0, h, limit) != le32(h + limit)) {
    fail("corrupt xz block header (CRC32 mismatch)");
    return false;
  }
  const unsigned flags = h[1];
  if (flags & 0x3C) {
    fail("unsupported xz block flags");
    return false;
  }
  std::size_t pos = 2;
  has_compressed_ = (flags & 0x40) != 0;
  has_uncompressed_ = (flags & 0x80) != 0;
  if (has_compressed_ &&
      (!parse_varint(h, limit, pos, declared_compressed_) || declared_compressed_ == 0)) {
    fail("corrupt xz block header (compressed size)");
    return false;
  }
  if (has_uncompressed_ && !parse_varint(h, limit, pos, declared_uncompressed_)) {
    fail("corrupt xz block header (uncompressed size)");
    return false;
  }
  deltas_.clear();
  const unsigned filters = (flags & 3) + 1;
  bool have_lzma2 = false;
  std::uint64_t dict_size = 0;
  for (unsigned i = 0; i < filters; ++i) {
    std::uint64_t id = 0, props_size = 0;
    if (!parse_varint(h, limit, pos, id) || !parse_varint(h, limit, pos, props_size) ||
        props_size > limit - pos) {
      fail("corrupt xz block header (filter flags)");
      return false;
    }
    const unsigned char* props = h + pos;
    pos += static_cast<std::size_t>(props_size);
    const bool last = i + 1 == filters;
    if (id == 0x21 && last) {
      if (props_size != 1 || !Lzma2Decoder::dict_size_from_props(props[0], dict_size)) {
        fail("corrupt xz block header (LZMA2 properties)");
        return false;
      }
      have_lzma2 = true;
    } else if (id == 0x03 && !last) {
      if (props_size != 1) {
        fail("corrupt xz block header (delta properties)");
        return false;
      }
      Delta delta;
      delta.distance = props[0] + 1u;
      deltas_.push_back(delta);
    } else {
      const std::string name = filter_name(id);
      char text[96];
      std::snprintf(text, sizeof text, "unsupported filter %s%s(0x%02llX)", name.c_str(),
                    name.empty() ? "" : " ", static_cast<unsigned long long>(id));
      fail(id == 0x21 || id == 0x03 ? "unsupported filter chain" : text);
      return false;
    }
  }
  if (!have_lzma2) {
    fail("unsupported filter chain");
    return false;
  }
  for (; pos < limit; ++pos) {
    if (h[pos] != 0) {
      fail("corrupt xz block header (non-zero padding)");
      return false;
    }
  }
  header_size_ = size;
  data_start_ = in_.position();
  uncompressed_ = 0;
  check_.reset(check_.type);
  lzma2_.reset(dict_size);
  return true;
}

bool XzDecoder::finish_block() {
  const std::uint64_t compressed = in_.position() - data_start_;
  if (has_compressed_ && compressed != declared_compressed_) {
    fail("corrupt xz block (compressed size does not match its header)");
    return false;
  }
  if (has_uncompressed_ && uncompressed_ != declared_uncompressed_) {
    fail("corrupt xz block (uncompressed size does not match its header)");
    return false;
  }
  for (std::uint64_t pad = (4 - compressed % 4) % 4; pad > 0; --pad) {
    unsigned char b;
    if (!in_.get(b)) return truncated("block padding");
    if (b != 0) {
      fail("corrupt xz block (non-zero block padding)");
      return false;
    }
  }
  unsigned char expected[32], stored[64];
  const std::size_t n = check_.finish(expected);
  if (!in_.read_exact(stored, check_size_)) return truncated("block check");
  if (n != check_size_ || std::memcmp(expected, stored, n) != 0) {
    static const char* const names[] = {"", "CRC32", "", "", "CRC64",  "",
                                        "", "",      "", "", "SHA-256"};
    fail(std::string("xz data is corrupt (") + names[check_.type] + " mismatch)");
    return false;
  }
  records_.push_back(Record{header_size_ + compressed + check_size_, uncompressed_});
  return true;
}

bool XzDecoder::read_index_varint(std::uint64_t& value, std::uint32_t& crc, std::uint64_t& size) {
  value = 0;
  for (int i = 0; i < 9; ++i) {
    unsigned char b;
    if (!in_.get(b)) return truncated("index");
    crc = crc32_update(crc, &b, 1);
    ++size;
    value |= std::uint64_t{b & 0x7Fu} << (7 * i);
    if ((b & 0x80) == 0) {
      if (b == 0 && i > 0) break;
      return true;
    }
  }
  fail("corrupt xz index (bad integer)");
  return false;
}

bool XzDecoder::read_index() {
  const unsigned char indicator = 0;
  std::uint32_t crc = crc32_update(0, &indicator, 1);
  std::uint64_t size = 1;
  std::uint64_t count = 0;
  if (!read_index_varint(count, crc, size)) return false;
  if (count != records_.size()) {
    fail("corrupt xz index (record count does not match the blocks)");
    return false;
  }
  for (const Record& record : records_) {
    std::uint64_t unpadded = 0, uncompressed = 0;
    if (!read_index_varint(unpadded, crc, size) || !read_index_varint(uncompressed, crc, size)) {
      return false;
    }
    if (unpadded != record.unpadded || uncompressed != record.uncompressed) {
      fail("corrupt xz index (record does not match its block)");
      return false;
    }
  }
  while (size % 4 != 0) {
    unsigned char b;
    if (!in_.get(b)) return truncated("index");
    if (b != 0) {
      fail("corrupt xz index (non-zero padding)");
      return false;
    }
    crc = crc32_update(crc, &b, 1);
    ++size;
  }
  unsigned char stored[4];
  if (!in_.read_exact(stored, 4)) return truncated("index");
  if (le32(stored) != crc) {
    fail("corrupt xz index (CRC32 mismatch)");
    return false;
  }
  size += 4;

  unsigned char footer[12];
  if (!in_.read_exact(footer, 12)) return truncated("stream footer");
  if (footer[10] != 'Y' || footer[11] != 'Z') {
    fail("corrupt xz stream footer (bad magic bytes)");
    return false;
  }
  if (crc32_update(0, footer + 4, 6) != le32(footer + 0)) {
    fail("corrupt xz stream footer (CRC32 mismatch)");
    return false;
  }
  if ((std::uint64_t{le32(footer + 4)} + 1) * 4 != size) {
    fail("corrupt xz stream footer (index size mismatch)");
    return false;
  }
  if (footer[8] != stream_flags_[0] || footer[9] != stream_flags_[1]) {
    fail("corrupt xz stream footer (flags differ from the header)");
    return false;
  }
  return true;
}

bool XzDecoder::skip_stream_padding() {
  for (;;) {
    if (in_.at_end()) {
      if (in_.source().failed()) return truncated("stream padding");
      phase_ = Phase::Done;
      return true;
    }
    // Padding comes in groups of four zero bytes; anything else must be
    // the header of a further stream.
    unsigned char header[12];
    if (!in_.read_exact(header, 4)) return truncated("stream padding");
    if (le32(header) == 0) continue;
    if (!in_.read_exact(header + 4, 8)) return truncated("stream header");
    if (!read_stream_header(header)) return false;
    phase_ = Phase::BlockOrIndex;
    return true;
  }
}

std::size_t XzDecoder::read(unsigned char* buf, std::size_t size) {
  std::size_t produced = 0;
  while (produced < size && !failed()) {
    switch (phase_) {
      case Phase::StreamHeader: {
        unsigned char header[12];
        if (!in_.read_exact(header, sizeof header)) {
          truncated("stream header");
          break;
        }
        if (read_stream_header(header)) phase_ = Phase::BlockOrIndex;
        break;
      }
      case Phase::BlockOrIndex: {
        unsigned char first;
        if (!in_.get(first)) {
          truncated("block header");
        } else if (first == 0) {
          if (read_index()) phase_ = Phase::AfterStream;
        } else if (read_block_header(first)) {
          phase_ = Phase::BlockData;
        }
        break;
      }
      case Phase::BlockData: {
        bool finished = false;
        std::string error;
        const std::size_t n = lzma2_.decode(in_, buf + produced, size - produced, finished, error);
        if (!error.empty()) {
          if (in_.source().failed()) error = in_.source().error();
          fail(error);
          break;
        }
        for (auto it = deltas_.rbegin(); it != deltas_.rend(); ++it) it->decode(buf + produced, n);
        check_.update(buf + produced, n);
        uncompressed_ += n;
        produced += n;
        if (has_uncompressed_ && uncompressed_ > declared_uncompressed_) {
          fail("corrupt xz block (more data than its header declares)");
        } else if (has_compressed_ && in_.position() - data_start_ > declared_compressed_) {
          fail("corrupt xz block (longer than its header declares)");
        } else if (finished && finish_block()) {
          phase_ = Phase::BlockOrIndex;
        }
        break;
      }
      case Phase::AfterStream:
        skip_stream_padding();
        break;
      case Phase::Done:
        return produced;
    }
  }
  return failed() ? 0 : produced;
}

bool xz_decompress(const std::vector<unsigned char>& in, std::vector<unsigned char>& out,
                   std::string& error) {
  out.clear();
  error.clear();
  try {
    MemorySource source(in.data(), in.size());
    XzDecoder decoder(source);
    unsigned char buf[64 * 1024];
    for (;;) {
      const std::size_t n = decoder.read(buf, sizeof buf);
      if (n == 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    if (decoder.failed()) {
      error = decoder.error();
      out.clear();
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    error = "out of memory while decompressing";
  } catch (const std::exception& e) {
    error = std::string("decompression failed: ") + e.what();
  }
  out.clear();
  return false;
}

}  // namespace host::archive
