#pragma once
// Listing a mirror directory over FTP.

#include <vector>

#include "discovery/network.h"
#include "discovery/session.h"

namespace GetInfo {

class FTP : public network {
 public:
  explicit FTP(const orelib::string& host, INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT);

  bool connect(int timeout_seconds) override;
  bool change_directory(const char* directory) override;
  bool get_file_list(file_list& list) override;
  orelib::string scheme() override;
  bool cancelled() const override;

 private:
  ftp_session session;
};

// Every name the server lists in the current directory, in the server's order.
bool ftp_raw_listing(ftp_session& session, std::vector<ftp_file>& files);

}  // namespace GetInfo
