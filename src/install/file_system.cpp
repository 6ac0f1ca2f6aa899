#include "install/file_system.h"

#include <cstring>
#include <vector>

#include "config/setting.h"

namespace {

bool is_dot_entry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

bool make_directories(const char* path, std::vector<orelib::string>* created) {
  if (!path) return false;
  const std::size_t length = std::strlen(path);
  std::vector<char> buffer(length + 2, '\0');
  std::memcpy(buffer.data(), path, length);

  for (std::size_t i = 0; i < length;) {
    const BYTE byte = static_cast<BYTE>(buffer[i]);
    // The platform takes "/" for a separator too: a prefix ending before one is a directory.
    if (byte == '\\' || byte == '/') {
      buffer[i] = '\0';
      if (GetFileAttributesA(buffer.data()) == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryA(buffer.data(), nullptr)) return false;
        if (created) created->push_back(buffer.data());
      }
      buffer[i] = static_cast<char>(byte);
    }
    if (IsDBCSLeadByte(byte)) {
      if (i + 1 >= length) break;  // a lead byte cut off by the end of the text
      i += 2;
    } else {
      ++i;
    }
  }
  return true;
}

void normalise_directory(orelib::string& path) {
  // "/" (0x2F) is never the trail byte of a double-byte character, so a byte replace is safe;
  // the final separator is looked for by character.
  orelib::replace_all(path, "/", "\\");
  if (!path.empty() && !ends_with_backslash(path)) path += '\\';
}

orelib::string backslashes_to_slashes(const orelib::string& path) {
  orelib::string result = path;
  for (std::size_t i = 0; i < result.size(); ++i) {
    const BYTE byte = static_cast<BYTE>(result[i]);
    if (byte == '\\')
      result[i] = '/';
    else if (IsDBCSLeadByte(byte))
      ++i;  // keep the trail byte, even when it is 0x5C
  }
  return result;
}

bool FileFinder::open(const char* pattern) {
  if (handle_ || !pattern) return false;
  handle_.reset(FindFirstFileA(pattern, &record_));
  if (!handle_) return false;
  pending_ = true;
  exhausted_ = false;
  while (is_dot_entry(record_.cFileName)) {
    if (!FindNextFileA(handle_.get(), &record_)) {
      close();
      return false;
    }
  }
  return true;
}

bool FileFinder::next(WIN32_FIND_DATAA& entry) {
  if (!handle_) return false;
  if (pending_) {
    entry = record_;
    pending_ = false;
    return true;
  }
  if (exhausted_) return false;
  do {
    if (!FindNextFileA(handle_.get(), &entry)) {
      exhausted_ = true;
      return false;
    }
  } while (is_dot_entry(entry.cFileName));
  return true;
}

void FileFinder::close() {
  handle_.reset();
  pending_ = true;
  exhausted_ = false;
}
