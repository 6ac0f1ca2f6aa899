#pragma once
// The WinINet handles of one conversation with a mirror, shared by the calling thread and the
// discovery's I/O thread, and the signs of life WinINet reports for them.
//
// Who may call WinINet on them, and when (this is what keeps a call off a closed handle):
// - the calling thread, while no call of the I/O thread runs (opening a request, reading its
//   headers, setting options);
// - the I/O thread, for a call that waits on the server, only after begin_call() said the
//   handles are open, and for a short call (the next name of a listing, the close of a search)
//   only inside locked(), which the close also takes;
// - the close, once, under the lock: after it no thread calls WinINet on any of them, and what
//   a call returns late (a connection, a search) is left to the parent's close, which ends the
//   handles derived from it. A call that waits is closed under only once it was announced at
//   least one slice (100 ms) before: the announcement and the call's first look at its handle
//   are a few instructions apart, so by then the call holds its handle and the close makes it
//   return; it never frees a value the call has yet to look up (a thread held back for 100 ms
//   between the two would be the one exception this ordering cannot exclude).
// The last owner closes what is still open, alone.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>

namespace GetInfo {

// What WinINet's status callback notes: when anything last happened, what it was, and the
// bytes WinINet said it received. Its address is the context of the handles it watches.
struct io_activity {
  std::atomic<DWORD> last{0};
  std::atomic<DWORD> last_status{0};
  std::atomic<DWORD> received{0};

  // A call begins: its start counts as its first sign of life.
  void restart();
};

class session_handles {
 public:
  session_handles();
  ~session_handles();
  session_handles(const session_handles&) = delete;
  session_handles& operator=(const session_handles&) = delete;

  // The context that makes WinINet report a handle's progress to the callback.
  DWORD_PTR context() { return reinterpret_cast<DWORD_PTR>(&activity); }
  // Sets the callback on the session handle; the handles opened from it inherit it.
  void watch();

  // I/O thread: a call that waits on the server is about to be made on the handles; false when
  // they are closed (make no call).
  bool begin_call();
  // I/O thread: the call returned; false when the handles were closed meanwhile.
  bool end_call();
  // I/O thread: runs a short call under the lock while the handles are open; false when closed.
  template <typename Call>
  bool locked(Call call) {
    EnterCriticalSection(&lock_);
    const bool open = !closed_;
    const bool result = open && call();
    LeaveCriticalSection(&lock_);
    return result;
  }

  // Calling thread: closes every handle unless a call that waits was announced less than
  // min_call_age ms ago or a short call holds the lock (never waits for it); true once closed.
  bool close(DWORD min_call_age);
  bool closed();

  // Calling thread, while no call runs: closes what field held and keeps value there (closes
  // value instead once the handles are closed).
  void replace(HINTERNET& field, HINTERNET value);

  // Written by the calling thread while no call runs, or by the I/O thread inside locked().
  HINTERNET internet = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;  // HTTP only
  HINTERNET search = nullptr;   // an FTP listing's, while it is read

  io_activity activity;

 private:
  void close_all();

  CRITICAL_SECTION lock_;
  bool closed_ = false;
  bool in_call_ = false;
  DWORD call_since_ = 0;
};

// WinINet's status callback: notes the sign of life in the activity the context points to.
void CALLBACK note_status(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                          DWORD length);

// Time since an earlier tick, right across the tick counter's wrap; 0 for a tick another
// thread took after now.
inline DWORD since(DWORD now, DWORD then) {
  const DWORD spent = now - then;
  return static_cast<int>(spent) < 0 ? 0 : spent;
}

}  // namespace GetInfo
