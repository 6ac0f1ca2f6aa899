#pragma once
// Brings the unpacked files into their folders all at once, so that a failure never leaves new
// programs beside old ones or old dictionaries beside new programs. Each file to write is first
// copied next to its target under a temporary name; only when every one is there are the
// targets switched by renames in their folders. Until the last switch, a failure puts every
// target back as it was and removes everything the copy made.
// Paths are Shift-JIS, like every path of the installation.

#include <windows.h>

#include <vector>

#include "support/orelib_string.h"

// Name suffixes in a target's folder: the copy waiting to be switched in, and the old file
// renamed aside (a running program cannot be overwritten or deleted, but it can be renamed).
constexpr const char* kStagedSuffix = ".ispell-new";
constexpr const char* kAsideSuffix = ".ispell-old";

class StagedCopy {
 public:
  enum class Step {
    copy,       // the file could not be copied into the target's folder
    replace,    // the target could not be switched for the new file
    directory,  // the archive holds a directory where an installed file has to be replaced
  };
  struct Failure {
    Step step = Step::copy;
    orelib::string source;
    orelib::string target;
    DWORD error = 0;
    bool in_use = false;  // held by another program, read-only or access denied
  };

  StagedCopy() = default;
  StagedCopy(const StagedCopy&) = delete;
  StagedCopy& operator=(const StagedCopy&) = delete;
  // Anything not committed is put back.
  ~StagedCopy() { abandon(); }

  // Stages one entry of the unpacked folder from for the folder to by the update rule: a missing
  // target is written, an older one replaced, and one as new or newer kept; a directory is never
  // copied. False, with failure() set, when the file should be written and cannot be.
  bool stage(const orelib::string& from, const WIN32_FIND_DATAA& entry, const orelib::string& to);
  // Directories made for this copy: removed again, when empty, if it is abandoned.
  void made(const std::vector<orelib::string>& directories);
  // Switches every staged file into place in the order staged, then removes the old files. False,
  // with failure() set and everything put back, when a target cannot be switched.
  bool commit();
  // Puts back every target and removes every staged and set-aside file and every directory made.
  // The old files that could not be put back are answered by their aside names.
  std::vector<orelib::string> abandon();

  const Failure& failure() const { return failure_; }
  // An old file is to be deleted when Windows restarts.
  bool reboot_needed() const { return reboot_needed_; }

 private:
  enum class State { staged, set_aside, switched };
  struct Entry {
    orelib::string target;
    orelib::string staged;
    orelib::string aside;  // the old file's name while it is set aside
    FILETIME time{};
    bool replaces = false;  // the target exists and is older
    State state = State::staged;
  };

  bool fail(Step step, const orelib::string& source, const orelib::string& target, DWORD error);
  bool switch_in(Entry& entry);
  void remove_old_files();

  std::vector<Entry> entries_;
  struct Name {
    orelib::string folder;
    orelib::string name;
  };
  std::vector<Name> targets_;  // every file the archive installs, written or kept
  std::vector<orelib::string> directories_;
  Failure failure_;
  bool reboot_needed_ = false;
};
