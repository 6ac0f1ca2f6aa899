#pragma once
// Network calls of discovery that always end. Each blocking WinINet call runs on a thread of
// the discovery's own while the calling thread waits for it in short slices: it asks the
// progress window whether the user cancelled, and ends the call when the server stops
// answering, sends too slowly or sends without end. The thread lives no longer than the
// GetInfo call: its owner is destroyed before the export returns, and that joins it.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/orelib_string.h"

namespace GetInfo {

class body_sink;

// Why a call ended.
enum class io_end {
  completed,  // the call returned by itself (it may still have failed)
  silent,     // nothing from the server (no byte, no step of the call) for the bound
  too_slow,   // fewer bytes of the page than the minimum in one window
  too_large,  // the page passed the size bound
  too_long,   // the page took longer than its time bound
  cancelled,  // the user cancelled
};

// The line logged after the step's failure for an end that is not the call's own; empty for
// completed and cancelled.
orelib::string io_end_sentence(io_end end);

struct io_limits {
  DWORD silence_ms = 20000;
  DWORD slow_window_ms = 20000;
  std::uint64_t slow_bytes = 1024;
  std::uint64_t max_page_bytes = std::uint64_t{256} << 20;
  DWORD max_page_ms = 10 * 60 * 1000;
  // How long a call runs before the window is asked about cancel, then how often.
  DWORD cancel_first_ms = 1000;
  DWORD cancel_every_ms = 500;
};

// A GetLastError code and the server's last response, taken on the thread of the failed call
// (both are per-thread) and logged later on the caller's.
struct api_failure {
  DWORD code = 0;
  DWORD response_code = 0;
  orelib::string response;

  void capture(bool with_response);
};

// One blocking call, run on the I/O thread.
class io_job {
 public:
  virtual void run() = 0;

 protected:
  ~io_job() = default;
};

// Makes a blocked call return: closes the handles it works on. Runs on the calling thread.
class io_abort {
 public:
  virtual void abort() = 0;

 protected:
  ~io_abort() = default;
};

// The stream sockets that exist at construction; later, cancels the pending I/O of every
// other one (those WinINet opened since). Closing a WinINet handle does not wake a call that
// is blocked in a receive under every WinINet (the TLS handshake, an FTP reply): cancelling the
// socket's I/O does, and the socket itself stays WinINet's to close.
class socket_census {
 public:
  socket_census();
  ~socket_census();
  socket_census(const socket_census&) = delete;
  socket_census& operator=(const socket_census&) = delete;

  void cancel_new_sockets() const;

 private:
  bool started_ = false;
  std::vector<UINT_PTR> existing_;
};

class bounded_io {
 public:
  bounded_io();
  ~bounded_io();
  bounded_io(const bounded_io&) = delete;
  bounded_io& operator=(const bounded_io&) = delete;

  // Runs job on the I/O thread and waits for it; on a bound or a cancel, abort makes the job
  // end, and the job has always ended when this returns.
  io_end call(io_job& job, io_abort& abort);

  // Reads the request's body on the I/O thread, a piece ahead of the parse, and hands each
  // piece to sink on this thread, until the body ends, a read fails (read_failed, with
  // failure) or the sink has had enough (sink_stopped).
  io_end read_body(HINTERNET request, body_sink& sink, io_abort& abort, bool& read_failed,
                   api_failure& failure, bool& sink_stopped);

  // The longest the last call or body waited without a sign of life: WinINet's own time-outs
  // have the bounds' length, and either may end a wait first.
  bool waited_out() const { return longest_quiet_ + kTimeOutSlackMs >= limits.silence_ms; }

  // The bytes of the last body read.
  std::uint64_t body_bytes() const { return body_bytes_; }

  // WinINet's status callbacks: each step of a call counts as a sign of life.
  static void CALLBACK on_status(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                 DWORD length);

  // Tests lower the bounds; the plug-in keeps the defaults.
  static io_limits limits;

 private:
  class worker;
  class body_reader;

  io_end wait(io_abort& abort, body_reader* body, bool* sink_stopped);
  void end_job(io_abort& abort, body_reader* body);

  static constexpr DWORD kTimeOutSlackMs = 1000;

  worker* worker_ = nullptr;
  DWORD longest_quiet_ = 0;
  std::uint64_t body_bytes_ = 0;
  socket_census sockets_;
};

}  // namespace GetInfo
