#pragma once

#include <windows.h>

#include "plugin/plugin_abi.h"

// The install procedure behind Install.
bool install(HWND progress_window, DWORD unused, int count, const InstallEntry* entries);
