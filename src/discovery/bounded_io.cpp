#include "discovery/bounded_io.h"

#include <algorithm>
#include <vector>

#include "discovery/driver.h"
#include "discovery/io_worker.h"
#include "discovery/session.h"
#include "plugin/log.h"

namespace GetInfo {
namespace {

constexpr DWORD kReadChunk = 4095;
// Pieces read ahead of the parse: enough to keep the reader busy while a piece is parsed.
constexpr int kSlots = 16;
// How long the caller sleeps at most between two looks at the bounds; also how long a call
// must have been announced before its handles are closed under it (session_handles.h).
constexpr DWORD kSliceMs = 100;
// After a sink has had enough, how long the read it is in gets to end by itself.
constexpr DWORD kStopGraceMs = 200;

}  // namespace

orelib::string io_end_sentence(io_end end) {
  switch (end) {
    case io_end::silent:
      return "サーバが20秒間応答しませんでした．";
    case io_end::unseen:
      return "サーバは応答しましたが，ファイル一覧の受信が20秒以内に終わりませんでした．";
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

// Reads the body into a ring of pieces on the I/O thread; the caller parses them in order.
class bounded_io::body_reader : public io_job {
 public:
  body_reader(io_worker& owner, std::shared_ptr<session_handles> handles)
      : owner_(owner), handles_(std::move(handles)) {}

  void run() override {
    for (;;) {
      int slot = 0;
      {
        const io_worker::guard held(owner_);
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
      if (!handles_->begin_call()) return;
      // A read waits for the whole piece: asking what has come first returns as soon as any
      // byte is in, so a page that trickles is seen as it trickles.
      const HINTERNET request = handles_->request;
      DWORD available = 0;
      BOOL ok = InternetQueryDataAvailable(request, &available, 0, 0);
      DWORD read = 0;
      if (ok) {
        const DWORD size = available == 0 ? kReadChunk : std::min(available, kReadChunk);
        ok = InternetReadFile(request, slots_[slot].data, size, &read);
      }
      if (!ok) failure.capture(false);
      // Closed meanwhile: the caller ended the body and reads nothing more of it.
      if (!handles_->end_call()) return;
      bool wake = true;
      {
        const io_worker::guard held(owner_);
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
  bool deliver(body_sink& sink) {
    slot& oldest = slots_[first_];
    const bool more = sink.write(oldest.data, oldest.size);
    bool wake = false;
    {
      const io_worker::guard held(owner_);
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
      const io_worker::guard held(owner_);
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

  // The worker's own thread holds the worker while it runs this job.
  io_worker& owner_;
  std::shared_ptr<session_handles> handles_;
  slot slots_[kSlots];
  int first_ = 0;
  int filled_ = 0;
  bool stop_ = false;
  bool reader_asleep_ = false;
};

bounded_io::bounded_io(std::shared_ptr<session_handles> handles) : handles_(std::move(handles)) {}

bounded_io::~bounded_io() {
  if (!worker_) return;
  worker_->quit();
  // An abandoned thread ends by itself once its call returns; any other is idle.
  if (!abandoned_) worker_->join();
}

bool bounded_io::start(const std::shared_ptr<io_job>& job) {
  if (!worker_) worker_ = io_worker::create();
  if (!worker_->running()) return false;
  worker_->start(job);
  return true;
}

io_end bounded_io::call(const std::shared_ptr<io_job>& job, bool listing) {
  if (abandoned_) return io_end::silent;
  handles_->activity.restart();
  handles_->activity.received = 0;
  // Without a thread of its own the call runs here, bounded only by WinINet's time-outs.
  if (!start(job)) {
    job->run();
    return io_end::completed;
  }
  return wait(nullptr, nullptr, nullptr, listing);
}

io_end bounded_io::read_body(body_sink& sink, bool& read_failed, api_failure& failure,
                             bool& sink_stopped) {
  read_failed = false;
  sink_stopped = false;
  body_bytes_ = 0;
  if (abandoned_) return io_end::silent;
  handles_->activity.restart();
  if (!worker_) worker_ = io_worker::create();
  if (!worker_->running()) {
    // As in call(): here, one piece after the other.
    std::vector<char> chunk(kReadChunk + 1);
    for (;;) {
      DWORD read = 0;
      if (!InternetReadFile(handles_->request, chunk.data(), kReadChunk, &read)) {
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
  const auto reader = std::make_shared<body_reader>(*worker_, handles_);
  reader->waiting_since = GetTickCount();
  worker_->start(reader);
  const io_end end = wait(reader.get(), &sink, &sink_stopped, false);
  if (abandoned_) return end;
  body_bytes_ = reader->bytes;
  if (end == io_end::completed && !sink_stopped) {
    read_failed = reader->failed;
    if (read_failed) failure = reader->failure;
  }
  return end;
}

io_end bounded_io::wait(body_reader* body, body_sink* sink, bool* sink_stopped, bool listing) {
  const DWORD started = GetTickCount();
  longest_quiet_ = 0;
  DWORD next_query = started + limits.cancel_first_ms;
  DWORD window_start = started;
  std::uint64_t window_bytes = 0;
  io_activity& activity = handles_->activity;
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
      if (!body->deliver(*sink)) {
        *sink_stopped = true;
        // The reader stops after the read it is in; only one that waits on the server is ended.
        body->stop();
        if (!worker_->wait_for([this] { return worker_->done(); }, kStopGraceMs)) end_job(body);
        return io_end::completed;
      }
    } else if (done) {
      return io_end::completed;
    }

    const DWORD now = GetTickCount();
    // A step WinINet reports is a sign of life as much as a byte of the page.
    const DWORD reported = since(now, activity.last);
    const DWORD quiet = body ? std::min(piece ? 0 : since(now, waiting_since), reported) : reported;
    longest_quiet_ = std::max(longest_quiet_, quiet);
    // A listing's bytes count where WinINet reports them.
    if (listing) bytes = activity.received;
    io_end end = io_end::completed;
    if (body || listing) {
      if (bytes - window_bytes >= limits.slow_bytes) {
        window_start = now;
        window_bytes = bytes;
      }
      if (bytes > limits.max_page_bytes) {
        end = io_end::too_large;
      } else if (since(now, started) >= limits.max_page_ms) {
        end = io_end::too_long;
      } else if (quiet >= limits.silence_ms) {
        // After a reply, a listing's data connection may bring data WinINet does not report:
        // that is not silence.
        end = listing && activity.last_status == INTERNET_STATUS_RESPONSE_RECEIVED ? io_end::unseen
                                                                                   : io_end::silent;
      } else if (!piece && since(now, window_start) >= limits.slow_window_ms &&
                 (!listing || quiet < limits.silence_ms / 2)) {
        // A listing is too slow only while WinINet keeps reporting it: a listing it does not
        // report is ended by the silence bound instead.
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
      end_job(body);
      return end;
    }
  }
}

void bounded_io::end_job(body_reader* body) {
  // A reader that is between two reads makes no other; one in a read is ended by the close.
  if (body) body->stop();
  const DWORD start = GetTickCount();
  const auto ended = [this] { return worker_->done(); };
  for (;;) {
    handles_->close(kSliceMs);
    if (worker_->wait_for(ended, kSliceMs)) return;
    if (since(GetTickCount(), start) >= limits.end_wait_ms) {
      abandon();
      return;
    }
  }
}

void bounded_io::abandon() {
  // The thread still runs the module's code: the module stays loaded for the process's life.
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&io_end_sentence), &self);
  abandoned_ = true;
  log_line("打ち切った通信の呼び出しが25秒たっても戻らないので，戻るのを待たずに終えました．");
}

}  // namespace GetInfo
