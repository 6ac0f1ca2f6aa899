#pragma once
// Choosing the archive to offer and comparing it with the one already downloaded.

#include <cstdint>

#include "discovery/file_info.h"
#include "discovery/url.h"

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

// How a listing names its files: an index page links them (references to resolve against the
// page's URL, written with character references and percent escapes); an FTP listing gives
// the plain names of the files in its directory.
enum class listed_names { links, file_names };

// Where a listed name leads: the URL a download fetches (empty when no download can follow it,
// a file: or script: link say) and the file's own name there, the last segment of the path
// with its percent escapes decoded.
struct listed_target {
  orelib::string url;
  orelib::string own_name;
};

// listing: the URL the listing came from, its path the directory (with any query).
listed_target resolve_listed_name(const url_parts& listing, const orelib::string& name,
                                  listed_names kind);

struct archive_choice {
  file_info file;  // as listed; no name when the listing holds no archive
  orelib::string url;
};

// The entries that pass the archive pattern and whose own name is an archive's, then the
// largest version_key of the own names, the earliest on ties. On an https listing a link to
// http or ftp takes no part (logged once).
archive_choice select_archive(const HostModule& host, const file_list& listing,
                              const url_parts& where, listed_names kind);

// The downloaded archive's path in the host's download directory; empty when the host names
// no directory (a relative name would be looked up wherever the process happens to be).
orelib::string local_archive_path(const HostModule& host);

// Records in the discovery state whether the chosen archive is to be offered, its size and
// its URL.
void decide_freshness(const HostModule& host, const archive_choice& chosen);

// With the network off: whether the archive is already in the download directory.
bool check_local_archive(const HostModule& host);

}  // namespace GetInfo
