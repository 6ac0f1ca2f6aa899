#include "host/plugin_loader.h"

namespace host {

template <typename Function>
void LoadedPlugin::resolve(Function& function, const char* name) {
  function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), name)));
  if (!function && missing_.empty()) missing_ = name;
}

LoadedPlugin::LoadedPlugin(const std::string& dll_path) {
  module_.reset(LoadLibraryA(dll_path.c_str()));
  if (!module_) {
    missing_ = "LoadLibrary(" + dll_path + ") failed, error " + std::to_string(GetLastError());
    return;
  }
#define ISPELL_RESOLVE_EXPORT(name, result, parameters) resolve(name, #name);
  ISPELL_PLUGIN_EXPORTS(ISPELL_RESOLVE_EXPORT)
#undef ISPELL_RESOLVE_EXPORT
}

void LoadedPlugin::unload() { module_.reset(); }

std::string executable_directory() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  // Cut after the last separator; a double-byte character's trail byte is not one.
  DWORD cut = 0;
  for (DWORD i = 0; i < length; ++i) {
    if (path[i] == '\\' || path[i] == '/') cut = i + 1;
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) ++i;
  }
  return std::string(path, cut);
}

}  // namespace host
