// Directory texts of the settings, in the ANSI code page.
#include <windows.h>

#include "config/setting.h"

bool ends_with_backslash(const orelib::string& path) {
  bool last_is_backslash = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const BYTE byte = static_cast<BYTE>(path[i]);
    last_is_backslash = byte == '\\';
    if (IsDBCSLeadByte(byte) && i + 1 < path.size()) ++i;  // skip the trail byte
  }
  return last_is_backslash;
}

orelib::string with_trailing_backslash(const orelib::string& path) {
  if (path.empty() || ends_with_backslash(path)) return path;
  return path + "\\";
}
