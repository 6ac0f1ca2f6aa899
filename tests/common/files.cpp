#include "files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "support/handles.h"
#else
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace testing_support {
namespace fs = std::filesystem;

Bytes to_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void write_file(const std::string& path, const Bytes& bytes) {
  write_file(path, std::string(bytes.begin(), bytes.end()));
}

namespace {

enum class Kind { missing, file, directory };

Kind kind_of(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::directory : Kind::file;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Kind::missing;
  return S_ISDIR(info.st_mode) ? Kind::directory : Kind::file;
#endif
}

const char* describe(Kind kind) {
  switch (kind) {
    case Kind::missing:
      return "does not exist";
    case Kind::file:
      return "is a file";
    case Kind::directory:
      return "is a directory";
  }
  return "";
}

}  // namespace

::testing::AssertionResult file_exists(const std::string& path) {
  const Kind kind = kind_of(path);
  auto result =
      kind == Kind::missing ? ::testing::AssertionFailure() : ::testing::AssertionSuccess();
  return result << path << " " << describe(kind);
}

::testing::AssertionResult is_directory(const std::string& path) {
  const Kind kind = kind_of(path);
  auto result =
      kind == Kind::directory ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
  return result << path << " " << describe(kind);
}

::testing::AssertionResult same_contents(const std::string& path, const std::string& expected) {
  if (!file_exists(path)) return ::testing::AssertionFailure() << path << " does not exist";
  if (!file_exists(expected)) return ::testing::AssertionFailure() << expected << " does not exist";
  const std::string got = read_file(path);
  const std::string want = read_file(expected);
  if (got == want)
    return ::testing::AssertionSuccess() << path << " holds the bytes of " << expected;
  const auto first = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return ::testing::AssertionFailure()
         << path << " (" << got.size() << " bytes) differs from " << expected << " (" << want.size()
         << " bytes) from byte " << (first.first - got.begin()) << " on";
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

::testing::AssertionResult file_mtime(const std::string& path, std::int64_t& seconds,
                                      std::uint32_t& nanoseconds) {
#ifdef _WIN32
  const orelib::file_handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return ::testing::AssertionFailure() << path << " cannot be opened, error " << GetLastError();
  FILETIME written;
  const BOOL ok = GetFileTime(file.get(), nullptr, nullptr, &written);
  const DWORD error = GetLastError();
  if (!ok) return ::testing::AssertionFailure() << path << ": GetFileTime failed, error " << error;
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  const std::int64_t since_1601 = static_cast<std::int64_t>(ticks / 10000000);
  seconds = since_1601 - 11644473600LL;
  nanoseconds = static_cast<std::uint32_t>(ticks % 10000000) * 100;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0)
    return ::testing::AssertionFailure() << path << " cannot be read: " << std::strerror(errno);
  seconds = info.st_mtim.tv_sec;
  nanoseconds = static_cast<std::uint32_t>(info.st_mtim.tv_nsec);
#endif
  return ::testing::AssertionSuccess()
         << path << " was last written at " << seconds << "." << nanoseconds;
}

}  // namespace testing_support
