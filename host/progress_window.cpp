#include "host/progress_window.h"

#include <stdexcept>

#include "plugin/plugin_abi.h"

namespace host {
namespace {

constexpr const char* kClassName = "ReferenceHostProgress";

void register_class() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;  // replaced per window in the constructor
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClassName;
  window_class.cbWndExtra = sizeof(LONG_PTR);
  registered = RegisterClassA(&window_class) != 0;
}

}  // namespace

ProgressWindow::ProgressWindow(bool visible) {
  register_class();
  window_.reset(CreateWindowExA(0, kClassName, "インストールの進行状況",
                                WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), CW_USEDEFAULT,
                                CW_USEDEFAULT, 520, 320, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr));
  if (!window_) throw std::runtime_error("cannot create the progress window");
  SetWindowLongPtrA(window_.get(), 0, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&window_proc));
  edit_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0,
                          500, 280, window_.get(), nullptr, GetModuleHandleA(nullptr), nullptr);
  // Appended texts are not bounded by the edit box's default limit.
  if (edit_) SendMessageA(edit_, EM_SETLIMITTEXT, 0, 0);
}

ProgressWindow::~ProgressWindow() {
  // Detached first: what DestroyWindow sends goes to the default procedure, not to an object
  // half destroyed.
  if (window_) SetWindowLongPtrA(window_.get(), 0, 0);
  window_.reset();
}

std::string ProgressWindow::text() const {
  std::string all;
  for (const std::string& piece : texts_) all += piece;
  return all;
}

void ProgressWindow::append(const std::string& text) {
  texts_.push_back(text);
  if (!edit_) return;
  // Added at the end of what the box shows, rather than setting all of it again.
  const int end = GetWindowTextLengthA(edit_);
  SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

LRESULT CALLBACK ProgressWindow::window_proc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, 0));
  if (self) return self->handle(message, wparam, lparam);
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT ProgressWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case PM_APPEND_PROGRESS:
      append(lparam ? reinterpret_cast<const char*>(lparam) : "");
      return 0;
    case PM_QUERY_CANCEL:
      ++queries_;
      if (cancel_timed_ && static_cast<int>(GetTickCount() - cancel_from_) >= 0) return 1;
      return cancel_at_ > 0 && queries_ >= cancel_at_ ? 1 : 0;
    case WM_SIZE:
      if (edit_) MoveWindow(edit_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    default:
      return DefWindowProcA(window_.get(), message, wparam, lparam);
  }
}

}  // namespace host
