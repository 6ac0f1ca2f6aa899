#include "discovery/bounded_io.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "discovery/driver.h"
#include "discovery/session.h"

namespace GetInfo {
namespace {

constexpr DWORD kReadChunk = 4095;
// Pieces read ahead of the parse: enough to keep the reader busy while a piece is parsed.
constexpr int kSlots = 16;
// Handle values probed for sockets: 16,384 handles, far more than a host installer holds.
constexpr UINT_PTR kLastProbedHandle = 0x10000;
// After the handles are closed, how long a call gets to return before its sockets' I/O is
// cancelled, and then how often that is done again (WinINet may open another socket to retry).
constexpr DWORD kCloseGraceMs = 200;
constexpr DWORD kCancelAgainMs = 300;
// How long the caller sleeps at most between two looks at the bounds.
constexpr DWORD kSliceMs = 100;

// The last sign of life of the call that runs: a status callback or a byte received.
std::atomic<DWORD> g_last_activity{0};

bool is_stream_socket(UINT_PTR value) {
  int type = 0;
  int length = sizeof type;
  return getsockopt(static_cast<SOCKET>(value), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                    &length) == 0 &&
         type == SOCK_STREAM;
}

// Time since an earlier tick, right across the tick counter's wrap; 0 for a tick another
// thread took after now.
DWORD since(DWORD now, DWORD then) {
  const DWORD spent = now - then;
  return static_cast<int>(spent) < 0 ? 0 : spent;
}

}  // namespace

orelib::string io_end_sentence(io_end end) {
  switch (end) {
    case io_end::silent:
      return "サーバが20秒間応答しませんでした．";
    case io_end::too_slow:
      return "ページの受信が遅すぎます（20秒間に1024バイト未満）．";
    case io_end::too_large:
      return "ページが256MiBを超えたので受信を打ち切りました．";
    case io_end::too_long:
      return "ページの受信が10分を超えたので打ち切りました．";
    default:
      return orelib::string();
  }
}

io_limits bounded_io::limits;

void api_failure::capture(bool with_response) {
  code = GetLastError();
  if (!with_response) return;
  constexpr DWORD kSize = 4096;
  std::vector<char> text(kSize);
  DWORD length = kSize;
  if (!InternetGetLastResponseInfoA(&response_code, text.data(), &length)) {
    response_code = 0;
    return;
  }
  // The length tells how much was written; never trust it beyond the buffer.
  if (length >= kSize) length = kSize - 1;
  text[length] = '\0';
  response = text.data();
}

socket_census::socket_census() {
  WSADATA data;
  // WinINet starts the socket library itself; this reference keeps the probe meaningful before
  // it has.
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!started_) return;
  for (UINT_PTR value = 4; value <= kLastProbedHandle; value += 4) {
    if (is_stream_socket(value)) existing_.push_back(value);
  }
}

socket_census::~socket_census() {
  if (started_) WSACleanup();
}

void socket_census::cancel_new_sockets() const {
  if (!started_) return;
  for (UINT_PTR value = 4; value <= kLastProbedHandle; value += 4) {
    if (std::binary_search(existing_.begin(), existing_.end(), value)) continue;
    if (!is_stream_socket(value)) continue;
    // Every later receive fails (a call that never waits, on a server that sends without end,
    // is stopped so), and the one that waits now is cancelled.
    shutdown(static_cast<SOCKET>(value), SD_RECEIVE);
    CancelIoEx(reinterpret_cast<HANDLE>(value), nullptr);
  }
}

// The I/O thread: runs one job at a time, started by the caller, until destroyed.
class bounded_io::worker {
 public:
  worker() {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
    thread_ = CreateThread(nullptr, 0, &worker::main, this, 0, nullptr);
  }
  ~worker() {
    {
      const guard held(*this);
      quit_ = true;
    }
    WakeAllConditionVariable(&changed_);
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
    }
    DeleteCriticalSection(&lock_);
  }
  worker(const worker&) = delete;
  worker& operator=(const worker&) = delete;

  bool running() const { return thread_ != nullptr; }

  void start(io_job& job) {
    {
      const guard held(*this);
      job_ = &job;
      done_ = false;
    }
    WakeAllConditionVariable(&changed_);
  }

  // Waits at most ms for ready() to hold, checked under the lock; whether it holds.
  template <typename Ready>
  bool wait_for(Ready ready, DWORD ms) {
    const guard held(*this);
    const DWORD start = GetTickCount();
    while (!ready()) {
      const DWORD spent = since(GetTickCount(), start);
      if (spent >= ms) break;
      caller_asleep_ = true;
      const BOOL woken = SleepConditionVariableCS(&changed_, &lock_, ms - spent);
      caller_asleep_ = false;
      if (!woken) break;
    }
    return ready();
  }

  // Under the lock: whether the caller sleeps in wait_for (a piece read then wakes it).
  bool caller_asleep() const { return caller_asleep_; }

  bool done() const { return done_; }

  class guard {
   public:
    explicit guard(worker& owner) : owner_(owner) { EnterCriticalSection(&owner_.lock_); }
    ~guard() { LeaveCriticalSection(&owner_.lock_); }
    guard(const guard&) = delete;
    guard& operator=(const guard&) = delete;

   private:
    worker& owner_;
  };

  void notify() { WakeAllConditionVariable(&changed_); }
  // Sleeps on the lock the caller holds (through a guard) until notified.
  void sleep_held() { SleepConditionVariableCS(&changed_, &lock_, INFINITE); }

 private:
  static DWORD WINAPI main(void* self) {
    static_cast<worker*>(self)->loop();
    return 0;
  }

  void loop() {
    for (;;) {
      io_job* job = nullptr;
      {
        const guard held(*this);
        while (!job_ && !quit_) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
        if (!job_) return;
        job = job_;
      }
      job->run();
      {
        const guard held(*this);
        job_ = nullptr;
        done_ = true;
      }
      WakeAllConditionVariable(&changed_);
    }
  }

  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE changed_;
  HANDLE thread_ = nullptr;
  io_job* job_ = nullptr;
  bool done_ = true;
  bool quit_ = false;
  bool caller_asleep_ = false;
};

// Reads the body into a ring of pieces on the I/O thread; the caller parses them in order.
class bounded_io::body_reader : public io_job {
 public:
  body_reader(worker& owner, HINTERNET request, body_sink& sink)
      : owner_(owner), request_(request), sink_(sink) {}

  void run() override {
    for (;;) {
      int slot = 0;
      {
        const worker::guard held(owner_);
        while (filled_ == kSlots && !stop_) {
          reader_asleep_ = true;
          owner_.sleep_held();
          reader_asleep_ = false;
        }
        if (stop_) return;
        slot = (first_ + filled_) % kSlots;
        // From here the server is waited for, not the parse.
        waiting_since = GetTickCount();
      }
      // A read waits for the whole piece: asking what has come first returns as soon as any
      // byte is in, so a page that trickles is seen as it trickles.
      DWORD available = 0;
      BOOL ok = InternetQueryDataAvailable(request_, &available, 0, 0);
      DWORD read = 0;
      if (ok) {
        const DWORD size = available == 0 ? kReadChunk : std::min(available, kReadChunk);
        ok = InternetReadFile(request_, slots_[slot].data, size, &read);
      }
      if (!ok) failure.capture(false);
      bool wake = true;
      {
        const worker::guard held(owner_);
        if (!ok) {
          failed = true;
        } else if (read > 0) {
          slots_[slot].size = std::min(read, kReadChunk);
          ++filled_;
          bytes += slots_[slot].size;
          // A caller busy parsing finds the piece by itself.
          wake = owner_.caller_asleep();
        }
      }
      if (wake) owner_.notify();
      if (!ok || read == 0) return;
    }
  }

  // Called under the lock.
  bool has_piece() const { return filled_ > 0; }

  // Hands the oldest piece to the sink and frees its slot; false when the sink wants no more.
  // The reader does not touch a filled slot.
  bool deliver() {
    slot& oldest = slots_[first_];
    const bool more = sink_.write(oldest.data, oldest.size);
    bool wake = false;
    {
      const worker::guard held(owner_);
      first_ = (first_ + 1) % kSlots;
      --filled_;
      // A reader that waits for room is woken once half the ring is free, not for every slot.
      wake = reader_asleep_ && filled_ <= kSlots / 2;
    }
    if (wake) owner_.notify();
    return more;
  }

  void stop() {
    {
      const worker::guard held(owner_);
      stop_ = true;
    }
    owner_.notify();
  }

  // Written by the reader under the lock; read by the caller under the lock or once the job
  // has ended.
  bool failed = false;
  api_failure failure;
  std::uint64_t bytes = 0;
  DWORD waiting_since = 0;

 private:
  struct slot {
    char data[kReadChunk + 1];  // one byte more than a read asks for: the sink's room
    DWORD size = 0;
  };

  worker& owner_;
  HINTERNET request_;
  body_sink& sink_;
  slot slots_[kSlots];
  int first_ = 0;
  int filled_ = 0;
  bool stop_ = false;
  bool reader_asleep_ = false;
};

bounded_io::bounded_io() = default;

bounded_io::~bounded_io() { delete worker_; }

void CALLBACK bounded_io::on_status(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {
  g_last_activity = GetTickCount();
}

io_end bounded_io::call(io_job& job, io_abort& abort) {
  if (!worker_) worker_ = new worker;
  if (!worker_->running()) {
    // Without a thread of its own the call runs here, bounded only by WinINet's time-outs.
    job.run();
    return io_end::completed;
  }
  g_last_activity = GetTickCount();
  worker_->start(job);
  return wait(abort, nullptr, nullptr);
}

io_end bounded_io::read_body(HINTERNET request, body_sink& sink, io_abort& abort, bool& read_failed,
                             api_failure& failure, bool& sink_stopped) {
  read_failed = false;
  sink_stopped = false;
  body_bytes_ = 0;
  if (!worker_) worker_ = new worker;
  if (!worker_->running()) {
    // As in call(): here, one piece after the other.
    std::vector<char> chunk(kReadChunk + 1);
    for (;;) {
      DWORD read = 0;
      if (!InternetReadFile(request, chunk.data(), kReadChunk, &read)) {
        failure.capture(false);
        read_failed = true;
        return io_end::completed;
      }
      if (read == 0) return io_end::completed;
      body_bytes_ += std::min(read, kReadChunk);
      if (!sink.write(chunk.data(), std::min(read, kReadChunk))) {
        sink_stopped = true;
        return io_end::completed;
      }
    }
  }
  // The ring is too large for the stack of a host's thread.
  std::unique_ptr<body_reader> reader(new body_reader(*worker_, request, sink));
  reader->waiting_since = GetTickCount();
  worker_->start(*reader);
  const io_end end = wait(abort, reader.get(), &sink_stopped);
  body_bytes_ = reader->bytes;
  if (end == io_end::completed && !sink_stopped) {
    read_failed = reader->failed;
    if (read_failed) failure = reader->failure;
  }
  return end;
}

io_end bounded_io::wait(io_abort& abort, body_reader* body, bool* sink_stopped) {
  const DWORD started = GetTickCount();
  longest_quiet_ = 0;
  DWORD next_query = started + limits.cancel_first_ms;
  DWORD window_start = started;
  std::uint64_t window_bytes = 0;
  for (;;) {
    bool piece = false;
    bool done = false;
    std::uint64_t bytes = 0;
    DWORD waiting_since = 0;
    worker_->wait_for(
        [&] {
          piece = body && body->has_piece();
          done = worker_->done();
          if (body) {
            bytes = body->bytes;
            waiting_since = body->waiting_since;
          }
          return piece || done;
        },
        kSliceMs);
    if (piece) {
      if (!body->deliver()) {
        *sink_stopped = true;
        // The reader stops after the read it is in; only one that waits on the server is ended.
        body->stop();
        if (!worker_->wait_for([this] { return worker_->done(); }, kCloseGraceMs)) {
          end_job(abort, body);
        }
        return io_end::completed;
      }
    } else if (done) {
      return io_end::completed;
    }

    const DWORD now = GetTickCount();
    const DWORD quiet =
        body ? (piece ? 0 : since(now, waiting_since)) : since(now, g_last_activity);
    longest_quiet_ = std::max(longest_quiet_, quiet);
    io_end end = io_end::completed;
    if (body) {
      if (bytes - window_bytes >= limits.slow_bytes) {
        window_start = now;
        window_bytes = bytes;
      }
      if (bytes > limits.max_page_bytes) {
        end = io_end::too_large;
      } else if (since(now, started) >= limits.max_page_ms) {
        end = io_end::too_long;
      } else if (quiet >= limits.silence_ms) {
        end = io_end::silent;
      } else if (!piece && since(now, window_start) >= limits.slow_window_ms) {
        end = io_end::too_slow;
      }
    } else if (quiet >= limits.silence_ms) {
      end = io_end::silent;
    }
    if (end == io_end::completed && since(now, started) >= limits.cancel_first_ms &&
        static_cast<int>(now - next_query) >= 0) {
      next_query = now + limits.cancel_every_ms;
      if (cancel_requested()) end = io_end::cancelled;
    }
    if (end != io_end::completed) {
      if (body) body->stop();
      end_job(abort, body);
      return end;
    }
  }
}

void bounded_io::end_job(io_abort& abort, body_reader* body) {
  abort.abort();
  const auto ended = [this] { return worker_->done(); };
  if (worker_->wait_for(ended, kCloseGraceMs)) return;
  for (;;) {
    sockets_.cancel_new_sockets();
    if (body) body->stop();
    if (worker_->wait_for(ended, kCancelAgainMs)) return;
  }
}

}  // namespace GetInfo
