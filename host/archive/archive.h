// Unpacking of .tar.xz (and plain .tar) archives for the host's TARDLG
// service. Decoding is platform-neutral; only the file-writing layer uses
// the platform APIs (file_system.h).
#pragma once

#include <string>
#include <vector>

namespace host::archive {

struct Result {
  bool ok = false;    // everything unpacked and every check passed
  std::string error;  // first fatal error, empty when ok
  std::vector<std::string>
      written;  // relative paths written (files and directories), '/'-separated
  std::vector<std::string> refused;  // entries refused or not unpackable: "<path>: <reason>"
  std::vector<std::string>
      skipped;  // harmless entries left out (symbolic links, devices): "<path>: <reason>"
};

// Unpacks archive_path (a .tar.xz, or a plain .tar recognised by the ustar
// magic) into dest_dir (created when missing). The whole archive is decoded
// and verified before anything is written, so a corrupt archive writes
// nothing. A refused entry does not stop the rest; Result::ok is false when
// anything was refused or failed. Never throws.
Result unpack(const std::string& archive_path, const std::string& dest_dir);

// Decompresses a complete .xz file held in memory (all streams). On failure
// returns false with error set and out empty. Never throws.
bool xz_decompress(const std::vector<unsigned char>& in, std::vector<unsigned char>& out,
                   std::string& error);

}  // namespace host::archive
