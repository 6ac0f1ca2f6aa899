#include "discovery/session.h"

#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "plugin/log.h"

namespace GetInfo {
namespace {

constexpr const char* kFtpAgent = "velmoraxe";
constexpr const char* kHttpAgent = "Velmoraxe";
constexpr const char* kAnonymousPassword = "a@b";
// Longer Location headers are not read: no mirror needs one.
constexpr DWORD kMaxLocation = 65536;

// WinINet's own bounds, of the same length as ours: where a call outlives its closed handles,
// these still end it.
void set_timeouts(HINTERNET handle, std::uint32_t timeout_ms) {
  DWORD value = timeout_ms;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    InternetSetOptionA(handle, option, &value, sizeof value);
  }
}

}  // namespace

void report_api_failure(const char* function, bool with_response) {
  api_failure failure;
  failure.capture(with_response);
  log_api_failure(function, failure);
}

void log_api_failure(const char* function, const api_failure& failure) {
  log_line(orelib::string(function) + ":GetLastErrorのエラーコード" +
           orelib::lexical_cast<orelib::string>(static_cast<int>(failure.code)));
  if (failure.response_code == 0) return;
  log_line("InternetGetLastResponsInfoは，コード" +
           orelib::lexical_cast<orelib::string>(static_cast<int>(failure.response_code)) +
           "と，メッセージ" + failure.response + "を返しました．");
}

bounded_session::bounded_session() : handles(std::make_shared<session_handles>()), io(handles) {}

void bounded_session::report(const char* function, const api_failure& failure) const {
  if (cancelled()) return;
  log_api_failure(function, failure);
  report_end();
}

void bounded_session::report_end() const {
  const orelib::string sentence = io_end_sentence(last_end);
  if (!sentence.empty()) log_line(sentence);
}

void http_session::report_end() const {
  bounded_session::report_end();
  if (truncated) log_line("ページがContent-Lengthの長さより前で切れています．");
}

orelib::string tls_failure_sentence(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_INVALID_CA:
      return "サーバ証明書の発行者が信頼されていません．";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "サーバ証明書の名前が接続先のホスト名と一致しません．";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return "サーバ証明書の有効期限が切れているか，まだ有効になっていません．";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
      return "TLS接続かサーバ証明書の検証がエラーコード" +
             orelib::lexical_cast<orelib::string>(static_cast<int>(code)) + "で失敗しました．";
    default:
      return orelib::string();
  }
}

ftp_session::ftp_session(const orelib::string& host_name, INTERNET_PORT port_number)
    : host(host_name), port(port_number), user("anonymous"), password(kAnonymousPassword) {
  handles->internet = InternetOpenA(kFtpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!handles->internet) report_api_failure("InternetOpen", false);
  handles->watch();
}

bool ftp_session::connect(int timeout_seconds) {
  if (!handles->internet) return false;
  timeout_ms = static_cast<std::uint32_t>(timeout_seconds) * 1000u;
  // Set before connecting so that the log-in's replies are bounded where WinINet inherits it.
  set_timeouts(handles->internet, timeout_ms);
  // The log-in happens in the call: it runs under the bounds. The job keeps its own copies.
  const orelib::string name = host;
  const orelib::string login = user;
  const orelib::string secret = password;
  const INTERNET_PORT number = port;
  api_failure failure;
  const bool ok = run(
      [name, login, secret, number](session_handles& handles) {
        const HINTERNET opened =
            InternetConnectA(handles.internet, name.c_str(), number, login.c_str(), secret.c_str(),
                             INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, handles.context());
        if (!opened) return false;
        // A connection that comes after the session was closed is left alone: the session's
        // close ended it with its parent.
        return handles.locked([&] {
          handles.connection = opened;
          return true;
        });
      },
      true, failure);
  if (!ok) {
    report("InternetConnect", failure);
    return false;
  }
  set_timeouts(handles->connection, timeout_ms);
  return true;
}

http_session::http_session(const char* proxy, const http_server& target) : server(target) {
  if (proxy && proxy[0]) {
    handles->internet = InternetOpenA(kHttpAgent, INTERNET_OPEN_TYPE_PROXY, proxy, "<local>", 0);
  } else {
    handles->internet =
        InternetOpenA(kHttpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  }
  handles->watch();
}

bool http_session::open_connection() {
  handles->replace(handles->request, nullptr);
  handles->replace(handles->connection,
                   InternetConnectA(handles->internet, server.name.c_str(), server.port, nullptr,
                                    nullptr, INTERNET_SERVICE_HTTP, 0, handles->context()));
  if (!handles->connection) {
    report_api_failure("InternetConnect", true);
    return false;
  }
  // The session handle alone may not reach a connection made before the option was set:
  // the connection and each request get it too.
  if (timeout_ms != 0) set_timeouts(handles->connection, timeout_ms);
  return true;
}

bool http_session::connect(int timeout_seconds) {
  timeout_ms = static_cast<std::uint32_t>(timeout_seconds) * 1000u;
  if (!open_connection()) return false;
  set_timeouts(handles->internet, timeout_ms);
  return true;
}

bool http_session::move_to(const http_server& target) {
  handles->replace(handles->request, nullptr);
  const bool same_connection =
      target.secure == server.secure && target.name == server.name && target.port == server.port;
  server = target;
  return same_connection || open_connection();
}

bool http_session::send_get(const orelib::string& path) {
  handles->replace(handles->request, nullptr);
  const orelib::string referrer = (server.secure ? "https://" : "http://") + server.host + path;
  // Always from the server, never kept: a cached index page could hide a new archive. Redirects
  // are ours to follow: WinINet would chase some of them forever and download from elsewhere.
  // Nothing waits for a click inside GetInfo: no dialog of WinINet's.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
  if (server.secure) flags |= INTERNET_FLAG_SECURE;
  handles->replace(handles->request,
                   HttpOpenRequestA(handles->connection, "GET", path.c_str(), "HTTP/1.1",
                                    referrer.c_str(), nullptr, flags, handles->context()));
  if (!handles->request) {
    send_error = GetLastError();
    return false;
  }
  if (timeout_ms != 0) set_timeouts(handles->request, timeout_ms);
  api_failure failure;
  if (run(
          [](session_handles& handles) {
            return HttpSendRequestA(handles.request, nullptr, static_cast<DWORD>(-1), nullptr, 0) !=
                   FALSE;
          },
          false, failure)) {
    return true;
  }
  send_error = failure.code;
  return false;
}

int http_session::query_status() {
  char text[32] = {};
  DWORD length = sizeof text;
  if (!HttpQueryInfoA(handles->request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr)) return 400;
  text[sizeof text - 1] = '\0';
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
  }
  return static_cast<int>(value);
}

orelib::string http_session::query_location() {
  std::vector<char> text(512);
  for (;;) {
    DWORD length = static_cast<DWORD>(text.size());
    if (HttpQueryInfoA(handles->request, HTTP_QUERY_LOCATION, text.data(), &length, nullptr)) {
      text.back() = '\0';  // the text ends within the buffer whatever the length says
      return orelib::string(text.data());
    }
    // The length now asks for the room the header needs.
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= text.size() ||
        length > kMaxLocation) {
      return orelib::string();
    }
    text.resize(length + 1);
  }
}

bool http_session::read_response(body_sink& sink) {
  truncated = false;
  bool read_failed = false;
  bool sink_stopped = false;
  api_failure failure;
  last_end = io.read_body(sink, read_failed, failure, sink_stopped);
  if (read_failed && (failure.code == ERROR_INTERNET_TIMEOUT || io.waited_out())) {
    last_end = io_end::silent;
  }
  if (last_end != io_end::completed || read_failed || sink_stopped) return false;
  // A connection that closes before the announced length has not delivered the page.
  char text[32] = {};
  DWORD length = sizeof text;
  if (HttpQueryInfoA(handles->request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) {
    text[sizeof text - 1] = '\0';
    const unsigned long long announced = std::strtoull(text, nullptr, 10);
    if (io.body_bytes() < announced) {
      truncated = true;
      return false;
    }
  }
  return true;
}

}  // namespace GetInfo
