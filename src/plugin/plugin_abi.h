#pragma once
// The binary interface between the host installer and the plug-in: the records that
// cross the boundary, the exported functions' types and the progress-window messages.
// The host side (host/) builds against this header too.

#include <windows.h>

#include <cstddef>
#include <cstdint>

extern "C" {

struct PluginInfo {
  const char* name;
  const char* description;
  std::int32_t reserved1;
  std::int32_t reserved2;
};

struct DownloadFile {
  const char* url;
  const char* name;
  std::uint32_t size;
};

struct DownloadRequest {
  bool ok;
  std::uint8_t padding[3];
  std::int32_t count;
  const DownloadFile* files;
};

struct InstallEntry {
  const char* text;
  int status;
};

}  // extern "C"

#ifndef _WIN64
static_assert(sizeof(PluginInfo) == 16, "PluginInfo is four 32-bit fields");
static_assert(sizeof(DownloadFile) == 12 && offsetof(DownloadFile, name) == 4 &&
                  offsetof(DownloadFile, size) == 8,
              "DownloadFile layout is fixed");
static_assert(sizeof(DownloadRequest) == 12 && offsetof(DownloadRequest, count) == 4 &&
                  offsetof(DownloadRequest, files) == 8,
              "DownloadRequest layout is fixed");
static_assert(sizeof(InstallEntry) == 8, "InstallEntry is a pointer and a 32-bit integer");
#endif

// Messages to the host installer's progress window.
constexpr UINT PM_APPEND_PROGRESS = WM_APP + 0x39;  // wParam 0, lParam: text to append
constexpr UINT PM_QUERY_CANCEL = WM_APP + 0x3A;     // wParam 0, lParam 0; non-zero: cancelled

// The exports' types, for hosts that resolve them by name.
using PluginInitFn = bool(__cdecl*)(const char* ini_file, const char* log_file);
using InfoFn = const PluginInfo*(__cdecl*)();
using GetInfoFn = bool(__cdecl*)(HWND progress_window);
using IsDefaultFn = bool(__cdecl*)();
using RebootsFn = bool(__cdecl*)();
using GetDownloadDataFn = DownloadRequest(__cdecl*)();
using InstallFn = bool(__cdecl*)(HWND progress_window, DWORD unused, int count,
                                 const InstallEntry* entries);
using SetFn = void(__cdecl*)(HWND parent);
using SetsFn = bool(__cdecl*)();
