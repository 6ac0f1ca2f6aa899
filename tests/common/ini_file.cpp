#include "ini_file.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "test_support.h"

namespace testing_support {
namespace {
std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}
std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}
}  // namespace

std::optional<std::string> ini_value(const std::string& path, const std::string& section,
                                     const std::string& key) {
  std::istringstream lines(read_file(path));
  std::string line;
  bool in_section = false;
  while (std::getline(lines, line)) {
    const std::string text = trim(line);
    if (!text.empty() && text.front() == '[') {
      const auto close = text.find(']');
      in_section = close != std::string::npos && lower(text.substr(1, close - 1)) == lower(section);
      continue;
    }
    if (!in_section) continue;
    const auto equals = text.find('=');
    if (equals != std::string::npos && lower(trim(text.substr(0, equals))) == lower(key))
      return trim(text.substr(equals + 1));
  }
  return std::nullopt;
}

}  // namespace testing_support
