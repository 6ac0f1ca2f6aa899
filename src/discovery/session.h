#pragma once
// The WinINet handles of one conversation with a mirror, and how failed calls are reported.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>

#include "discovery/internet_handle.h"
#include "support/orelib_string.h"

namespace GetInfo {

// Receives a response body piece by piece, as it arrives. The piece lies in the reader's
// buffer, which has room for one byte past it; the sink may change the piece and that byte
// while it runs (to end a text with a NUL, say).
class body_sink {
 public:
  virtual void write(char* data, std::size_t size) = 0;

 protected:
  ~body_sink() = default;
};

// Logs the failed function's GetLastError code and, when asked, the server's last response.
// Call it right after the failed call, before anything else can change the last error.
void report_api_failure(const char* function, bool with_response);

// The sentence that names a failed TLS connection or certificate check, for the GetLastError
// code of a failed request; empty for any other code.
orelib::string tls_failure_sentence(DWORD code);

class ftp_session {
 public:
  explicit ftp_session(const orelib::string& host_name,
                       INTERNET_PORT port_number = INTERNET_DEFAULT_FTP_PORT);

  // Anonymous log-in, passive mode.
  bool connect(int timeout_seconds);

  internet_handle internet;
  internet_handle connection;
  std::uint32_t timeout_ms = 0;
  orelib::string host;
  INTERNET_PORT port;
  orelib::string user;
  orelib::string password;
};

// The server an HTTP session talks to.
struct http_server {
  bool secure = false;  // https: TLS, with WinINet's certificate checks in force
  orelib::string host;  // as the URL writes it, with any port
  orelib::string name;  // the host name alone, for the connection
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
};

class http_session {
 public:
  // An empty or null proxy text uses the preconfigured Internet settings.
  http_session(const char* proxy, const http_server& target);

  // The receive time-out is applied to every handle that carries the request.
  bool connect(int timeout_seconds);
  // Talks to another server from now on (a redirect's target): a connection of its own when
  // the name, the port or TLS differ.
  bool move_to(const http_server& target);

  // Opens (replacing any earlier one) and sends the GET request for path. Redirects are not
  // followed: the response comes back as the server sent it.
  bool send_get(const orelib::string& path);
  // The status code of the sent request; 400 when it cannot be read.
  int query_status();
  // The response's Location header; empty when it has none.
  orelib::string query_location();
  // Hands the whole response body to sink; false when a read fails before the end.
  bool read_response(body_sink& sink);

  internet_handle internet;
  internet_handle connection;
  internet_handle request;
  http_server server;
  std::uint32_t timeout_ms = 0;
  // The GetLastError code of the last send_get that failed.
  DWORD send_error = 0;

 private:
  bool open_connection();
};

}  // namespace GetInfo
