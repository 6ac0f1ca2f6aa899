#pragma once
// One file of a remote listing, as both protocols deliver it.

#include <cstdint>
#include <deque>
#include <utility>

#include "discovery/date_time.h"
#include "support/orelib_string.h"

namespace GetInfo {

struct file_info {
  orelib::string name;     // exactly as the mirror listed it
  std::uint32_t size = 0;  // bytes; the low 32 bits of the listed size
  date_time time;          // last modification, as the mirror shows it
};

using file_list = std::deque<file_info>;

// Moves every entry of from to the end of to; from is left empty, its memory released.
inline void move_entries(file_list& from, file_list& to) {
  if (to.empty()) {
    to.swap(from);
  } else {
    for (file_info& entry : from) to.push_back(std::move(entry));
  }
  file_list().swap(from);
}

// One name of the raw FTP listing.
struct ftp_file {
  orelib::string name;
  date_time time;
  std::uint32_t size = 0;
};

}  // namespace GetInfo
