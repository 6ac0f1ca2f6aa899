#pragma once
// One file of a remote listing, as both protocols deliver it.

#include <cstdint>
#include <deque>

#include "discovery/date_time.h"
#include "support/orelib_string.h"

namespace GetInfo {

struct file_info {
  orelib::string name;     // exactly as the mirror listed it
  std::uint32_t size = 0;  // bytes; the low 32 bits of the listed size
  date_time time;          // last modification, as the mirror shows it
};

using file_list = std::deque<file_info>;

// One name of the raw FTP listing.
struct ftp_file {
  orelib::string name;
  date_time time;
  std::uint32_t size = 0;
};

}  // namespace GetInfo
