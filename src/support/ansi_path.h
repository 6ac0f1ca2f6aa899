#pragma once
// Texts and directories between the system's full form (UTF-16) and the ANSI code page in
// which the plug-in, the host's services and the INI file speak. A character the code page
// cannot write is never replaced: not by "?", which no Windows path can hold, nor by a
// look-alike ("u" for "ü"), which names another folder.

#include <string>

#include "support/orelib_string.h"

namespace orelib {

// The text in the code page; false (out empty) when a character has no form there that
// converts back to it.
bool to_ansi(const std::wstring& text, string& out);
std::wstring to_wide(const string& text);

// A "?" is what a lossy conversion leaves behind; no folder's name holds one. (0x3F is never
// the second byte of a double-byte character.)
bool holds_question_mark(const string& path);

enum class ansi_form {
  own_name,    // the directory's own name
  short_name,  // its short (8.3) name, as its own cannot be written
  none,        // neither can be used
};

struct AnsiDirectory {
  ansi_form form = ansi_form::none;
  string path;  // empty for none
};

// The directory by its own name when the code page writes it, it holds no "?" and, with a
// final backslash, fits a MAX_PATH buffer; otherwise by its short name when the folder exists
// and has one that meets the same three conditions.
AnsiDirectory ansi_directory(const std::wstring& path);

// Both paths name one existing directory (by long or short names, in any case).
bool same_folder(const std::wstring& a, const std::wstring& b);

}  // namespace orelib
