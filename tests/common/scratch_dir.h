#pragma once
// Scratch directories for the tests. Portable: the native build of the host's archive suites
// uses it too.

#include <string>

namespace testing_support {

// A fresh, empty directory below the system's temporary folder (a short path wherever the
// checkout is, so that the deep trees the tests build stay within the 260-character limit),
// removed with its contents at destruction. Its path ends in the platform's separator.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name = "scratch");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Removes a file or a directory tree (Shift-JIS names included); nothing when it is missing.
void remove_tree(const std::string& path);

}  // namespace testing_support
