#include "discovery/session_handles.h"

#include <initializer_list>

namespace GetInfo {

void io_activity::restart() {
  last = GetTickCount();
  last_status = 0;
}

session_handles::session_handles() { InitializeCriticalSection(&lock_); }

session_handles::~session_handles() {
  close_all();
  DeleteCriticalSection(&lock_);
}

void session_handles::watch() {
  if (internet) InternetSetStatusCallbackA(internet, &note_status);
}

bool session_handles::begin_call() {
  EnterCriticalSection(&lock_);
  const bool open = !closed_;
  if (open) {
    in_call_ = true;
    call_since_ = GetTickCount();
  }
  LeaveCriticalSection(&lock_);
  return open;
}

bool session_handles::end_call() {
  EnterCriticalSection(&lock_);
  in_call_ = false;
  const bool open = !closed_;
  LeaveCriticalSection(&lock_);
  return open;
}

bool session_handles::close(DWORD min_call_age) {
  // The host's thread never waits on the I/O thread: a short call that holds the lock ends soon,
  // and the close is tried again at the next slice.
  if (!TryEnterCriticalSection(&lock_)) return false;
  const bool too_early = !closed_ && in_call_ && since(GetTickCount(), call_since_) < min_call_age;
  if (!too_early) close_all();
  LeaveCriticalSection(&lock_);
  return !too_early;
}

bool session_handles::closed() {
  EnterCriticalSection(&lock_);
  const bool result = closed_;
  LeaveCriticalSection(&lock_);
  return result;
}

void session_handles::replace(HINTERNET& field, HINTERNET value) {
  EnterCriticalSection(&lock_);
  HINTERNET old = field;
  field = closed_ ? nullptr : value;
  if (closed_ && value) InternetCloseHandle(value);
  if (old) InternetCloseHandle(old);
  LeaveCriticalSection(&lock_);
}

void session_handles::close_all() {
  if (closed_) return;
  closed_ = true;
  // No callback of ours once the handles go: WinINet may call it while they close. Children
  // first; a child the parent's close already ended is not in these fields.
  for (HINTERNET* handle : {&search, &request, &connection, &internet}) {
    if (!*handle) continue;
    InternetSetStatusCallbackA(*handle, nullptr);
    InternetCloseHandle(*handle);
    *handle = nullptr;
  }
}

void CALLBACK note_status(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (context == 0) return;
  io_activity& activity = *reinterpret_cast<io_activity*>(context);
  activity.last = GetTickCount();
  activity.last_status = status;
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED && info && length >= sizeof(DWORD)) {
    activity.received += *static_cast<const DWORD*>(info);
  }
}

}  // namespace GetInfo
