#pragma once
// Network calls of discovery that always end. Each blocking WinINet call runs on a thread of
// the discovery's own while the calling thread waits for it in short slices: it asks the
// progress window whether the user cancelled, and ends the call when the server stops
// answering, sends too slowly or sends without end, by closing the session's own handles.
// The thread is joined before the GetInfo call returns; only a call that has still not
// returned well after its handles were closed is left to end on its own (abandoned()).

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "discovery/session_handles.h"
#include "support/orelib_string.h"

namespace GetInfo {

class body_sink;
class io_worker;

// Why a call ended.
enum class io_end {
  completed,  // the call returned by itself (it may still have failed)
  silent,     // nothing from the server (no byte, no step of the call) for the bound
  unseen,     // an FTP listing under way, whose arrival WinINet does not report, past the bound
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
  // How long a call whose handles were closed gets to return before it is left to itself.
  DWORD end_wait_ms = 25000;
};

// A GetLastError code and the server's last response, taken on the thread of the failed call
// (both are per-thread) and logged later on the caller's.
struct api_failure {
  DWORD code = 0;
  DWORD response_code = 0;
  orelib::string response;

  void capture(bool with_response);
};

// One blocking call, run on the I/O thread. The thread shares its ownership: a job keeps what
// it touches (the session's handles, its results) through shared ownership, never through
// references to the caller's stack.
class io_job {
 public:
  virtual ~io_job() = default;
  virtual void run() = 0;
};

class bounded_io {
 public:
  explicit bounded_io(std::shared_ptr<session_handles> handles);
  ~bounded_io();
  bounded_io(const bounded_io&) = delete;
  bounded_io& operator=(const bounded_io&) = delete;

  // Runs job on the I/O thread and waits for it; on a bound or a cancel the session's handles
  // are closed. Unless abandoned() then holds, the job has ended when this returns. A listing
  // is bounded as a page is where WinINet reports its bytes.
  io_end call(const std::shared_ptr<io_job>& job, bool listing = false);

  // Reads the request's body on the I/O thread, a piece ahead of the parse, and hands each
  // piece to sink on this thread, until the body ends, a read fails (read_failed, with
  // failure) or the sink has had enough (sink_stopped).
  io_end read_body(body_sink& sink, bool& read_failed, api_failure& failure, bool& sink_stopped);

  // A call did not return after its handles were closed: it was left to end on its own, the
  // module pinned. Nothing of the job may be read any more, and no call is made.
  bool abandoned() const { return abandoned_; }

  // The longest the last call or body waited without a sign of life: WinINet's own time-outs
  // have the bounds' length, and either may end a wait first.
  bool waited_out() const { return longest_quiet_ + kTimeOutSlackMs >= limits.silence_ms; }

  // The bytes of the last body read.
  std::uint64_t body_bytes() const { return body_bytes_; }

  // Tests lower the bounds; the plug-in keeps the defaults.
  static io_limits limits;

 private:
  class body_reader;

  bool start(const std::shared_ptr<io_job>& job);
  io_end wait(body_reader* body, body_sink* sink, bool* sink_stopped, bool listing);
  void end_job(body_reader* body);
  void abandon();

  static constexpr DWORD kTimeOutSlackMs = 1000;

  std::shared_ptr<session_handles> handles_;
  std::shared_ptr<io_worker> worker_;
  bool abandoned_ = false;
  DWORD longest_quiet_ = 0;
  std::uint64_t body_bytes_ = 0;
};

}  // namespace GetInfo
