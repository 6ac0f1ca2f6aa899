#include "install/staged_copy.h"

#include <algorithm>

#include "support/ansi_path.h"
#include "support/handles.h"

namespace {

// The aside names: the suffix alone, then with one digit.
constexpr int kAsideNames = 10;

bool exists(const orelib::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The A functions take no path of MAX_PATH characters or more; saying so before anything is
// written keeps the installation as it was.
bool too_long(const orelib::string& path) { return orelib::to_wide(path).size() >= MAX_PATH; }

bool same_name(const orelib::string& a, const orelib::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Removes a file this copy wrote; the unpacker may have handed it out read-only.
bool remove_own(const orelib::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path.c_str()) != FALSE;
}

bool refused(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

}  // namespace

bool StagedCopy::fail(Step step, const orelib::string& source, const orelib::string& target,
                      DWORD error) {
  failure_.step = step;
  failure_.source = source;
  failure_.target = target;
  failure_.error = error;
  // A source held elsewhere is the work directory's matter, not the user's programs.
  failure_.in_use = step == Step::replace ? refused(error) : error == ERROR_ACCESS_DENIED;
  return false;
}

bool StagedCopy::stage(const orelib::string& from, const WIN32_FIND_DATAA& entry,
                       const orelib::string& to) {
  const orelib::string source = from + entry.cFileName;
  const orelib::string target = to + entry.cFileName;
  WIN32_FILE_ATTRIBUTE_DATA existing;
  const bool found = GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &existing) != 0;
  const bool target_is_file = found && !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);

  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    // Skipping it would leave the old file beside the new release's others.
    if (target_is_file) return fail(Step::directory, source, target, ERROR_DIRECTORY);
    return true;
  }
  targets_.push_back({to, entry.cFileName});
  if (found && !target_is_file) return fail(Step::copy, source, target, ERROR_ALREADY_EXISTS);

  // The same name twice (the dictionaries' folder is the programs'): the newer one wins, as
  // when the second copy met the first one's file.
  for (Entry& planned : entries_) {
    if (!same_name(planned.target, target)) continue;
    if (CompareFileTime(&planned.time, &entry.ftLastWriteTime) >= 0) return true;
    if (!CopyFileA(source.c_str(), planned.staged.c_str(), FALSE))
      return fail(Step::copy, source, target, GetLastError());
    planned.time = entry.ftLastWriteTime;
    return true;
  }

  Entry planned;
  planned.target = target;
  planned.staged = target + kStagedSuffix;
  planned.time = entry.ftLastWriteTime;
  if (target_is_file) {
    if (CompareFileTime(&existing.ftLastWriteTime, &entry.ftLastWriteTime) >= 0) return true;
    // Windows refuses to overwrite a read-only file, and the user's protection holds here too.
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      return fail(Step::copy, source, target, ERROR_ACCESS_DENIED);
    planned.replaces = true;
  }
  if (too_long(planned.staged) || (planned.replaces && too_long(target + kAsideSuffix + "9")))
    return fail(Step::copy, source, target, ERROR_FILENAME_EXCED_RANGE);

  // A staged file by that name is one an interrupted install left behind.
  const DWORD leftover = GetFileAttributesA(planned.staged.c_str());
  if (leftover != INVALID_FILE_ATTRIBUTES && !(leftover & FILE_ATTRIBUTE_DIRECTORY))
    remove_own(planned.staged);
  if (!CopyFileA(source.c_str(), planned.staged.c_str(), TRUE))
    return fail(Step::copy, source, target, GetLastError());
  entries_.push_back(planned);
  return true;
}

void StagedCopy::made(const std::vector<orelib::string>& directories) {
  directories_.insert(directories_.end(), directories.begin(), directories.end());
}

bool StagedCopy::switch_in(Entry& entry) {
  if (entry.replaces) {
    // The first free aside name: an old file of an earlier install may still be running.
    for (int i = 0; i < kAsideNames && entry.aside.empty(); ++i) {
      orelib::string name = entry.target + kAsideSuffix;
      if (i > 0) name += static_cast<char>('0' + i);
      if (!exists(name)) entry.aside = name;
    }
    if (entry.aside.empty()) return fail(Step::replace, "", entry.target, ERROR_FILE_EXISTS);
    if (!MoveFileExA(entry.target.c_str(), entry.aside.c_str(), 0)) {
      const DWORD error = GetLastError();
      entry.aside.clear();
      return fail(Step::replace, "", entry.target, error);
    }
    entry.state = State::set_aside;
  }
  if (!MoveFileExA(entry.staged.c_str(), entry.target.c_str(), 0))
    return fail(Step::replace, "", entry.target, GetLastError());
  entry.state = State::switched;
  return true;
}

bool StagedCopy::commit() {
  for (Entry& entry : entries_) {
    if (!switch_in(entry)) {
      abandon();
      return false;
    }
  }
  remove_old_files();
  entries_.clear();
  directories_.clear();
  return true;
}

void StagedCopy::remove_old_files() {
  // A running program's file cannot be deleted: Windows may do it at the next start, which
  // needs an administrator. Otherwise it stays under its aside name until the next install.
  // (A file deleted while open keeps its name until it is closed: the result decides.)
  for (const Entry& entry : entries_) {
    if (entry.aside.empty() || DeleteFileA(entry.aside.c_str())) continue;
    if (MoveFileExA(entry.aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
      reboot_needed_ = true;
  }
  // Those an earlier install left.
  for (const Name& target : targets_) {
    const orelib::string prefix = target.name + kAsideSuffix;
    WIN32_FIND_DATAA found;
    const orelib::find_handle search(
        FindFirstFileA((target.folder + prefix + "*").c_str(), &found));
    if (!search) continue;
    do {
      // Only the aside names themselves: the suffix alone or with one digit.
      const orelib::string name = found.cFileName;
      const bool aside =
          name.size() >= prefix.size() && name.size() <= prefix.size() + 1 &&
          same_name(name.substr(0, prefix.size()), prefix) &&
          (name.size() == prefix.size() || (name.back() >= '1' && name.back() <= '9'));
      if (!aside || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      DeleteFileA((target.folder + name).c_str());
    } while (FindNextFileA(search.get(), &found));
  }
}

std::vector<orelib::string> StagedCopy::abandon() {
  std::vector<orelib::string> unrestored;
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    if (entry->state == State::switched) {
      if (entry->replaces)
        MoveFileExA(entry->target.c_str(), entry->staged.c_str(), 0);
      else
        remove_own(entry->target);
    }
    if (entry->state != State::staged &&
        !MoveFileExA(entry->aside.c_str(), entry->target.c_str(), 0)) {
      unrestored.push_back(entry->aside);
      continue;
    }
    remove_own(entry->staged);
  }
  entries_.clear();
  for (auto directory = directories_.rbegin(); directory != directories_.rend(); ++directory)
    RemoveDirectoryA(directory->c_str());
  directories_.clear();
  return unrestored;
}
