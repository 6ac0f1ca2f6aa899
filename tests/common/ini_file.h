#pragma once
// Reads an INI file's bytes directly, bypassing the profile cache of the process.

#include <optional>
#include <string>

namespace testing_support {

// The value of key in section (names compared without regard to ASCII case), or nullopt.
std::optional<std::string> ini_value(const std::string& path, const std::string& section,
                                     const std::string& key);

}  // namespace testing_support
