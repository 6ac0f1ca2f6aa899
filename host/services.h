#pragma once
// The fifteen services the reference host exports by name, declared from the service list of
// plugin/plugin_abi.h: a definition that differs from the list does not compile. Hosts built
// on the reference host, and its tests, call them directly.

#include <windows.h>

#include "plugin/plugin_abi.h"

extern "C" {
#define ISPELL_DECLARE_SERVICE(name, result, parameters, arguments) result __cdecl name parameters;
ISPELL_HOST_SERVICES(ISPELL_DECLARE_SERVICE)
#undef ISPELL_DECLARE_SERVICE
}
