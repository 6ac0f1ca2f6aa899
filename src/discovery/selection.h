#pragma once
// Choosing the archive to offer and comparing it with the one already downloaded.

#include <cstdint>

#include "discovery/file_info.h"

class HostModule;

namespace GetInfo {

// The names that are ispell archives for this platform.
extern const char* const kArchivePattern;

// Every ASCII digit of the name, in order, read as one decimal number (saturating at
// 2147483647); trail bytes of double-byte characters are never taken for digits.
std::int32_t version_key(const orelib::string& name);

// The entry with the largest version_key, the earliest one on ties; for an empty list the
// empty entry (no name, no time, size 0).
file_info pick_newest(const file_list& list);

// The archive pattern filter followed by pick_newest.
file_info select_archive(const HostModule& host, const file_list& listing);

// The downloaded archive's path in the host's download directory; empty when the host names
// no directory (a relative name would be looked up wherever the process happens to be).
orelib::string local_archive_path(const HostModule& host);

// Whether a listed name can be fetched from where it points: a name relative to the directory,
// or a link to an http, https or ftp URL (not to a file:, mailto: or script: one, say).
bool fetchable(const orelib::string& name);

// The URL of a listed name: a link written as a whole URL, or from the server's root, stands
// for itself; any other name is relative to the directory and joined to it as it is.
orelib::string archive_url(const orelib::string& scheme, const orelib::string& host,
                           const orelib::string& directory, const orelib::string& name);

// Records in the discovery state whether the selected archive is to be offered, its size and
// its URL.
void decide_freshness(const HostModule& host, const file_info& selected,
                      const orelib::string& scheme);

// With the network off: whether the archive is already in the download directory.
bool check_local_archive(const HostModule& host);

}  // namespace GetInfo
