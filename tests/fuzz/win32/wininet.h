// The WinINet declarations the plug-in's readers use, for their native builds (see windows.h).
#pragma once

#include <windows.h>

#define INTERNET_DEFAULT_FTP_PORT 21
#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443

using INTERNET_PORT = WORD;
using HINTERNET = void*;

BOOL WINAPI InternetCloseHandle(HINTERNET handle);
