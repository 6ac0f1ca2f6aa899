#pragma once
// A subclassed child control: its window messages become calls of virtual handlers.
// A handler that returns false leaves the message to the control's previous procedure.

#include <windows.h>

#include <memory>

#include "support/window_ref.h"

namespace orelib::window {

// A mouse message's position, in the control's client coordinates (screen coordinates for
// the wheel); left of or above the control it is negative.
struct mouse_pos {
  HWND window;
  int x;
  int y;
};

class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual bool on_init_dialog(WindowRef& ref);
  virtual bool on_close(WindowRef& ref);
  virtual bool on_destroy(WindowRef& ref);
  // other: the window losing (set) or gaining (kill) the focus, may hold null.
  virtual bool on_set_focus(WindowRef& ref, WindowRef& other);
  virtual bool on_kill_focus(WindowRef& ref, WindowRef& other);
  virtual bool on_mouse_move(WindowRef& ref, const mouse_pos& pos, WPARAM keys);
  virtual bool on_left_down(WindowRef& ref, const mouse_pos& pos, bool double_click);
  virtual bool on_left_up(WindowRef& ref, const mouse_pos& pos);
  virtual bool on_right_down(WindowRef& ref, const mouse_pos& pos, bool double_click);
  virtual bool on_right_up(WindowRef& ref, const mouse_pos& pos);
  virtual bool on_middle_down(WindowRef& ref, const mouse_pos& pos, bool double_click);
  virtual bool on_middle_up(WindowRef& ref, const mouse_pos& pos);
  // notches: whole wheel steps of 120, truncated toward zero.
  virtual bool on_mouse_wheel(WindowRef& ref, const mouse_pos& pos, int notches);
  // down: 1 for a key press, 0 for a release.
  virtual bool on_key(WindowRef& ref, int down, WPARAM key, unsigned repeat);
  virtual bool on_char(WindowRef& ref, WPARAM code, unsigned repeat);
  virtual bool on_command(WindowRef& ref, unsigned id, unsigned code);
  // *result is preset to 1 and becomes the procedure's answer when handled.
  virtual bool on_notify(WindowRef& ref, NMHDR* header, LRESULT* result);
  // Every message without a slot of its own; its result is the procedure's answer. The
  // default hands the message to the previous procedure so the control keeps working.
  virtual LRESULT on_message(WindowRef& ref, UINT message, WPARAM wparam, LPARAM lparam);
  // Sees every message first; true makes *result the procedure's answer.
  virtual bool filter_message(WindowRef& ref, UINT message, WPARAM wparam, LPARAM lparam,
                              LRESULT* result);

  // Subclasses the window (detaching first from any window it was attached to).
  void attach(HWND window);
  // Puts the previous procedure back, then removes the property.
  void detach();
  bool attached() const { return window_ != nullptr; }
  const WindowRef* ref() const { return ref_.get(); }

  static LRESULT CALLBACK subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 protected:
  // Not deleted through this interface; a control still attached detaches itself.
  ~Control();
  // The control's own behaviour for a message.
  LRESULT call_previous(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LRESULT dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  WNDPROC previous_ = nullptr;
  std::unique_ptr<WindowRef> ref_;  // null while detached
  HWND window_ = nullptr;           // the subclassed window, even if ref_ could not be made
};

}  // namespace orelib::window
