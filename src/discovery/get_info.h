#pragma once

#include <windows.h>

// The discovery driver behind GetInfo: finds the newest archive on the mirror (or, with the
// network off, checks for the local one) and records the outcome in g_discovery.
bool get_info(HWND progress_window);

// Ends a discovery that an unexpected error stopped: its line in the log, "失敗" in the window,
// nothing to download.
void report_discovery_error();
