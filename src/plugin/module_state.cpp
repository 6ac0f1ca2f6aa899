#include "plugin/module_state.h"

HINSTANCE g_instance = nullptr;
bool g_reboots = false;
