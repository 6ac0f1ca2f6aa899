#pragma once
// Helpers shared by the tests: scratch directories, file bytes, the plug-in's path.

#include <windows.h>

#include <string>

namespace testing_support {

// The built plug-in, beside the test executables.
std::string plugin_path();

// A fresh, empty directory in the system's temporary folder (a short path wherever the
// checkout is), removed with its contents at destruction.
// Its path ends in a backslash.
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

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
// Removes a directory tree (Shift-JIS names included).
void remove_tree(const std::string& path);

// Sets (or with a null value removes) an environment variable for this process and restores
// the old value at destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_old_ = false;
};

}  // namespace testing_support
