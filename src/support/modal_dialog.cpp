#include "support/modal_dialog.h"

#include <algorithm>
#include <new>

#include "support/control.h"
#include "support/window.h"

namespace orelib::window {

BaseModalDlg::BaseModalDlg(HINSTANCE instance, int template_id)
    : instance_(instance), template_id_(template_id) {}

BaseModalDlg::~BaseModalDlg() = default;

bool BaseModalDlg::on_init_dialog(WindowRef&) { return false; }

bool BaseModalDlg::on_close(WindowRef& ref) {
  EndDialog(ref.handle(), 0);
  return false;
}

bool BaseModalDlg::on_destroy(WindowRef&) { return false; }
bool BaseModalDlg::on_command(WindowRef&, unsigned, unsigned) { return false; }
bool BaseModalDlg::on_size(WindowRef&, WPARAM, unsigned, unsigned) { return false; }
INT_PTR BaseModalDlg::on_message(WindowRef&, UINT, WPARAM, LPARAM) { return 0; }
bool BaseModalDlg::filter_message(WindowRef&, UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

BaseModalDlg::Registration& BaseModalDlg::registration(int index) {
  Registration* all = heap_ ? heap_.get() : inline_;
  return all[index];
}

bool BaseModalDlg::register_control(int id, Control* control) {
  if (count_ >= kInlineRegistrations && count_ >= heap_capacity_) {
    const int capacity = std::max(2 * kInlineRegistrations, 2 * heap_capacity_);
    std::unique_ptr<Registration[]> grown(new (std::nothrow) Registration[capacity]);
    if (!grown) return false;
    for (int i = 0; i < count_; ++i) grown[i] = registration(i);
    heap_ = std::move(grown);
    heap_capacity_ = capacity;
  }
  registration(count_) = Registration{id, control};
  ++count_;
  return true;
}

int BaseModalDlg::do_modal(Window* owner) {
  // A Unicode dialog: the template's texts and every text set in UTF-16 reach the controls
  // whole, whatever the system's code page (an ANSI dialog passes them through that page).
  return static_cast<int>(DialogBoxParamW(instance_, MAKEINTRESOURCEW(template_id_),
                                          owner ? owner->handle() : nullptr, &dialog_proc,
                                          reinterpret_cast<LPARAM>(this)));
}

void BaseModalDlg::bind(HWND window) {
  SetPropA(window, kWindowProp, this);
  ref_.reset(new (std::nothrow) WindowRef(window));
  // Without a WindowRef nothing would ever detach the controls: leave them alone.
  if (!ref_) return;
  for (int i = 0; i < count_; ++i) {
    Registration& entry = registration(i);
    if (entry.control) entry.control->attach(GetDlgItem(window, entry.id));
  }
}

void BaseModalDlg::unbind() {
  ref_.reset();
  for (int i = 0; i < count_; ++i) {
    Registration& entry = registration(i);
    if (entry.control) entry.control->detach();
  }
}

INT_PTR CALLBACK BaseModalDlg::dialog_proc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* dialog = static_cast<BaseModalDlg*>(GetPropA(window, kWindowProp));
  if (!dialog) {
    // Messages before WM_INITDIALOG (WM_SETFONT, for one) reach no handler.
    if (message != WM_INITDIALOG || lparam == 0) return 0;
    dialog = reinterpret_cast<BaseModalDlg*>(lparam);
    dialog->bind(window);
  }
  if (!dialog->ref_) return 0;
  try {
    return dialog->dispatch(message, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's dialog code. A failed WM_DESTROY handler
    // must still unbind, or the controls would stay subclassed.
    if (message == WM_DESTROY) dialog->unbind();
    return 0;
  }
}

INT_PTR BaseModalDlg::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  WindowRef& ref = *ref_;
  INT_PTR result = lparam;
  if (filter_message(ref, message, wparam, lparam, &result)) return result;

  switch (message) {
    case WM_DESTROY: {
      const HWND window = ref.handle();
      const bool handled = on_destroy(ref);
      if (handled) RemovePropA(window, kWindowProp);
      unbind();
      return handled ? 1 : 0;
    }
    case WM_SIZE:
      return on_size(ref, wparam, LOWORD(lparam), HIWORD(lparam)) ? 1 : 0;
    case WM_CLOSE:
      return on_close(ref) ? 1 : 0;
    case WM_INITDIALOG:
      return on_init_dialog(ref) ? 1 : 0;
    case WM_COMMAND:
      return on_command(ref, LOWORD(wparam), HIWORD(wparam)) ? 1 : 0;
    default:
      return on_message(ref, message, wparam, lparam);
  }
}

bool show_modal(BaseModalDlg& dialog, HWND owner) {
  Window window(owner);
  return dialog.do_modal(&window) != 0;
}

}  // namespace orelib::window
