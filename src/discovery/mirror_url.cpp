// The mirror URL the settings hold, and the listing's URL made from it.
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "plugin/log.h"

namespace GetInfo {

void split_mirror_url(const orelib::string& rest) {
  // A fragment is the browser's own: it is never sent and names no directory.
  const orelib::string whole = rest.substr(0, rest.find('#'));
  const orelib::string::size_type slash = whole.find_first_of("/?");
  if (slash == orelib::string::npos) {
    g_discovery.remote_host = whole;
    g_discovery.remote_directory.clear();
  } else {
    g_discovery.remote_host = whole.substr(0, slash);
    g_discovery.remote_directory = whole.substr(slash);
  }
}

url_parts listing_url(const orelib::string& scheme) {
  url_parts where{scheme, g_discovery.remote_host, g_discovery.remote_directory};
  // An FTP listing is of the directory changed to, named with or without its last "/"; an
  // index page is a URL, and one without a path is the server's "/".
  if (scheme == "ftp") {
    if (where.path.empty() || where.path.back() != '/') where.path += '/';
  } else {
    add_root(where.path);
  }
  return where;
}

bool read_mirror_url(const orelib::string& url, mirror_address& address) {
  const orelib::string::size_type separator = url.find("://");
  address.scheme = url.substr(0, separator);
  if (separator == orelib::string::npos || default_port(address.scheme) == 0) {
    log_line("知らないプロトコルです．");
    return false;
  }
  const orelib::string rest = url.substr(separator + 3);
  address.host = rest.substr(0, rest.find_first_of("/?#"));
  if (!connection_address(address.scheme, address.host, address.name, address.port)) return false;
  split_mirror_url(rest);
  return true;
}

}  // namespace GetInfo
