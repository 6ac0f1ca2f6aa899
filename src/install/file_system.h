#pragma once
// Path and directory operations of the installation: creating a directory path, the
// canonical directory form, and a directory search handed out entry by entry.
// Paths are Shift-JIS: the trail byte of a double-byte character may be 0x5C and is never
// taken for a separator.

#include <windows.h>

#include <vector>

#include "support/handles.h"
#include "support/orelib_string.h"

// Creates every missing directory whose path is a prefix of path ending just before a
// separator, a backslash or "/" (so the last component only when path ends in one). True when all
// of them exist afterwards; directories created before a failure stay. Each directory created is
// appended to created when it is given, parents first.
bool make_directories(const char* path, std::vector<orelib::string>* created = nullptr);

// "/" becomes a backslash and a missing final separator is appended; an empty text stays
// empty. Nothing else changes (no case folding, no "." or ".." resolution).
void normalise_directory(orelib::string& path);

// Every separator (a single-byte backslash) turned into "/"; double-byte characters are
// copied whole, so a Japanese directory name survives.
orelib::string backslashes_to_slashes(const orelib::string& path);

// One directory search; "." and ".." are never handed out.
class FileFinder {
 public:
  FileFinder() = default;
  FileFinder(const FileFinder&) = delete;
  FileFinder& operator=(const FileFinder&) = delete;

  // Starts a search for pattern (directory + wildcard name). False when a search is open
  // already (it goes on undisturbed) or nothing but "." and ".." matches.
  bool open(const char* pattern);
  // Fills entry with the next entry; false at the end, when no search is open, and after.
  bool next(WIN32_FIND_DATAA& entry);
  void close();

 private:
  orelib::find_handle handle_;
  WIN32_FIND_DATAA record_{};
  bool pending_ = true;     // record_ holds an entry next() has not handed out yet
  bool exhausted_ = false;  // the platform reported the end once: stay there
};
