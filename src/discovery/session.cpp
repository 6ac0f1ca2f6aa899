#include "discovery/session.h"

#include <vector>

#include "plugin/log.h"

namespace GetInfo {
namespace {

constexpr const char* kFtpAgent = "velmoraxe";
constexpr const char* kHttpAgent = "Velmoraxe";
constexpr const char* kAnonymousPassword = "a@b";
constexpr DWORD kResponseBufferSize = 4096;
constexpr DWORD kReadChunk = 4095;
// Longer Location headers are not read: no mirror needs one.
constexpr DWORD kMaxLocation = 65536;

void set_receive_timeout(HINTERNET handle, std::uint32_t timeout_ms) {
  DWORD value = timeout_ms;
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value);
}

}  // namespace

void report_api_failure(const char* function, bool with_response) {
  const int code = static_cast<int>(GetLastError());
  log_line(orelib::string(function) + ":GetLastErrorのエラーコード" +
           orelib::lexical_cast<orelib::string>(code));
  if (!with_response) return;

  DWORD response_code = 0;
  std::vector<char> text(kResponseBufferSize);
  DWORD length = kResponseBufferSize;
  if (!InternetGetLastResponseInfoA(&response_code, text.data(), &length)) return;
  if (response_code == 0) return;
  // The length tells how much was written; never trust it beyond the buffer.
  if (length >= kResponseBufferSize) length = kResponseBufferSize - 1;
  const orelib::string response(text.data(), length);
  log_line("InternetGetLastResponsInfoは，コード" +
           orelib::lexical_cast<orelib::string>(static_cast<int>(response_code)) +
           "と，メッセージ" + orelib::string(response.c_str()) + "を返しました．");
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
  internet.reset(InternetOpenA(kFtpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) report_api_failure("InternetOpen", false);
}

bool ftp_session::connect(int timeout_seconds) {
  if (!internet) return false;
  timeout_ms = static_cast<std::uint32_t>(timeout_seconds) * 1000u;
  // Set before connecting so that the log-in's replies are bounded where WinINet inherits it.
  set_receive_timeout(internet.get(), timeout_ms);
  connection.reset(InternetConnectA(internet.get(), host.c_str(), port, user.c_str(),
                                    password.c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE,
                                    0));
  if (!connection) {
    report_api_failure("InternetConnect", true);
    return false;
  }
  set_receive_timeout(connection.get(), timeout_ms);
  return true;
}

http_session::http_session(const char* proxy, const http_server& target) : server(target) {
  if (proxy && proxy[0]) {
    internet.reset(InternetOpenA(kHttpAgent, INTERNET_OPEN_TYPE_PROXY, proxy, "<local>", 0));
  } else {
    internet.reset(InternetOpenA(kHttpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  }
}

bool http_session::open_connection() {
  connection.reset(InternetConnectA(internet.get(), server.name.c_str(), server.port, nullptr,
                                    nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) {
    report_api_failure("InternetConnect", true);
    return false;
  }
  // The session handle alone may not reach a connection made before the option was set:
  // the connection and each request get it too.
  if (timeout_ms != 0) set_receive_timeout(connection.get(), timeout_ms);
  return true;
}

bool http_session::connect(int timeout_seconds) {
  timeout_ms = static_cast<std::uint32_t>(timeout_seconds) * 1000u;
  if (!open_connection()) return false;
  set_receive_timeout(internet.get(), timeout_ms);
  return true;
}

bool http_session::move_to(const http_server& target) {
  request.reset();
  const bool same_connection =
      target.secure == server.secure && target.name == server.name && target.port == server.port;
  server = target;
  return same_connection || open_connection();
}

bool http_session::send_get(const orelib::string& path) {
  request.reset();
  const orelib::string referrer = (server.secure ? "https://" : "http://") + server.host + path;
  // Always from the server, never kept: a cached index page could hide a new archive. Redirects
  // are ours to follow: WinINet would chase some of them forever and download from elsewhere.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (server.secure) flags |= INTERNET_FLAG_SECURE;
  request.reset(HttpOpenRequestA(connection.get(), "GET", path.c_str(), "HTTP/1.1",
                                 referrer.c_str(), nullptr, flags, 0));
  if (!request) {
    send_error = GetLastError();
    return false;
  }
  if (timeout_ms != 0) set_receive_timeout(request.get(), timeout_ms);
  if (HttpSendRequestA(request.get(), nullptr, static_cast<DWORD>(-1), nullptr, 0)) return true;
  send_error = GetLastError();
  return false;
}

int http_session::query_status() {
  char text[32] = {};
  DWORD length = sizeof text;
  if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr)) return 400;
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
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_LOCATION, text.data(), &length, nullptr)) {
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
  // One byte more than a read asks for: the sink's room past the data.
  std::vector<char> chunk(kReadChunk + 1);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), chunk.data(), kReadChunk, &read)) return false;
    if (read == 0) return true;
    if (read > kReadChunk) read = kReadChunk;
    sink.write(chunk.data(), read);
  }
}

}  // namespace GetInfo
