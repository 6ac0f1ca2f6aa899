#include "support/shown_text.h"

#include <climits>

namespace orelib {

namespace {

constexpr wchar_t kCutCharacter = 0xFFFD;

// Whether the bytes end in a lead byte without its trail byte. Only the double-byte code pages
// have lead bytes; elsewhere the conversion itself marks an incomplete sequence.
bool ends_in_lone_lead_byte(UINT code_page, std::string_view bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (!IsDBCSLeadByteEx(code_page, static_cast<BYTE>(bytes[at]))) {
      ++at;
    } else if (at + 1 == bytes.size()) {
      return true;
    } else {
      at += 2;
    }
  }
  return false;
}

void append_converted(UINT code_page, std::string_view bytes, std::wstring& out) {
  const bool cut = ends_in_lone_lead_byte(code_page, bytes);
  if (cut) bytes.remove_suffix(1);
  // The length is passed, so the conversion never looks for a NUL beyond the piece.
  if (!bytes.empty() && bytes.size() <= static_cast<size_t>(INT_MAX)) {
    const int length = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
    if (needed > 0) {
      const size_t start = out.size();
      out.resize(start + static_cast<size_t>(needed));
      const int written =
          MultiByteToWideChar(code_page, 0, bytes.data(), length, &out[start], needed);
      out.resize(start + static_cast<size_t>(written > 0 ? written : 0));
    }
  }
  if (cut) out += kCutCharacter;
}

}  // namespace

std::wstring shown_text(const std::vector<shown_piece>& pieces) {
  std::wstring text;
  for (const shown_piece& piece : pieces) append_converted(piece.code_page, piece.bytes, text);
  return text;
}

int message_box(HWND owner, const std::vector<shown_piece>& message, UINT type) {
  return MessageBoxW(owner, shown_text(message).c_str(), L"ispell", type);
}

bool set_shown_text(HWND window, const std::vector<shown_piece>& text) {
  return SetWindowTextW(window, shown_text(text).c_str()) != FALSE;
}

}  // namespace orelib
