#pragma once
// The WinINet handles of one conversation with a mirror, and how failed calls are reported.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "discovery/body_sink.h"
#include "discovery/bounded_io.h"
#include "discovery/session_handles.h"
#include "support/orelib_string.h"

namespace GetInfo {

// Logs the failed function's GetLastError code and, when asked, the server's last response.
// Call it right after the failed call, before anything else can change the last error.
void report_api_failure(const char* function, bool with_response);
// The same for a failure taken on another thread.
void log_api_failure(const char* function, const api_failure& failure);

// What both sessions share: the Internet session and its connection, closed together when a
// call must be ended, and the bounds on their blocking calls.
class bounded_session {
 public:
  bounded_session();
  bounded_session(const bounded_session&) = delete;
  bounded_session& operator=(const bounded_session&) = delete;

  // Runs call(handles) (returning whether it succeeded) on the I/O thread under the bounds;
  // false when it failed, its failure taken on that thread, or was ended (last_end says why).
  // The job holds the call, its captures and the handles: a call left to finish on its own
  // touches nothing else.
  template <typename Call>
  bool run(Call call, bool with_response, api_failure& failure, bool listing = false) {
    struct job final : io_job {
      job(Call c, bool r, std::shared_ptr<session_handles> h)
          : call(std::move(c)), with_response(r), handles(std::move(h)) {}
      void run() override {
        if (!handles->begin_call()) {
          failure.code = ERROR_INVALID_HANDLE;
          return;
        }
        // An exception must not leave the thread: a list that cannot grow fails the call.
        try {
          ok = call(*handles);
          if (!ok) failure.capture(with_response);
        } catch (const std::bad_alloc&) {
          ok = false;
          failure.code = ERROR_NOT_ENOUGH_MEMORY;
        }
        handles->end_call();
      }
      Call call;
      bool with_response;
      std::shared_ptr<session_handles> handles;
      bool ok = false;
      api_failure failure;
    };
    const auto blocking = std::make_shared<job>(std::move(call), with_response, handles);
    last_end = io.call(blocking, listing);
    if (io.abandoned()) {
      // The job is the thread's now: none of it is read.
      failure = api_failure();
      failure.code = ERROR_INTERNET_TIMEOUT;
      return false;
    }
    if (last_end != io_end::completed) {
      failure = blocking->failure;
      // The call did not run out by itself: it is reported as WinINet reports a time-out
      // (the code the response info carries is whatever the ended call left).
      failure.code = ERROR_INTERNET_TIMEOUT;
      if (failure.response_code != 0) failure.response_code = ERROR_INTERNET_TIMEOUT;
      return false;
    }
    if (!blocking->ok) {
      failure = blocking->failure;
      // WinINet's own time-out and ours have the same length: either may end the wait first.
      if (failure.code == ERROR_INTERNET_TIMEOUT || io.waited_out()) last_end = io_end::silent;
    }
    return blocking->ok;
  }

  // Logs the failed call (nothing after a cancel) and, when a bound ended it, why.
  void report(const char* function, const api_failure& failure) const;
  // The line that says why a bound ended the last call; nothing when none did.
  void report_end() const;
  bool cancelled() const { return last_end == io_end::cancelled; }

  // Owned with the I/O thread; the last owner closes them.
  std::shared_ptr<session_handles> handles;
  bounded_io io;  // after the handles: its thread is joined before they can go
  io_end last_end = io_end::completed;
};

// The sentence that names a failed TLS connection or certificate check, for the GetLastError
// code of a failed request; empty for any other code.
orelib::string tls_failure_sentence(DWORD code);

class ftp_session : public bounded_session {
 public:
  explicit ftp_session(const orelib::string& host_name,
                       INTERNET_PORT port_number = INTERNET_DEFAULT_FTP_PORT);

  // Anonymous log-in, passive mode.
  bool connect(int timeout_seconds);

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

class http_session : public bounded_session {
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
  // Hands the whole response body to sink; false when a read fails before the end, a bound
  // ends it (last_end), the sink wants no more or the body ends before its announced length.
  bool read_response(body_sink& sink);
  // As the session's, and the line for a body cut short.
  void report_end() const;

  http_server server;
  std::uint32_t timeout_ms = 0;
  // The GetLastError code of the last send_get that failed.
  DWORD send_error = 0;
  // The last body ended before the length its headers announced.
  bool truncated = false;

 private:
  bool open_connection();
};

}  // namespace GetInfo
