#pragma once
// Modal dialogs from resource templates: the dialog's window messages become calls of
// virtual handlers. A true handler result means the message was handled.

#include <windows.h>

#include <memory>

#include "support/window_ref.h"

namespace orelib::window {

class Control;
class Window;

class BaseModalDlg {
 public:
  // instance: the module holding the template; template_id: the dialog resource's id.
  BaseModalDlg(HINSTANCE instance, int template_id);
  virtual ~BaseModalDlg();
  BaseModalDlg(const BaseModalDlg&) = delete;
  BaseModalDlg& operator=(const BaseModalDlg&) = delete;

  virtual bool on_init_dialog(WindowRef& ref);
  // The default ends the dialog with result 0 and still reports "not handled".
  virtual bool on_close(WindowRef& ref);
  virtual bool on_destroy(WindowRef& ref);
  virtual bool on_command(WindowRef& ref, unsigned id, unsigned code);
  virtual bool on_size(WindowRef& ref, WPARAM kind, unsigned width, unsigned height);
  // Every message without a handler of its own; the result is the dialog procedure's.
  virtual INT_PTR on_message(WindowRef& ref, UINT message, WPARAM wparam, LPARAM lparam);
  // Sees every message first; true makes *result the dialog procedure's answer.
  virtual bool filter_message(WindowRef& ref, UINT message, WPARAM wparam, LPARAM lparam,
                              INT_PTR* result);

  // Subclasses the child with this id while the dialog exists. The control is not owned
  // and must outlive the dialog window. Call before do_modal; false when out of memory.
  bool register_control(int id, Control* control);
  int control_count() const { return count_; }

  // Runs the dialog owned by owner (may be null); the result of DialogBoxParamW.
  int do_modal(Window* owner);

  HINSTANCE instance() const { return instance_; }
  int template_id() const { return template_id_; }

  static INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  struct Registration {
    int id = 0;
    Control* control = nullptr;
  };
  static constexpr int kInlineRegistrations = 20;

  Registration& registration(int index);
  void bind(HWND window);
  void unbind();
  INT_PTR dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  std::unique_ptr<WindowRef> ref_;  // set from WM_INITDIALOG to WM_DESTROY
  HINSTANCE instance_;
  // Registrations live inline; past twenty they move to the heap array.
  int count_ = 0;
  std::unique_ptr<Registration[]> heap_;
  int heap_capacity_ = 0;
  Registration inline_[kInlineRegistrations] = {};
  int template_id_;
};

// Runs dialog over the owner window (may be null); true when the dialog ended with a
// result other than 0.
bool show_modal(BaseModalDlg& dialog, HWND owner);

}  // namespace orelib::window
