#pragma once
// The protocol object of discovery: one per GetInfo call, destroyed through this base.

#include "discovery/file_info.h"
#include "support/orelib_string.h"

namespace GetInfo {

class network {
 public:
  virtual ~network() = default;
  virtual bool connect(int timeout_seconds) = 0;
  virtual bool change_directory(const char* directory) = 0;
  virtual bool get_file_list(file_list& list) = 0;
  virtual orelib::string scheme() = 0;

 protected:
  network() = default;
  network(const network&) = delete;
  network& operator=(const network&) = delete;
};

}  // namespace GetInfo
