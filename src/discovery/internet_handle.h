#pragma once
// Owns one WinINet handle (session, connection, request or search).

#include <windows.h>
#include <wininet.h>

namespace GetInfo {

class internet_handle {
 public:
  internet_handle() = default;
  explicit internet_handle(HINTERNET handle) : handle_(handle) {}
  ~internet_handle() { close(); }
  internet_handle(const internet_handle&) = delete;
  internet_handle& operator=(const internet_handle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void reset(HINTERNET handle = nullptr) {
    close();
    handle_ = handle;
  }
  void close() {
    if (handle_) {
      InternetCloseHandle(handle_);
      handle_ = nullptr;
    }
  }

 private:
  HINTERNET handle_ = nullptr;
};

}  // namespace GetInfo
