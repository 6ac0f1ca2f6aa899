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
  // Whether the last step failed because the user cancelled while it ran.
  virtual bool cancelled() const { return false; }
  // Where the listing really came from, after get_file_list: a redirect may have moved it.
  // By default the host and directory the URL gave.
  virtual void listing_location(orelib::string& /*host*/, orelib::string& /*directory*/) {}

 protected:
  network() = default;
  network(const network&) = delete;
  network& operator=(const network&) = delete;
};

}  // namespace GetInfo
