// The few Windows declarations the plug-in's readers use, for their native builds (the fuzz
// targets): found as <windows.h> there only. Types have Windows' sizes; win32.cpp answers the
// calls as Windows documents them, or as a machine without files would.
#pragma once

#include <cstdint>

// A 64-bit build, as the compiler says on 64-bit Windows.
#if UINTPTR_MAX > 0xFFFFFFFFu && !defined(_WIN64)
#define _WIN64 1
#endif

#define WINAPI
#define __cdecl
#define FALSE 0
#define TRUE 1
#define MAX_PATH 260
#define WM_APP 0x8000
#define GENERIC_READ 0x80000000u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LPARAM = std::intptr_t;
using HANDLE = void*;
using HWND = struct HWND__*;
using HKEY = struct HKEY__*;
using HMODULE = struct HINSTANCE__*;
using FARPROC = std::intptr_t (*)();

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
struct FILETIME {
  DWORD dwLowDateTime, dwHighDateTime;
};
struct SECURITY_ATTRIBUTES;
struct CRITICAL_SECTION {
  void* opaque[6];
};

void WINAPI GetSystemTime(SYSTEMTIME* time);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file);
BOOL WINAPI FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system);
long WINAPI CompareFileTime(const FILETIME* a, const FILETIME* b);
BOOL WINAPI IsDBCSLeadByte(BYTE byte);
DWORD WINAPI CharLowerBuffA(char* text, DWORD length);
int wsprintfA(char* buffer, const char* format, ...);
HANDLE WINAPI CreateFileA(const char* name, DWORD access, DWORD share,
                          SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                          HANDLE model);
BOOL WINAPI GetFileTime(HANDLE file, FILETIME* created, FILETIME* accessed, FILETIME* written);
DWORD WINAPI GetFileAttributesA(const char* name);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI FindClose(HANDLE search);
BOOL WINAPI FreeLibrary(HMODULE module);
long WINAPI RegCloseKey(HKEY key);
BOOL WINAPI DestroyWindow(HWND window);
void WINAPI InitializeCriticalSection(CRITICAL_SECTION* section);
void WINAPI DeleteCriticalSection(CRITICAL_SECTION* section);
void WINAPI EnterCriticalSection(CRITICAL_SECTION* section);
void WINAPI LeaveCriticalSection(CRITICAL_SECTION* section);
