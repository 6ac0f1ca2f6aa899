#include "support/ansi_path.h"

#include <windows.h>

#include <vector>

#include "support/handles.h"

namespace orelib {

namespace {

// The folder's volume and file index; false when it cannot be opened or is no directory.
bool folder_identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  const file_handle folder(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return folder && GetFileInformationByHandle(folder.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool to_ansi(const std::wstring& text, string& out) {
  out.clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, &converted[0], bytes, nullptr, nullptr);
  // The round trip catches both the default character and the best-fit look-alikes: the
  // system's ANSI functions read the text back the same way.
  if (to_wide(converted) != text) return false;
  out.swap(converted);
  return true;
}

std::wstring to_wide(const string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int characters = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (characters <= 0) return {};
  std::wstring converted(static_cast<std::size_t>(characters), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, &converted[0], characters);
  return converted;
}

bool holds_question_mark(const string& path) { return path.find('?') != string::npos; }

AnsiDirectory ansi_directory(const std::wstring& path) {
  AnsiDirectory result;
  if (path.empty()) return result;
  // Either form, with a final backslash, must fit the MAX_PATH buffers of the ANSI functions.
  const auto fits = [](const string& written, wchar_t last) {
    return written.size() + (last == L'\\' ? 0 : 1) < MAX_PATH;
  };
  if (to_ansi(path, result.path) && !holds_question_mark(result.path) &&
      fits(result.path, path.back())) {
    result.form = ansi_form::own_name;
    return result;
  }
  result.path.clear();

  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return result;
  std::vector<wchar_t> buffer(size + 1);
  const DWORD got = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(size + 1));
  if (got == 0 || got > size) return result;
  const std::wstring short_path(buffer.data(), got);
  string written;
  if (!to_ansi(short_path, written) || holds_question_mark(written)) return result;
  if (!fits(written, short_path.back())) return result;
  result.form = ansi_form::short_name;
  result.path.swap(written);
  return result;
}

bool same_folder(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return folder_identity(a, first) && folder_identity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace orelib
