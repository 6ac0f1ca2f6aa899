#include "support/orelib_string.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace orelib {

int replace_all(string& text, const string& pattern, const string& replacement) {
  if (pattern.empty()) return 0;  // would never advance
  string result;
  result.reserve(text.size() + 30);
  int count = 0;
  string::size_type scan = 0;
  for (;;) {
    const string::size_type found = text.find(pattern, scan);
    if (found == string::npos) break;
    result.append(text, scan, found - scan);
    result += replacement;
    ++count;
    scan = found + pattern.size();
  }
  result.append(text, scan, string::npos);
  text.swap(result);
  return count;
}

void to_lower(string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  if (!text.empty()) CharLowerBuffA(buffer.data(), static_cast<DWORD>(text.size()));
  text.assign(buffer.data());
}

namespace {
string format_decimal(int value) {
  char buffer[128];
  wsprintfA(buffer, "%d", value);
  return string(buffer);
}
}  // namespace

template <>
string lexical_cast<string, int>(const int& value) {
  return format_decimal(value);
}

template <>
string lexical_cast<string, unsigned long>(const unsigned long& value) {
  return format_decimal(static_cast<int>(value));
}

template <>
int lexical_cast<int, string>(const string& text) {
  return decimal_value(text);
}

int decimal_value(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') throw bad_lexical_cast(typeid(string), typeid(int));
  }
  // Saturate like the C runtime's atoi does on Windows, without relying on its overflow behaviour.
  long long value = 0;
  for (const char c : text) {
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

}  // namespace orelib
