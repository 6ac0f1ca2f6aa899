#pragma once
// The module's narrow text: Shift-JIS bytes, never holding NUL.

#include <string>
#include <string_view>
#include <typeinfo>

namespace orelib {

using string = std::string;

// Replaces every occurrence of pattern (compared byte by byte) with replacement;
// the scan runs over the original text, so inserted bytes are never searched again.
// Returns the number of replacements. An empty pattern replaces nothing.
int replace_all(string& text, const string& pattern, const string& replacement);

// Lower-cases the text with the system code page's rules (whole double-byte characters).
void to_lower(string& text);

class bad_lexical_cast : public std::bad_cast {
 public:
  bad_lexical_cast(const std::type_info& source, const std::type_info& target)
      : source_(&source), target_(&target) {}
  const std::type_info& source_type() const noexcept { return *source_; }
  const std::type_info& target_type() const noexcept { return *target_; }
  const char* what() const noexcept override { return "bad lexical cast"; }

 private:
  const std::type_info* source_;
  const std::type_info* target_;
};

template <typename Target, typename Source>
Target lexical_cast(const Source& value);

// Decimal text with "%d"; the unsigned long form prints the value read as signed.
template <>
string lexical_cast<string, int>(const int& value);
template <>
string lexical_cast<string, unsigned long>(const unsigned long& value);
// A text of decimal digits to a number; empty gives 0, too large gives 2147483647.
template <>
int lexical_cast<int, string>(const string& text);
// The same conversion over any run of bytes, raising bad_lexical_cast as it does.
int decimal_value(std::string_view text);

}  // namespace orelib
