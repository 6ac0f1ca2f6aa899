// The HTTP listing: the request for the index page, the statuses that end it, the redirects it
// follows on the way, and the page handed to its reader (index_parser.h).
#include "discovery/http.h"

#include <vector>

#include "discovery/url.h"
#include "plugin/host_module.h"
#include "plugin/log.h"

namespace GetInfo {

HTTP::HTTP(const orelib::string& proxy, const http_server& server)
    : session(proxy.c_str(), server) {}

bool HTTP::connect(int timeout_seconds) { return session.connect(timeout_seconds); }

bool HTTP::change_directory(const char* directory) {
  path = directory ? directory : "";
  add_root(path);
  return true;
}

bool HTTP::get_file_list(file_list& list) {
  list.clear();
  HostModule host;
  if (!host.bind()) {
    log_line("本体のロードに失敗．");
    return false;
  }
  if (!request_index()) return false;
  index_parser parser(host, list);
  if (!session.read_response(parser)) {
    list.clear();
    if (session.cancelled()) return false;
    log_line("データの受信に失敗．");
    session.report_end();
    parser.report_stop();
    return false;
  }
  parser.finish();
  return true;
}

bool HTTP::cancelled() const { return session.cancelled(); }

orelib::string HTTP::scheme() { return session.server.secure ? "https" : "http"; }

void HTTP::listing_location(orelib::string& host, orelib::string& directory) {
  host = session.server.host;
  directory = path;
}

namespace {

// More redirects than this fail the listing: a mirror needs one or two.
constexpr int kMaxRedirects = 10;

bool is_redirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

bool HTTP::request_index() {
  std::vector<orelib::string> visited;
  for (int redirects = 0;; ++redirects) {
    if (!session.send_get(path)) {
      if (session.cancelled()) return false;
      log_line("GETリクエスト送信に失敗．");
      const orelib::string tls = tls_failure_sentence(session.send_error);
      if (!tls.empty()) log_line(tls);
      session.report_end();
      return false;
    }
    const int status = session.query_status();
    if (status / 100 == 4 || status / 100 == 5) {
      log_line("サーバがエラーコード" + orelib::lexical_cast<orelib::string>(status) +
               "を返しました．");
      return false;
    }
    if (!is_redirect(status)) return true;
    if (redirects == kMaxRedirects) {
      log_line("リダイレクトが" + orelib::lexical_cast<orelib::string>(kMaxRedirects) +
               "回を超えました．");
      return false;
    }
    if (!follow_redirect(visited)) return false;
  }
}

bool HTTP::follow_redirect(std::vector<orelib::string>& visited) {
  const url_parts here{scheme(), session.server.host, path};
  visited.push_back(here.text());
  orelib::string location = session.query_location();
  const orelib::string::size_type first = location.find_first_not_of(" \t");
  location.erase(0, first == orelib::string::npos ? location.size() : first);
  location.erase(location.find_last_not_of(" \t") + 1);
  if (location.empty()) {
    log_line("リダイレクト先が空です．");
    return false;
  }
  const url_parts target = resolve_reference(here, location);
  if (target.scheme != "http" && target.scheme != "https") {
    log_line("リダイレクト先のプロトコル" + target.scheme + "には対応していません．");
    return false;
  }
  if (session.server.secure && target.scheme == "http") {
    log_line("httpsからhttpへのリダイレクトは拒否しました．");
    return false;
  }
  const orelib::string text = target.text();
  if (text == visited.back()) {
    log_line("リダイレクト先が同じURLです．");
    return false;
  }
  for (const orelib::string& earlier : visited) {
    if (text == earlier) {
      log_line("リダイレクトがループしています．");
      return false;
    }
  }
  http_server server;
  server.secure = target.scheme == "https";
  server.host = target.host;
  if (!connection_address(target.scheme, target.host, server.name, server.port)) return false;
  path = target.path;
  return session.move_to(server);
}

}  // namespace GetInfo
