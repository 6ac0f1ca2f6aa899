#pragma once
// Listing a mirror directory from its HTTP index page.

#include "discovery/network.h"
#include "discovery/session.h"

class HostModule;

namespace GetInfo {

class HTTP : public network {
 public:
  // proxy: "host:port", or empty for the preconfigured Internet settings.
  HTTP(const orelib::string& proxy, const orelib::string& host);

  bool connect(int timeout_seconds) override;
  bool change_directory(const char* directory) override;
  bool get_file_list(file_list& list) override;
  orelib::string scheme() override;

 private:
  http_session session;
  orelib::string path = "/";
};

// The index line of an automatically generated directory listing: link, date, time, size.
extern const char* const kIndexEntryPattern;

// Appends one entry per index line of the page.
void parse_index_page(const orelib::string& page, file_list& list);
// The same over a NUL-terminated page, through a host already bound.
void parse_index_text(const HostModule& host, const char* page, file_list& list);

// "Jan" .. "Dec" (exactly) give 1 .. 12; anything else is logged and gives -1.
int month_from_name(const orelib::string& name);

// "2.3K", "1.2M", "512B" in bytes, truncated; sizes beyond the 32-bit range saturate.
int size_from_text(const orelib::string& text);

}  // namespace GetInfo
