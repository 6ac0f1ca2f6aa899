#include "scratch_dir.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>

#include "support/handles.h"
#else
#include <unistd.h>

#include <filesystem>
#include <system_error>
#endif

namespace testing_support {
namespace {

#ifdef _WIN32

// Only a real separator counts: "表" and "ソ" end in the byte 0x5C too.
bool ends_in_separator(const std::string& path) {
  bool separator = false;
  for (size_t i = 0; i < path.size(); ++i) {
    separator = path[i] == '\\' || path[i] == '/';
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) ++i;
  }
  return separator;
}

std::string temporary_folder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length > 0 && length <= MAX_PATH) return buffer;
  // No usable temporary folder: beside the test executable.
  const DWORD got = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, got);
  return path.substr(0, path.find_last_of('\\') + 1);
}

void make_directory(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }
unsigned long process_id() { return GetCurrentProcessId(); }
constexpr char kSeparator = '\\';

#else

std::string temporary_folder() {
  std::error_code error;
  const std::string path = std::filesystem::temp_directory_path(error).string();
  return error || path.empty() ? "/tmp/" : path;
}

void make_directory(const std::string& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}
unsigned long process_id() { return static_cast<unsigned long>(getpid()); }
constexpr char kSeparator = '/';

#endif

// Read once, before any test points TMP elsewhere.
const std::string& scratch_root() {
  static const std::string root = [] {
    std::string path = temporary_folder();
    if (path.back() != '\\' && path.back() != '/') path += kSeparator;
    path += std::string("ispell-tests") + kSeparator;
    make_directory(path);
    return path;
  }();
  return root;
}

const std::string& g_scratch_root_at_start = scratch_root();

}  // namespace

ScratchDir::ScratchDir(const std::string& name) {
  static std::atomic<int> counter{0};
  path_ = scratch_root() + name + "-" + std::to_string(process_id()) + "-" +
          std::to_string(counter++) + kSeparator;
  remove_tree(path_);
  make_directory(path_);
}

ScratchDir::~ScratchDir() { remove_tree(path_); }

#ifdef _WIN32

namespace {

// In full: a name Shift-JIS cannot write must be reached as it is.
void remove_tree_wide(std::wstring path) {
  if (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  // Closed before the directory itself is removed.
  if (const orelib::find_handle find{FindFirstFileW((path + L"\\*").c_str(), &entry)}) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") remove_tree_wide(path + L"\\" + name);
    } while (FindNextFileW(find.get(), &entry));
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void remove_tree(const std::string& path) {
  std::string directory = path;
  if (ends_in_separator(directory)) directory.pop_back();
  if (directory.empty()) return;
  const int length = MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  remove_tree_wide(wide);
}

#else

void remove_tree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

#endif

}  // namespace testing_support
