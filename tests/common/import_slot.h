#pragma once
// A loaded module's import table, rewritten by a host that watches or holds the module's calls
// into another DLL. Nothing of this goes into the plug-in: the host changes the slots the
// loader filled.

#include <windows.h>

namespace testing_support {

// Points the module's import of library!name at replacement; the function it called before, or
// nullptr when the module imports no such function by name.
void* replace_import(HMODULE module, const char* library, const char* name, void* replacement);

}  // namespace testing_support
