#include "support/control.h"

#include <new>

namespace orelib::window {

namespace {

mouse_pos position(HWND window, LPARAM lparam) {
  // Both halves are signed: a capture reports points left of and above the control.
  return mouse_pos{window, static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

}  // namespace

bool Control::on_init_dialog(WindowRef&) { return false; }
bool Control::on_close(WindowRef&) { return false; }
bool Control::on_destroy(WindowRef&) { return false; }
bool Control::on_set_focus(WindowRef&, WindowRef&) { return false; }
bool Control::on_kill_focus(WindowRef&, WindowRef&) { return false; }
bool Control::on_mouse_move(WindowRef&, const mouse_pos&, WPARAM) { return false; }
bool Control::on_left_down(WindowRef&, const mouse_pos&, bool) { return false; }
bool Control::on_left_up(WindowRef&, const mouse_pos&) { return false; }
bool Control::on_right_down(WindowRef&, const mouse_pos&, bool) { return false; }
bool Control::on_right_up(WindowRef&, const mouse_pos&) { return false; }
bool Control::on_middle_down(WindowRef&, const mouse_pos&, bool) { return false; }
bool Control::on_middle_up(WindowRef&, const mouse_pos&) { return false; }
bool Control::on_mouse_wheel(WindowRef&, const mouse_pos&, int) { return false; }
bool Control::on_key(WindowRef&, int, WPARAM, unsigned) { return false; }
bool Control::on_char(WindowRef&, WPARAM, unsigned) { return false; }
bool Control::on_command(WindowRef&, unsigned, unsigned) { return false; }
bool Control::on_notify(WindowRef&, NMHDR*, LRESULT*) { return false; }

LRESULT Control::on_message(WindowRef&, UINT message, WPARAM wparam, LPARAM lparam) {
  return call_previous(message, wparam, lparam);
}

bool Control::filter_message(WindowRef&, UINT, WPARAM, LPARAM, LRESULT*) { return false; }

Control::~Control() { detach(); }

void Control::attach(HWND window) {
  detach();
  if (!window) return;
  const LONG_PTR previous =
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::subclass_proc));
  if (!previous) return;  // not a window of this process: nothing was subclassed
  previous_ = reinterpret_cast<WNDPROC>(previous);
  window_ = window;
  SetPropA(window, kWindowProp, this);
  ref_.reset(new (std::nothrow) WindowRef(window));
}

void Control::detach() {
  if (!window_) return;
  // Procedure first: subclass_proc must never run on a window without the property.
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  RemovePropA(window_, kWindowProp);
  ref_.reset();
  window_ = nullptr;
  previous_ = nullptr;
}

LRESULT Control::call_previous(UINT message, WPARAM wparam, LPARAM lparam) {
  if (!window_) return 0;
  return CallWindowProcA(previous_, window_, message, wparam, lparam);
}

LRESULT CALLBACK Control::subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* control = static_cast<Control*>(GetPropA(window, kWindowProp));
  if (!control) return DefWindowProcA(window, message, wparam, lparam);
  const WNDPROC previous = control->previous_;
  if (!control->ref_) return CallWindowProcA(previous, window, message, wparam, lparam);
  try {
    return control->dispatch(message, wparam, lparam);
  } catch (...) {
    // No exception may unwind through the system's frames; the control's own code answers.
    return CallWindowProcA(previous, window, message, wparam, lparam);
  }
}

LRESULT Control::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  WindowRef& ref = *ref_;
  // A handler may detach the control: keep what the fall-back call needs.
  const HWND window = ref.handle();
  const WNDPROC previous = previous_;

  LRESULT result = 0;
  if (filter_message(ref, message, wparam, lparam, &result)) return result;

  bool handled = false;
  LRESULT answer = 0;
  switch (message) {
    case WM_INITDIALOG:
      handled = on_init_dialog(ref);
      answer = 1;
      break;
    case WM_CLOSE:
      handled = on_close(ref);
      answer = 1;
      break;
    case WM_DESTROY:
      handled = on_destroy(ref);
      answer = 1;
      break;
    case WM_SETFOCUS: {
      WindowRef other(reinterpret_cast<HWND>(wparam));
      handled = on_set_focus(ref, other);
      break;
    }
    case WM_KILLFOCUS: {
      WindowRef other(reinterpret_cast<HWND>(wparam));
      handled = on_kill_focus(ref, other);
      break;
    }
    case WM_MOUSEMOVE:
      handled = on_mouse_move(ref, position(window, lparam), wparam);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      handled = on_left_down(ref, position(window, lparam), message == WM_LBUTTONDBLCLK);
      break;
    case WM_LBUTTONUP:
      handled = on_left_up(ref, position(window, lparam));
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      handled = on_right_down(ref, position(window, lparam), message == WM_RBUTTONDBLCLK);
      break;
    case WM_RBUTTONUP:
      handled = on_right_up(ref, position(window, lparam));
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      handled = on_middle_down(ref, position(window, lparam), message == WM_MBUTTONDBLCLK);
      break;
    case WM_MBUTTONUP:
      handled = on_middle_up(ref, position(window, lparam));
      break;
    case WM_MOUSEWHEEL:
      handled = on_mouse_wheel(ref, position(window, lparam),
                               static_cast<short>(HIWORD(wparam)) / WHEEL_DELTA);
      break;
    case WM_KEYDOWN:
    case WM_KEYUP:
      handled = on_key(ref, message == WM_KEYDOWN ? 1 : 0, wparam, LOWORD(lparam));
      break;
    case WM_CHAR:
      handled = on_char(ref, wparam, LOWORD(lparam));
      break;
    case WM_COMMAND:
      handled = on_command(ref, LOWORD(wparam), HIWORD(wparam));
      answer = 1;
      break;
    case WM_NOTIFY:
      answer = 1;
      handled = on_notify(ref, reinterpret_cast<NMHDR*>(lparam), &answer);
      break;
    default:
      return on_message(ref, message, wparam, lparam);
  }
  if (handled) return answer;
  return CallWindowProcA(previous, window, message, wparam, lparam);
}

}  // namespace orelib::window
