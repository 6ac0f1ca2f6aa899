#include "host/archive/extract.h"

#include <cctype>
#include <cstring>
#include <set>

#include "host/archive/tar.h"
#include "host/archive/xz.h"

namespace host::archive {
namespace {

bool is_reserved_device(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const names[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* name : names) {
    if (base == name) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

PathParts split(const std::string& name) {
  PathParts parts;
  std::string current;
  for (char c : name) {
    if (c == '/' || c == '\\') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

}  // namespace

std::string join_parts(const PathParts& parts, char separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

bool sanitize_path(const std::string& name, PathParts& parts, std::string& reason) {
  parts.clear();
  if (name.empty()) {
    reason = "empty name";
    return false;
  }
  if (name[0] == '/' || name[0] == '\\') {
    reason = "absolute path";
    return false;
  }
  if (name.find(':') != std::string::npos) {
    reason = "drive letter or stream name";
    return false;
  }
  for (const std::string& part : split(name)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      reason = "parent directory reference";
      return false;
    }
    for (char c : part) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || std::strchr("<>\"|?*", c) != nullptr) {
        reason = "character not allowed in file names";
        return false;
      }
    }
    // Windows drops trailing dots and spaces, which would make the name an
    // alias of another one (or of "..").
    if (part.back() == '.' || part.back() == ' ') {
      reason = "name ends in a dot or space";
      return false;
    }
    if (is_reserved_device(part)) {
      reason = "reserved device name";
      return false;
    }
    parts.push_back(part);
  }
  return true;
}

bool symlink_stays_inside(const PathParts& link_parts, const std::string& target) {
  if (target.empty() || target[0] == '/' || target[0] == '\\' ||
      target.find(':') != std::string::npos) {
    return false;
  }
  std::size_t depth = link_parts.empty() ? 0 : link_parts.size() - 1;
  for (const std::string& part : split(target)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (depth == 0) return false;
      --depth;
    } else {
      ++depth;
    }
  }
  return true;
}

namespace {

class Extractor {
 public:
  Extractor(Source& source, Writer& writer, Result& result)
      : reader_(source), source_(source), writer_(writer), result_(result) {}

  void run() {
    for (;;) {
      TarEntry entry;
      const TarReader::Status status = reader_.next(entry);
      if (status == TarReader::Status::Error) {
        fatal(reader_.error());
        return;
      }
      if (status == TarReader::Status::End) break;
      if (!handle(entry)) return;
    }
    // Read the rest so the compressed container's checks are verified too.
    unsigned char buf[16 * 1024];
    while (source_.read(buf, sizeof buf) > 0) {
    }
    if (source_.failed()) {
      fatal(source_.error());
      return;
    }
    result_.ok = result_.error.empty() && result_.refused.empty();
  }

 private:
  bool fatal(const std::string& error) {
    if (result_.error.empty()) result_.error = error.empty() ? "unpacking failed" : error;
    result_.ok = false;
    return false;
  }

  // Records the refusal; extraction goes on with the next entry.
  bool refuse(const TarEntry& entry, const std::string& reason) {
    result_.refused.push_back(entry.name + ": " + reason);
    return true;
  }

  bool handle(const TarEntry& entry) {
    PathParts parts;
    std::string reason;
    const bool safe = sanitize_path(entry.name, parts, reason);
    switch (entry.type) {
      case '0':
      case '\0':
      case '7':
        if (!safe) return refuse(entry, reason);
        if (parts.empty()) return refuse(entry, "not a file name");
        return write_file(parts, entry.mtime);
      case '5':
      case 'D':
        if (!safe) return refuse(entry, reason);
        if (parts.empty()) return true;  // the destination itself
        if (!writer_.make_directory(parts, reason)) return fatal(reason);
        result_.written.push_back(join_parts(parts, '/'));
        return true;
      case '1':
        return hard_link(entry, parts, safe, reason);
      case '2':
        if (!safe) return refuse(entry, reason);
        if (!symlink_stays_inside(parts, entry.link)) {
          return refuse(entry, "symbolic link points outside the destination");
        }
        result_.skipped.push_back(entry.name + ": symbolic link not created");
        return true;
      case '3':
      case '4':
      case '6':
        if (!safe) return refuse(entry, reason);
        result_.skipped.push_back(entry.name + ": device or FIFO not created");
        return true;
      case 'V':
        return true;  // volume label
      default:
        return refuse(entry, std::string("unsupported entry type '") + entry.type + "'");
    }
  }

  bool write_file(const PathParts& parts, const FileTime& mtime) {
    std::string error;
    const PathParts parent(parts.begin(), parts.end() - 1);
    if (!parent.empty() && !writer_.make_directory(parent, error)) return fatal(error);
    if (!writer_.open_file(parts, error)) return fatal(error);
    for (;;) {
      const std::size_t n = reader_.read(buffer_.data(), buffer_.size());
      if (n == 0) break;
      if (!writer_.write(buffer_.data(), n, error)) {
        writer_.discard_file();
        return fatal(error);
      }
    }
    if (!reader_.error().empty()) {
      writer_.discard_file();
      return fatal(reader_.error());
    }
    if (!writer_.close_file(mtime, error)) {
      writer_.discard_file();
      return fatal(error);
    }
    const std::string joined = join_parts(parts, '/');
    result_.written.push_back(joined);
    files_.insert(joined);
    return true;
  }

  // A hard link becomes a copy of the file it names, which must be one this
  // archive already unpacked.
  bool hard_link(const TarEntry& entry, const PathParts& parts, bool safe,
                 const std::string& reason) {
    if (!safe) return refuse(entry, reason);
    if (parts.empty()) return refuse(entry, "not a file name");
    PathParts target;
    std::string target_reason;
    if (!sanitize_path(entry.link, target, target_reason) || target.empty()) {
      return refuse(entry, "hard link points outside the destination");
    }
    const std::string joined_target = join_parts(target, '/');
    if (files_.count(joined_target) == 0) {
      return refuse(entry, "hard link target " + joined_target + " was not unpacked");
    }
    std::string error;
    const PathParts parent(parts.begin(), parts.end() - 1);
    if (!parent.empty() && !writer_.make_directory(parent, error)) return fatal(error);
    if (!writer_.copy_file(target, parts, entry.mtime, error)) return fatal(error);
    const std::string joined = join_parts(parts, '/');
    result_.written.push_back(joined);
    files_.insert(joined);
    return true;
  }

  TarReader reader_;
  Source& source_;
  Writer& writer_;
  Result& result_;
  std::set<std::string> files_;
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(64 * 1024);
};

}  // namespace

void extract(Source& source, Writer& writer, Result& result) {
  Extractor(source, writer, result).run();
}

ArchiveKind detect_archive(const unsigned char* head, std::size_t size) {
  if (has_xz_magic(head, size)) return ArchiveKind::Xz;
  if (has_ustar_magic(head, size)) return ArchiveKind::Tar;
  return ArchiveKind::Unknown;
}

void extract_archive(Source& raw, ArchiveKind kind, Writer& writer, Result& result) {
  if (kind == ArchiveKind::Xz) {
    XzDecoder decoder(raw);
    extract(decoder, writer, result);
  } else {
    extract(raw, writer, result);
  }
}

}  // namespace host::archive
