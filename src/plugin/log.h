#pragma once

#include "support/orelib_string.h"

// Appends one line (the text and CR LF) to the activity log; drops it silently when the
// log cannot be opened.
void log_line(const orelib::string& text);
