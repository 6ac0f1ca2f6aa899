#pragma once

#include <windows.h>

#include "support/orelib_string.h"

// Tells the user, in one message box, that the file is in use or cannot be written and that the
// installation goes through once the program using it is closed.
void tell_file_in_use(HWND owner, const orelib::string& path);
