#pragma once
// Loads the plug-in DLL and resolves its nine exports, as a host installer does.

#include <windows.h>

#include <string>

#include "plugin/plugin_abi.h"
#include "support/handles.h"

namespace host {

class LoadedPlugin {
 public:
  // Loads the library; ok() tells whether it loaded and exports all nine functions.
  explicit LoadedPlugin(const std::string& dll_path);
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  bool ok() const { return module_ && missing_.empty(); }
  // The first export that could not be resolved, or why the library did not load.
  const std::string& missing() const { return missing_; }
  HMODULE module() const { return module_.get(); }
  // FreeLibrary: the plug-in writes its settings back now.
  void unload();

  // PluginInit, Info, ...: one member per export of the list, of the export's exact type.
#define ISPELL_EXPORT_MEMBER(name, result, parameters) name##Fn name = nullptr;
  ISPELL_PLUGIN_EXPORTS(ISPELL_EXPORT_MEMBER)
#undef ISPELL_EXPORT_MEMBER

 private:
  template <typename Function>
  void resolve(Function& function, const char* name);

  orelib::module_handle module_;
  std::string missing_;
};

// The directory of the running executable, with a trailing backslash.
std::string executable_directory();

}  // namespace host
