// The nine functions the host installer resolves by name, and the library's entry point.
// No exception leaves any of them: each answers its failure value instead.

#include <windows.h>

#include <type_traits>

#include "config/mirror_dialog.h"
#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "discovery/get_info.h"
#include "install/download_request.h"
#include "install/install.h"
#include "plugin/host_module.h"
#include "plugin/log.h"
#include "plugin/module_state.h"
#include "plugin/plugin_abi.h"
#include "support/shown_text.h"

namespace {

PluginInfo g_info{};

void log_missing(const load_function& missing) {
  log_line("関数" + missing.name + "のロードに失敗．");
}

// Logging may itself fail (no memory): never let that escape either.
void try_log_missing(const load_function& missing) {
  try {
    log_missing(missing);
  } catch (...) {
  }
}

void save_settings_at_unload() {
  // Without PluginInit there is no INI file of ours to write to.
  if (g_setting.ini_file.empty()) return;
  if (read_ini_int("system", "NoWriteINI") == 0) save_settings();
}

}  // namespace

// The exports as the list declares them. A definition below with another calling convention,
// result or parameters fails to compile (on i686, where the convention is part of the type).
extern "C" {
#define ISPELL_DECLARE_EXPORT(name, result, parameters) \
  __declspec(dllexport) result __cdecl name parameters;
ISPELL_PLUGIN_EXPORTS(ISPELL_DECLARE_EXPORT)
#undef ISPELL_DECLARE_EXPORT
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_instance = instance;
      g_reboots = false;
      break;
    case DLL_PROCESS_DETACH:
      try {
        save_settings_at_unload();
      } catch (...) {
      }
      break;
    default:
      break;
  }
  return TRUE;
}

bool __cdecl PluginInit(const char* ini_file, const char* log_file) {
  try {
    return load_settings(ini_file, log_file);
  } catch (const load_function& missing) {
    try_log_missing(missing);
    return false;
  } catch (...) {
    return false;
  }
}

const PluginInfo* __cdecl Info() {
  g_info.name = "ispell";
  g_info.description = "スペルチェッカーispellのミルダさんによる移植版です．";
  g_info.reserved1 = 0;
  g_info.reserved2 = 0;
  return &g_info;
}

bool __cdecl GetInfo(HWND progress_window) {
  bool result = false;
  try {
    log_line("ispellの情報取得開始");
    result = get_info(progress_window);
  } catch (const load_function& missing) {
    try_log_missing(missing);
    result = false;
  } catch (...) {
    result = false;
    report_discovery_error();
  }
  try {
    log_line("ispellの情報取得終了");
  } catch (...) {
  }
  return result;
}

bool __cdecl IsDefault() { return g_discovery.default_selected; }

bool __cdecl Reboots() { return g_reboots; }

DownloadRequest __cdecl GetDownloadData() {
  try {
    return build_download_request();
  } catch (const load_function& missing) {
    try_log_missing(missing);
  } catch (...) {
  }
  return DownloadRequest{};
}

bool __cdecl Install(HWND progress_window, DWORD unused, int count, const InstallEntry* entries) {
  try {
    log_line("ispellのインストール");
    return install(progress_window, unused, count, entries);
  } catch (const load_function& missing) {
    try_log_missing(missing);
  } catch (...) {
  }
  return false;
}

void __cdecl Set(HWND parent) {
  try {
    HostModule host;
    host.bind();
    if (host.call_bool<host_service::USESNETWORK>()) {
      show_mirror_dialog(parent, g_instance);
    } else {
      orelib::message_box(
          parent, {orelib::own("ネットワークを使わないのなら設定の必要はありません．")}, MB_OK);
    }
  } catch (const load_function& missing) {
    try_log_missing(missing);
  } catch (...) {
  }
}

bool __cdecl Sets() { return true; }

}  // extern "C"

#define ISPELL_CHECK_EXPORT_TYPE(name, result, parameters)   \
  static_assert(std::is_same_v<decltype(&::name), name##Fn>, \
                #name " must have exactly the type the export list gives it");
ISPELL_PLUGIN_EXPORTS(ISPELL_CHECK_EXPORT_TYPE)
#undef ISPELL_CHECK_EXPORT_TYPE
