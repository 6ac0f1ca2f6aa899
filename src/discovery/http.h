#pragma once
// Listing a mirror directory from its HTTP index page.

#include <string_view>
#include <vector>

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
  void listing_location(orelib::string& host, orelib::string& directory) override;

 private:
  // Sends the GET for the index page and follows its redirects, until a response that is not
  // a redirect; false, logged, when that is an error or when no such response can come.
  bool request_index();
  // Points the session at the current response's Location; false, logged, when that must not
  // be followed. visited holds every URL requested so far, the current one last.
  bool follow_redirect(const std::vector<orelib::string>& visited);

  http_session session;
  orelib::string path = "/";
};

// The index line of an automatically generated directory listing: link, date, time, size.
extern const char* const kIndexEntryPattern;

// Parses an index page while it arrives, so that the page is never held whole. An entry never
// spans a line break (the pattern admits neither CR nor LF), so complete lines are parsed as
// soon as they are in and only the unfinished last line is kept. The page ends at the end of
// the data or at its first NUL, as a NUL-terminated page would. Complete lines are parsed in
// the reader's buffer, without a copy.
class index_parser : public body_sink {
 public:
  // The host must stay bound while the parser is in use; entries are appended to list.
  index_parser(const HostModule& host, file_list& list);

  void write(char* data, std::size_t size) override;
  // Parses what remains after the last line break; call once, after the last write.
  void finish();

 private:
  // Parses text[0, length), NUL-terminated at length; false once the parse has ended.
  bool parse(const char* text, std::size_t length);

  const HostModule& host_;
  file_list& list_;
  int handle_ = 0;
  bool compiled_ = false;
  bool ended_ = false;
  orelib::string pending_;
};

// "Jan" .. "Dec" (exactly) give 1 .. 12; anything else is logged and gives -1.
int month_from_name(std::string_view name);

// "2.3K", "1.2M", "512B" in bytes, truncated; sizes beyond the 32-bit range saturate.
int size_from_text(std::string_view text);

}  // namespace GetInfo
