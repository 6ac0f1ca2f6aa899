#pragma once
// Listing a mirror directory from its HTTP index page.

#include <vector>

#include "discovery/index_parser.h"
#include "discovery/network.h"
#include "discovery/session.h"

class HostModule;

namespace GetInfo {

// An index page over http or https. Redirects are followed here, never by WinINet: to any
// http or https URL, never from https to http, ten at most.
class HTTP : public network {
 public:
  // proxy: "host:port", or empty for the preconfigured Internet settings.
  HTTP(const orelib::string& proxy, const http_server& server);

  bool connect(int timeout_seconds) override;
  bool change_directory(const char* directory) override;
  bool get_file_list(file_list& list) override;
  // "https" or "http": that of the server which sent the listing.
  orelib::string scheme() override;
  bool cancelled() const override;
  void listing_location(orelib::string& host, orelib::string& directory) override;

 private:
  // Sends the GET for the index page and follows its redirects, until a response that is not
  // a redirect; false, logged, when that is an error or when no such response can come.
  bool request_index();
  // Points the session at the current response's Location; false, logged, when that must not
  // be followed. Adds the URL just requested to visited, which holds every URL requested before.
  bool follow_redirect(std::vector<orelib::string>& visited);

  http_session session;
  orelib::string path = "/";
};

}  // namespace GetInfo
