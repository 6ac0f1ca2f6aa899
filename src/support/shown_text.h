#pragma once
// Texts the plug-in shows in windows of its own, handed to the system in UTF-16 so that they
// read the same whatever the system's code page. The plug-in's own texts are Shift-JIS (code
// page 932) on every system; a text from the system (a path from the host, an INI value) is in
// the system's ANSI code page. Each piece is converted from its own code page.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace orelib {

struct shown_piece {
  UINT code_page;
  std::string_view bytes;
};

// The plug-in's own text.
inline shown_piece own(std::string_view text) { return {932, text}; }
// A text from the system, in its ANSI code page.
inline shown_piece from_system(std::string_view text) { return {CP_ACP, text}; }

// The pieces converted and joined. A piece that ends in the lead byte of a double-byte
// character (the rest of it was cut off) shows U+FFFD in its place; the byte never pairs with
// the next piece's first byte.
std::wstring shown_text(const std::vector<shown_piece>& pieces);

// MessageBoxW with the plug-in's caption; the button pressed, 0 when no box could be shown.
int message_box(HWND owner, const std::vector<shown_piece>& message, UINT type);

// A window's or a control's text (WM_SETTEXT in UTF-16); false when the window refused it.
bool set_shown_text(HWND window, const std::vector<shown_piece>& text);

}  // namespace orelib
