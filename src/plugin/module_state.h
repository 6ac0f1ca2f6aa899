#pragma once
// Module-level state owned by the entry points.

#include <windows.h>

extern HINSTANCE g_instance;  // this library, for loading its own resources
extern bool g_reboots;        // an environment variable was set: the host should restart Windows
