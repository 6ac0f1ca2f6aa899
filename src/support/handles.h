#pragma once
// The kinds of handle the plug-in and the reference host own, each with the value that owns
// nothing and the call that gives a handle back.

#include <cstdio>

#include "support/unique_handle.h"

// The Windows kinds wherever Windows' headers are found: on Windows, and in the native builds
// of the plug-in's readers, which bring the few declarations they use.
#if __has_include(<windows.h>)
#include <windows.h>
#include <wininet.h>
#endif

namespace orelib {

// Kinds whose interface answers null for "no handle".
template <typename Handle>
struct null_invalid {
  using handle_type = Handle;
  static Handle invalid() noexcept { return nullptr; }
};

struct c_file_traits : null_invalid<std::FILE*> {
  static void close(std::FILE* file) noexcept { std::fclose(file); }
};
using c_file = unique_handle<c_file_traits>;

#if __has_include(<windows.h>)

// Kinds whose interface answers INVALID_HANDLE_VALUE for "no handle" (files, searches).
struct invalid_handle_value {
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
};

struct file_handle_traits : invalid_handle_value {
  static void close(HANDLE file) noexcept { CloseHandle(file); }
};
using file_handle = unique_handle<file_handle_traits>;

// A search begun with FindFirstFile.
struct find_handle_traits : invalid_handle_value {
  static void close(HANDLE search) noexcept { FindClose(search); }
};
using find_handle = unique_handle<find_handle_traits>;

struct module_handle_traits : null_invalid<HMODULE> {
  static void close(HMODULE module) noexcept { FreeLibrary(module); }
};
using module_handle = unique_handle<module_handle_traits>;

struct registry_key_traits : null_invalid<HKEY> {
  static void close(HKEY key) noexcept { RegCloseKey(key); }
};
using registry_key = unique_handle<registry_key_traits>;

// A top-level window this code created.
struct window_handle_traits : null_invalid<HWND> {
  static void close(HWND window) noexcept { DestroyWindow(window); }
};
using window_handle = unique_handle<window_handle_traits>;

// A WinINet session, connection, request or search.
struct internet_handle_traits : null_invalid<HINTERNET> {
  static void close(HINTERNET handle) noexcept { InternetCloseHandle(handle); }
};
using internet_handle = unique_handle<internet_handle_traits>;

// One reference to a COM interface.
template <typename Interface>
struct com_ptr_traits : null_invalid<Interface*> {
  static void close(Interface* object) noexcept { object->Release(); }
};
template <typename Interface>
using com_ptr = unique_handle<com_ptr_traits<Interface>>;

#endif  // __has_include(<windows.h>)

}  // namespace orelib
