#pragma once
// The fifteen services the reference host exports by name (host/services.def), as a plug-in
// calls them. Hosts built on the reference host, and its tests, call them directly.

#include <windows.h>

extern "C" {
int __cdecl USESNETWORK();
const char* __cdecl GETPROXY();
int __cdecl GETPORT();
const char* __cdecl GETHOZONDIR();
int __cdecl REGEX_COMPILE(const char* pattern);
int __cdecl REGEX_MATCH(int handle, const char* text);
const char* __cdecl REGEX_GETMATCHSTR(int handle, int group);
int __cdecl REGEX_GETMATCHPOS(int handle);
int __cdecl REGEX_GETMATCHLEN(int handle);
int __cdecl ISTARAVAILABLE();
const char* __cdecl DIRINPUT(HWND owner, const char* prompt, const char* initial);
int __cdecl TARDLG(HWND owner, const char* archive, const char* destination);
const char* __cdecl GETINSTALLDIR();
int __cdecl SETSYSTEMENV(const char* name, const char* value);
int __cdecl SETUSERENV(const char* name, const char* value);
}
