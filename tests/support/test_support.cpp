#include "test_support.h"

#include <atomic>
#include <memory>
#include <fstream>
#include <sstream>
#include <vector>

#include "config/setting.h"
#include "host/plugin_loader.h"

namespace testing_support {

std::string plugin_path() { return host::executable_directory() + "ispell.dll"; }

namespace {

// Scratch trees live in the system's temporary folder, whose path stays short wherever the
// checkout is: the trees the tests build must not meet the 260-character path limit because
// the build tree is deep. Read once, before any test points TMP elsewhere.
const std::string& scratch_root() {
  static const std::string root = [] {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    std::string path =
        length == 0 || length > MAX_PATH ? host::executable_directory() : std::string(buffer);
    if (path.back() != '\\') path += '\\';
    path += "ispell-tests\\";
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }();
  return root;
}

const std::string& g_scratch_root_at_start = scratch_root();

}  // namespace

ScratchDir::ScratchDir(const std::string& name) {
  static std::atomic<int> counter{0};
  const std::string& root = scratch_root();
  path_ = root + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(counter++) + "\\";
  remove_tree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { remove_tree(path_); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void remove_tree(const std::string& path) {
  std::string directory = path;
  // Only a real separator goes: "表" and "ソ" end in the byte 0x5C too.
  if (ends_with_backslash(directory)) directory.pop_back();
  const DWORD attributes = GetFileAttributesA(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(directory.c_str());
    return;
  }
  struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
  };
  WIN32_FIND_DATAA entry;
  HANDLE first = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (first != INVALID_HANDLE_VALUE) {
    const std::unique_ptr<void, FindCloser> find(first);
    do {
      const std::string name = entry.cFileName;
      if (name != "." && name != "..") remove_tree(directory + "\\" + name);
    } while (FindNextFileA(find.get(), &entry));
  }
  SetFileAttributesA(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(directory.c_str());
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size > 0) {
    std::vector<char> buffer(size + 1);
    GetEnvironmentVariableA(name, buffer.data(), size + 1);
    old_ = buffer.data();
    had_old_ = true;
  }
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), had_old_ ? old_.c_str() : nullptr);
}

}  // namespace testing_support
