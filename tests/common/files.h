#pragma once
// Reading, writing and inspecting files in the tests. Portable: the native build of the host's
// archive suites uses it too. Narrow paths are passed to the system as they are (Shift-JIS
// under Wine).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

Bytes to_bytes(const std::string& text);

// The file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
// Creates or truncates the file.
void write_file(const std::string& path, const std::string& bytes);
void write_file(const std::string& path, const Bytes& bytes);

// Both say what they found, so that EXPECT_TRUE and EXPECT_FALSE name the path and its kind.
::testing::AssertionResult file_exists(const std::string& path);
::testing::AssertionResult is_directory(const std::string& path);

// Both files can be read and hold the same bytes; a failure gives their sizes and where they
// first differ.
::testing::AssertionResult same_contents(const std::string& path, const std::string& expected);

// Every file and directory below root, as sorted '/'-separated relative paths.
std::vector<std::string> list_tree(const std::string& root);

// The file's last-write time in seconds since 1970 and the nanoseconds past them (100-ns
// resolution on Windows); a failure when it cannot be read.
::testing::AssertionResult file_mtime(const std::string& path, std::int64_t& seconds,
                                      std::uint32_t& nanoseconds);

}  // namespace testing_support
