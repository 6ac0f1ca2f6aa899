#include "archive_test_util.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/archive/checksum.h"

#ifdef _WIN32
#include <windows.h>

#include "host/plugin_loader.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive_test {
namespace fs = std::filesystem;

std::string fixture_dir() {
#ifdef _WIN32
  return host::executable_directory() + "archive-fixtures\\";
#else
  return ARCHIVE_FIXTURE_DIR "/";
#endif
}

namespace {

// The system's temporary folder: a short path wherever the checkout is, so that the deep
// names the tests unpack stay within the platform's path limit. Read once, at start-up.
std::string scratch_root() {
  static const std::string root = [] {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    std::string path = length == 0 || length > MAX_PATH ? fixture_dir() : std::string(buffer);
#else
    std::error_code error;
    std::string path = fs::temp_directory_path(error).string();
    if (error || path.empty()) path = fixture_dir();
#endif
    if (path.back() != '/' && path.back() != '\\') path += '/';
    return path;
  }();
  return root;
}

const std::string g_scratch_root_at_start = scratch_root();

}  // namespace

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes fixture(const std::string& name) { return read_bytes(fixture_dir() + name); }

void write_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes to_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TempDir::TempDir() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  path_ = scratch_root() + "archive-" + std::to_string(pid) + "-" + std::to_string(counter++);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

bool file_mtime(const std::string& path, std::int64_t& seconds, std::uint32_t& nanoseconds) {
#ifdef _WIN32
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  const BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  if (!ok) return false;
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  const std::int64_t since_1601 = static_cast<std::int64_t>(ticks / 10000000);
  seconds = since_1601 - 11644473600LL;
  nanoseconds = static_cast<std::uint32_t>(ticks % 10000000) * 100;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  seconds = info.st_mtim.tv_sec;
  nanoseconds = static_cast<std::uint32_t>(info.st_mtim.tv_nsec);
#endif
  return true;
}

std::vector<std::string> list_tree(const std::string& root) {
  std::vector<std::string> paths;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    paths.push_back(fs::relative(it->path(), root).generic_string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

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

TarBuilder& TarBuilder::dir(const std::string& name) {
  Options options;
  options.type = '5';
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

}  // namespace archive_test
