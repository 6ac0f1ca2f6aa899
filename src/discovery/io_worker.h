#pragma once
// The discovery's I/O thread: runs one job at a time, started by the caller, and the lock and
// condition both sides wait on.

#include <windows.h>

#include <memory>

#include "discovery/bounded_io.h"
#include "discovery/session_handles.h"

namespace GetInfo {

// The I/O thread: runs one job at a time, started by the caller. The thread owns a share of
// this state, so that a thread left to finish its call touches nothing the caller freed.
class io_worker {
 public:
  io_worker() {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
  }
  ~io_worker() {
    if (thread_) CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
  }
  io_worker(const io_worker&) = delete;
  io_worker& operator=(const io_worker&) = delete;

  static std::shared_ptr<io_worker> create() {
    std::shared_ptr<io_worker> made = std::make_shared<io_worker>();
    auto* share = new std::shared_ptr<io_worker>(made);
    made->thread_ = CreateThread(nullptr, 0, &io_worker::main, share, 0, nullptr);
    if (!made->thread_) delete share;
    return made;
  }

  bool running() const { return thread_ != nullptr; }

  void start(const std::shared_ptr<io_job>& job) {
    {
      const guard held(*this);
      job_ = job;
      done_ = false;
    }
    WakeAllConditionVariable(&changed_);
  }

  // The loop ends after its job; join waits for that (only call it when the job is done).
  void quit() {
    {
      const guard held(*this);
      quit_ = true;
    }
    WakeAllConditionVariable(&changed_);
  }
  void join() {
    if (thread_) WaitForSingleObject(thread_, INFINITE);
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
    explicit guard(io_worker& owner) : owner_(owner) { EnterCriticalSection(&owner_.lock_); }
    ~guard() { LeaveCriticalSection(&owner_.lock_); }
    guard(const guard&) = delete;
    guard& operator=(const guard&) = delete;

   private:
    io_worker& owner_;
  };

  void notify() { WakeAllConditionVariable(&changed_); }
  // Sleeps on the lock the caller holds (through a guard) until notified.
  void sleep_held() { SleepConditionVariableCS(&changed_, &lock_, INFINITE); }

 private:
  static DWORD WINAPI main(void* share) {
    const std::shared_ptr<io_worker> self = *static_cast<std::shared_ptr<io_worker>*>(share);
    delete static_cast<std::shared_ptr<io_worker>*>(share);
    self->loop();
    return 0;
  }

  void loop() {
    for (;;) {
      std::shared_ptr<io_job> job;
      {
        const guard held(*this);
        while (!job_ && !quit_) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
        if (!job_) return;
        job = job_;
      }
      job->run();
      {
        const guard held(*this);
        job_.reset();
        done_ = true;
      }
      WakeAllConditionVariable(&changed_);
    }
  }

  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE changed_;
  HANDLE thread_ = nullptr;
  std::shared_ptr<io_job> job_;
  bool done_ = true;
  bool quit_ = false;
  bool caller_asleep_ = false;
};

}  // namespace GetInfo
