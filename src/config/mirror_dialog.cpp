#include "config/mirror_dialog.h"

void show_mirror_dialog(HWND, HINSTANCE) {}
