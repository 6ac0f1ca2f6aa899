#include "archive_builder.h"

#include <algorithm>
#include <cstdio>

#include "host/archive/checksum.h"

namespace testing_support {

namespace {

void put_octal(std::string& header, std::size_t offset, std::size_t width, std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llo", static_cast<int>(width - 1),
                static_cast<unsigned long long>(value));
  header.replace(offset, width - 1, text, width - 1);
}

void put_text(std::string& header, std::size_t offset, const std::string& text) {
  header.replace(offset, text.size(), text);
}

void pad_block(std::string& data) { data.append((512 - data.size() % 512) % 512, '\0'); }

}  // namespace

TarBuilder& TarBuilder::add(const std::string& name, const std::string& data,
                            const Options& options) {
  std::string header(512, '\0');
  put_text(header, 0, name.substr(0, 100));
  put_octal(header, 100, 8, options.type == '5' ? 0755 : 0644);
  put_octal(header, 108, 8, 1000);
  put_octal(header, 116, 8, 1000);
  const std::uint64_t size =
      options.size < 0 ? data.size() : static_cast<std::uint64_t>(options.size);
  if (options.base256_size) {
    header[124] = static_cast<char>(0x80);
    for (int i = 0; i < 8; ++i) header[135 - i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  } else {
    put_octal(header, 124, 12, size);
  }
  if (options.base256_mtime) {
    header[136] = static_cast<char>(0x80);
    for (int i = 0; i < 8; ++i) {
      header[147 - i] =
          static_cast<char>((static_cast<std::uint64_t>(options.mtime) >> (8 * i)) & 0xFF);
    }
  } else if (options.mtime >= 0) {
    put_octal(header, 136, 12, static_cast<std::uint64_t>(options.mtime));
  }
  header[156] = options.type;
  put_text(header, 157, options.link.substr(0, 100));
  header.replace(257, 8,
                 std::string("ustar\0"
                             "00",
                             8));
  put_text(header, 345, options.prefix.substr(0, 155));
  header.replace(148, 8, 8, ' ');
  unsigned sum = 0;
  for (char c : header) sum += static_cast<unsigned char>(c);
  if (options.break_checksum) ++sum;
  put_octal(header, 148, 7, sum);
  header[155] = ' ';
  data_ += header;
  data_ += data;
  pad_block(data_);
  return *this;
}

TarBuilder& TarBuilder::dir(const std::string& name, std::int64_t mtime) {
  Options options;
  options.type = '5';
  options.mtime = mtime;
  return add(name, "", options);
}

TarBuilder& TarBuilder::pax(const std::string& records) {
  Options options;
  options.type = 'x';
  return add("PaxHeaders/entry", records, options);
}

TarBuilder& TarBuilder::raw(const std::string& bytes) {
  data_ += bytes;
  return *this;
}

Bytes TarBuilder::finish(int zero_blocks) const {
  std::string all = data_ + std::string(512 * static_cast<std::size_t>(zero_blocks), '\0');
  return to_bytes(all);
}

namespace {

void put_varint(Bytes& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<unsigned char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<unsigned char>(value));
}

void put_le32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint32_t crc_of(const Bytes& bytes, std::size_t from = 0) {
  return host::archive::crc32_update(0, bytes.data() + from, bytes.size() - from);
}

}  // namespace

Bytes StoredXz::build(const Bytes& payload) const {
  const unsigned char flags[2] = {0, static_cast<unsigned char>(check_type)};
  Bytes out = {0xFD, '7', 'z', 'X', 'Z', 0, flags[0], flags[1]};
  put_le32(out, host::archive::crc32_update(0, flags, 2));

  Bytes header = {0, static_cast<unsigned char>(declare_uncompressed ? 0x80 : 0x00)};
  if (declare_uncompressed) put_varint(header, payload.size() + declared_uncompressed_adjust);
  header.insert(header.end(), {0x21, 0x01, dict_props});
  while ((header.size() + 4) % 4 != 0) header.push_back(0);
  header[0] = static_cast<unsigned char>((header.size() + 4) / 4 - 1);
  put_le32(header, crc_of(header));
  out.insert(out.end(), header.begin(), header.end());

  Bytes data;
  std::size_t pos = 0;
  do {
    const std::size_t n = std::min<std::size_t>(payload.size() - pos, 65536);
    if (n == 0) break;
    data.push_back(pos == 0 ? first_control : 0x02);
    data.push_back(static_cast<unsigned char>((n - 1) >> 8));
    data.push_back(static_cast<unsigned char>(n - 1));
    data.insert(data.end(), payload.begin() + static_cast<std::ptrdiff_t>(pos),
                payload.begin() + static_cast<std::ptrdiff_t>(pos + n));
    pos += n;
  } while (pos < payload.size());
  data.push_back(0x00);
  const std::size_t compressed = data.size();
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), (4 - compressed % 4) % 4, 0);
  const std::size_t check_size = check_type == 1 ? 4 : 0;
  if (check_type == 1)
    put_le32(out, host::archive::crc32_update(0, payload.data(), payload.size()));

  Bytes index = {0};
  put_varint(index, 1 + index_count_adjust);
  put_varint(index, header.size() + compressed + check_size);
  put_varint(index, payload.size() + index_size_adjust);
  while (index.size() % 4 != 0) index.push_back(0);
  put_le32(index, crc_of(index));
  out.insert(out.end(), index.begin(), index.end());

  Bytes footer;
  const unsigned char backward[6] = {static_cast<unsigned char>((index.size() / 4 - 1) & 0xFF),
                                     static_cast<unsigned char>((index.size() / 4 - 1) >> 8),
                                     0,
                                     0,
                                     flags[0],
                                     flags[1]};
  put_le32(footer, host::archive::crc32_update(0, backward, 6));
  footer.insert(footer.end(), backward, backward + 6);
  footer.insert(footer.end(), {'Y', 'Z'});
  out.insert(out.end(), footer.begin(), footer.end());
  return out;
}

}  // namespace testing_support
