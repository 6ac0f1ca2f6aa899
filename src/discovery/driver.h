#pragma once
// The pieces of the discovery driver (get_info.h holds its entry point).

#include <windows.h>

#include "discovery/network.h"
#include "discovery/url.h"

class HostModule;

namespace GetInfo {

// Appends a text to the progress window (nothing happens without one).
void progress_text(const orelib::string& text);
// Whether the progress window says the user cancelled.
bool cancel_requested();
// Logs the sentence, shows "失敗"; false.
bool report_failure(const orelib::string& sentence);
// Logs and shows the cancel; false.
bool report_cancel();

// Where the mirror URL of the settings leads: "scheme://host[:port]/directory".
struct mirror_address {
  orelib::string scheme;
  orelib::string host;  // as the URL writes it, with any port
  orelib::string name;  // the host name alone, for the connection
  INTERNET_PORT port = 0;
};
// Reads the URL into address, and the discovery state's host and directory from it
// (split_mirror_url); false, logged, when its scheme is unknown or its port refused.
bool read_mirror_url(const orelib::string& url, mirror_address& address);
// remote_host := up to the first "/" or "?", remote_directory := from it to the fragment.
void split_mirror_url(const orelib::string& rest);
// The URL the listing came from, as links on it are resolved against: from the scheme and the
// discovery state's host and directory.
url_parts listing_url(const orelib::string& scheme);
// "proxy:port" from the host's GETPROXY and GETPORT, or empty for no proxy of our own.
orelib::string proxy_text(const HostModule& host);

// Connect, change directory, list, select and decide, with the progress texts and the four
// cancel checks; the same sequence for every protocol.
bool run_listing(network& object);

}  // namespace GetInfo
