#pragma once
// The window a handler is called for. Created when an object is bound to its window and
// deleted when it is unbound: handlers must not keep it beyond the call.

#include <windows.h>

namespace orelib::window {

// The property through which both window procedures find the object bound to a window.
constexpr const char* kWindowProp = "VORANTE_WINDOW_PROP";

class WindowRef {
 public:
  explicit WindowRef(HWND handle) : handle_(handle) {}
  HWND handle() const { return handle_; }
  // A child of a dialog by its control id; null when there is none.
  HWND item(int id) const { return GetDlgItem(handle_, id); }

 private:
  HWND handle_;
};

}  // namespace orelib::window
