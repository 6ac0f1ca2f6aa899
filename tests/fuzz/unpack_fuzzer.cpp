// The whole unpack that TARDLG runs, on a .tar.xz or plain tar. Each input is
// unpacked twice: into a memory sink that checks every path and every step the
// extractor asks of its writer, and with unpack() itself into a scratch folder
// that is wiped afterwards. Writing anywhere outside the destination is a
// finding, and so is any disagreement between the two runs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_check.h"
#include "host/archive/archive.h"
#include "host/archive/extract.h"
#include "host/archive/source.h"

using namespace host::archive;
namespace fs = std::filesystem;

namespace {

// A writer that keeps files in memory and checks what the extractor asks.
class CheckingWriter : public Writer {
 public:
  bool make_directory(const PathParts& parts, std::string&) override {
    check_parts(parts);
    FUZZ_CHECK(!open_);
    std::string path;
    for (const std::string& part : parts) {
      path += (path.empty() ? "" : "/") + part;
      directories_.insert(path);
    }
    return true;
  }
  bool open_file(const PathParts& parts, std::string&) override {
    check_parts(parts);
    FUZZ_CHECK(!parts.empty());
    FUZZ_CHECK(!open_);
    // The parent was made first.
    if (parts.size() > 1) {
      FUZZ_CHECK(directories_.count(join_parts(PathParts(parts.begin(), parts.end() - 1), '/')));
    }
    open_ = true;
    path_ = join_parts(parts, '/');
    files_[path_] = 0;
    return true;
  }
  bool write(const unsigned char*, std::size_t size, std::string& error) override {
    FUZZ_CHECK(open_);
    total_ += size;
    files_[path_] += size;
    if (total_ > fuzz::kMaxOutput) {
      error = "disk full";  // exercises the failure path
      full_ = true;
      return false;
    }
    return true;
  }
  bool close_file(const FileTime& mtime, std::string&) override {
    FUZZ_CHECK(open_);
    FUZZ_CHECK(!mtime.known || mtime.nanoseconds < 1000000000u);
    open_ = false;
    closed_.insert(path_);
    return true;
  }
  void discard_file() override {
    open_ = false;
    files_.erase(path_);
    closed_.erase(path_);
  }
  bool copy_file(const PathParts& from, const PathParts& to, const FileTime&,
                 std::string&) override {
    check_parts(from);
    check_parts(to);
    FUZZ_CHECK(!open_);
    // Only a file this archive already unpacked may be copied.
    const std::string source = join_parts(from, '/');
    FUZZ_CHECK(closed_.count(source) == 1);
    const std::string target = join_parts(to, '/');
    files_[target] = files_[source];
    closed_.insert(target);
    return true;
  }
  bool full() const { return full_; }

 private:
  static void check_parts(const PathParts& parts) {
    for (const std::string& part : parts) {
      FUZZ_CHECK(!part.empty() && part != "." && part != "..");
      FUZZ_CHECK(part.find_first_of("/\\:") == std::string::npos);
    }
  }

  bool open_ = false;
  bool full_ = false;
  std::string path_;
  std::uint64_t total_ = 0;
  std::set<std::string> directories_;
  std::set<std::string> closed_;
  std::map<std::string, std::uint64_t> files_;
};

// A scratch folder of this process: the archive and, one level down, the destination.
const fs::path& scratch() {
  static const fs::path path = [] {
    std::error_code ignored;
    fs::path p = fs::temp_directory_path(ignored) /
                 ("unpack-fuzz-" + std::to_string(static_cast<long>(getpid())));
    fs::remove_all(p, ignored);
    return p;
  }();
  return path;
}

// Everything the real unpack left must be the archive, the box or inside the destination.
void check_confined(const fs::path& root) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    FUZZ_CHECK(relative == "archive" || relative == "box" || relative == "box/dest" ||
               relative.compare(0, 9, "box/dest/") == 0);
    FUZZ_CHECK(!it->is_symlink());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ArchiveKind kind = detect_archive(data, size < 512 ? size : 512);
  Result in_memory;
  bool full = false;
  if (kind != ArchiveKind::Unknown) {
    MemorySource source(data, size);
    CheckingWriter writer;
    extract_archive(source, kind, writer, in_memory);
    full = writer.full();
    FUZZ_CHECK(!in_memory.ok || (in_memory.error.empty() && in_memory.refused.empty()));
  }
  if (full) return 0;  // the real run would write the whole of it to disk

  const fs::path root = scratch();
  std::error_code ignored;
  fs::create_directories(root / "box", ignored);
  {
    std::ofstream out(root / "archive", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const Result real = unpack((root / "archive").string(), (root / "box" / "dest").string());
  check_confined(root);
  fs::remove_all(root, ignored);

  if (kind == ArchiveKind::Unknown) {
    FUZZ_CHECK(!real.ok && real.written.empty());
    return 0;
  }
  // A damaged archive writes nothing; a sound one unpacks as it did in memory.
  if (!in_memory.error.empty()) FUZZ_CHECK(!real.ok && real.written.empty());
  if (real.ok) {
    FUZZ_CHECK(in_memory.ok);
    FUZZ_CHECK(real.written == in_memory.written);
    FUZZ_CHECK(real.skipped == in_memory.skipped);
  }
  return 0;
}
