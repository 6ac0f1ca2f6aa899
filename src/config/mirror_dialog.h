#pragma once

#include <windows.h>

// Shows the modal mirror settings dialog owned by parent; stores the choice in g_setting.
void show_mirror_dialog(HWND parent, HINSTANCE instance);
