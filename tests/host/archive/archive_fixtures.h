#pragma once
// The archive suites' fixture files, made at build time by make_fixtures.sh with the real xz
// and tar.

#include <string>

#include "files.h"

#ifdef _WIN32
// From host/plugin_loader.h, which would bring <windows.h> and its macros into the suites.
namespace host {
std::string executable_directory();
}
#endif

namespace archive_fixtures {

// The directory holding them, ending in a path separator: beside the test executables under
// Wine, the build's own directory natively.
inline std::string fixture_dir() {
#ifdef _WIN32
  return host::executable_directory() + "archive-fixtures\\";
#else
  return ARCHIVE_FIXTURE_DIR "/";
#endif
}

inline testing_support::Bytes fixture(const std::string& name) {
  return testing_support::to_bytes(testing_support::read_file(fixture_dir() + name));
}

}  // namespace archive_fixtures
