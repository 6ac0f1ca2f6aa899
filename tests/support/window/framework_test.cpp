// The modal dialog framework: the dialog procedure's binding and dispatch, subclassed
// controls, modal runs over the tests' own template, and the window wrapper.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "framework_ids.h"
#include "support/control.h"
#include "support/handles.h"
#include "support/modal_dialog.h"
#include "support/window.h"

using orelib::window::BaseModalDlg;
using orelib::window::Control;
using orelib::window::kWindowProp;
using orelib::window::mouse_pos;
using orelib::window::WindowRef;
using testing_support::click;
using testing_support::DialogDriver;
using testing_support::text_of;

namespace {

// A window destroyed at the end of the test.
orelib::window_handle make_window(const char* window_class, DWORD style, HWND parent = nullptr) {
  return orelib::window_handle(CreateWindowExA(0, window_class, "", style, 0, 0, 200, 100, parent,
                                               nullptr, GetModuleHandleA(nullptr), nullptr));
}

// Records every handler call of a dialog as "name:arguments".
class RecordingDialog : public BaseModalDlg {
 public:
  RecordingDialog() : BaseModalDlg(GetModuleHandleA(nullptr), IDD_FRAMEWORK) {}

  bool on_init_dialog(WindowRef& ref) override {
    record("init", ref);
    if (watched_)
      init_saw_attached_ = watched_->attached() && watched_->ref() &&
                           GetPropA(ref.item(IDC_FIELD), kWindowProp) == watched_;
    return init_result;
  }
  bool on_close(WindowRef& ref) override {
    record("close", ref);
    return BaseModalDlg::on_close(ref);
  }
  bool on_destroy(WindowRef& ref) override {
    record("destroy", ref);
    if (watched_) destroy_saw_attached_ = watched_->attached();
    return destroy_result;
  }
  bool on_command(WindowRef& ref, unsigned id, unsigned code) override {
    record("command:" + std::to_string(id) + "," + std::to_string(code), ref);
    if (id == IDOK) EndDialog(ref.handle(), 7);
    return true;
  }
  bool on_size(WindowRef& ref, WPARAM kind, unsigned width, unsigned height) override {
    record(
        "size:" + std::to_string(kind) + "," + std::to_string(width) + "," + std::to_string(height),
        ref);
    return true;
  }
  INT_PTR on_message(WindowRef& ref, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message >= WM_USER)
      record("message:" + std::to_string(message - WM_USER) + "," + std::to_string(wparam) + "," +
                 std::to_string(lparam),
             ref);
    return message >= WM_USER ? 0x1234 : 0;
  }
  bool filter_message(WindowRef& ref, UINT message, WPARAM, LPARAM, INT_PTR* result) override {
    if (message == WM_INITDIALOG) {
      init_preset = *result;
      if (watched_) filter_saw_attached_ = watched_->attached();
    }
    if (message != filtered) return false;
    record("filtered", ref);
    *result = filter_result;
    return true;
  }

  void watch(Control* control) { watched_ = control; }

  std::vector<std::string> calls;
  HWND last_window = nullptr;
  bool init_result = true;
  bool destroy_result = false;
  UINT filtered = 0;
  INT_PTR filter_result = 0;
  INT_PTR init_preset = 0;
  bool init_saw_attached_ = false;
  bool filter_saw_attached_ = false;
  bool destroy_saw_attached_ = false;

 private:
  void record(const std::string& call, WindowRef& ref) {
    calls.push_back(call);
    last_window = ref.handle();
  }
  Control* watched_ = nullptr;
};

// Overrides only what a typical dialog does: everything else is the framework's default.
class MinimalDialog : public BaseModalDlg {
 public:
  MinimalDialog() : BaseModalDlg(GetModuleHandleA(nullptr), IDD_FRAMEWORK) {}
  bool on_init_dialog(WindowRef&) override { return true; }
  bool on_command(WindowRef& ref, unsigned id, unsigned) override {
    if (id != IDOK) return false;
    EndDialog(ref.handle(), 5);
    return true;
  }
};

// ---------------------------------------------------------------------------------------
// dialog_proc called directly on a plain window.

class DialogProc : public ::testing::Test {
 protected:
  INT_PTR send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return BaseModalDlg::dialog_proc(window_.get(), message, wparam, lparam);
  }
  LPARAM bind_lparam(BaseModalDlg& dialog) { return reinterpret_cast<LPARAM>(&dialog); }

  orelib::window_handle window_ = make_window("STATIC", WS_POPUP);
};

TEST_F(DialogProc, BindsOnlyAtInitDialogWithAnObject) {
  RecordingDialog dialog;
  EXPECT_EQ(send(WM_SETFONT), 0);
  EXPECT_EQ(send(WM_COMMAND, IDOK), 0);
  EXPECT_EQ(send(WM_INITDIALOG, 0, 0), 0);
  EXPECT_EQ(GetPropA(window_.get(), kWindowProp), nullptr);
  EXPECT_TRUE(dialog.calls.empty());

  EXPECT_EQ(send(WM_INITDIALOG, 0, bind_lparam(dialog)), 1);
  EXPECT_EQ(GetPropA(window_.get(), kWindowProp), &dialog);
  EXPECT_EQ(dialog.calls, std::vector<std::string>{"init"});
  EXPECT_EQ(dialog.last_window, window_.get());
  EXPECT_EQ(dialog.init_preset, bind_lparam(dialog));  // the filter's result starts as lParam
  RemovePropA(window_.get(), kWindowProp);

  RecordingDialog refusing;
  refusing.init_result = false;
  EXPECT_EQ(send(WM_INITDIALOG, 0, bind_lparam(refusing)), 0);
  RemovePropA(window_.get(), kWindowProp);
}

TEST_F(DialogProc, DispatchesEachMessageToItsSlot) {
  RecordingDialog dialog;
  send(WM_INITDIALOG, 0, bind_lparam(dialog));
  dialog.calls.clear();

  EXPECT_EQ(send(WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(640, 65535)), 1);
  EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(1234, 0xFFFF), 0), 1);
  EXPECT_EQ(send(WM_USER + 7, 5, 6), 0x1234);  // on_message's value, unchanged
  EXPECT_EQ(send(WM_CLOSE), 0);                // the default: EndDialog and "not handled"
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"size:2,640,65535", "command:1234,65535",
                                                    "message:7,5,6", "close"}));

  dialog.calls.clear();
  dialog.filtered = WM_USER + 8;
  dialog.filter_result = 99;
  EXPECT_EQ(send(WM_USER + 8, 1, 2), 99);
  EXPECT_EQ(dialog.calls, std::vector<std::string>{"filtered"});
  RemovePropA(window_.get(), kWindowProp);
}

TEST_F(DialogProc, DefaultsAnswerZero) {
  MinimalDialog dialog;
  EXPECT_EQ(send(WM_INITDIALOG, 0, bind_lparam(dialog)), 1);
  EXPECT_EQ(send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10)), 0);
  EXPECT_EQ(send(WM_USER + 1, 1, 1), 0);
  EXPECT_EQ(send(WM_PAINT), 0);
  EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)), 0);
  EXPECT_EQ(send(WM_DESTROY), 0);
  EXPECT_EQ(GetPropA(window_.get(), kWindowProp), &dialog);  // on_destroy said "not handled"
  RemovePropA(window_.get(), kWindowProp);
}

TEST_F(DialogProc, FilteredInitDialogStillBinds) {
  RecordingDialog dialog;
  dialog.filtered = WM_INITDIALOG;
  dialog.filter_result = 42;
  EXPECT_EQ(send(WM_INITDIALOG, 0, bind_lparam(dialog)), 42);
  EXPECT_EQ(dialog.calls, std::vector<std::string>{"filtered"});  // no "init"
  EXPECT_EQ(GetPropA(window_.get(), kWindowProp), &dialog);
  EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(9, 0)), 1);
  EXPECT_EQ(dialog.calls.back(), "command:9,0");
  RemovePropA(window_.get(), kWindowProp);
}

TEST_F(DialogProc, DestroyUnbindsAndRemovesThePropertyWhenHandled) {
  for (const bool handled : {true, false}) {
    SCOPED_TRACE(handled ? "on_destroy true" : "on_destroy false");
    RecordingDialog dialog;
    dialog.destroy_result = handled;
    send(WM_INITDIALOG, 0, bind_lparam(dialog));
    dialog.calls.clear();

    EXPECT_EQ(send(WM_DESTROY), handled ? 1 : 0);
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"destroy"});
    EXPECT_EQ(GetPropA(window_.get(), kWindowProp), handled ? nullptr : &dialog);
    // Unbound: later messages reach no handler, and nothing answers but 0.
    EXPECT_EQ(send(WM_NCDESTROY), 0);
    EXPECT_EQ(send(WM_USER + 3), 0);
    EXPECT_EQ(send(WM_COMMAND, IDOK), 0);
    EXPECT_EQ(dialog.calls.size(), 1u);
    RemovePropA(window_.get(), kWindowProp);
  }
}

// ---------------------------------------------------------------------------------------
// Subclassed controls, on a real edit control.

class RecordingControl : public Control {
 public:
  bool handle_all = true;
  UINT filtered = 0;
  std::vector<std::string> calls;
  HWND other = nullptr;
  mouse_pos pos{};

  bool on_init_dialog(WindowRef&) override { return note("init"); }
  bool on_close(WindowRef&) override { return note("close"); }
  bool on_destroy(WindowRef&) override { return note("destroy"); }
  bool on_set_focus(WindowRef&, WindowRef& losing) override {
    other = losing.handle();
    return note("set_focus");
  }
  bool on_kill_focus(WindowRef&, WindowRef& gaining) override {
    other = gaining.handle();
    return note("kill_focus");
  }
  bool on_mouse_move(WindowRef&, const mouse_pos& at, WPARAM keys) override {
    pos = at;
    return note("move:" + std::to_string(keys));
  }
  bool on_left_down(WindowRef&, const mouse_pos& at, bool double_click) override {
    pos = at;
    return note(std::string("left_down:") + (double_click ? "double" : "single"));
  }
  bool on_left_up(WindowRef&, const mouse_pos& at) override {
    pos = at;
    return note("left_up");
  }
  bool on_right_down(WindowRef&, const mouse_pos&, bool double_click) override {
    return note(std::string("right_down:") + (double_click ? "double" : "single"));
  }
  bool on_right_up(WindowRef&, const mouse_pos&) override { return note("right_up"); }
  bool on_middle_down(WindowRef&, const mouse_pos&, bool double_click) override {
    return note(std::string("middle_down:") + (double_click ? "double" : "single"));
  }
  bool on_middle_up(WindowRef&, const mouse_pos&) override { return note("middle_up"); }
  bool on_mouse_wheel(WindowRef&, const mouse_pos&, int notches) override {
    return note("wheel:" + std::to_string(notches));
  }
  bool on_key(WindowRef&, int down, WPARAM key, unsigned repeat) override {
    return note("key:" + std::to_string(down) + "," + std::to_string(key) + "," +
                std::to_string(repeat));
  }
  bool on_char(WindowRef&, WPARAM code, unsigned repeat) override {
    return note("char:" + std::to_string(code) + "," + std::to_string(repeat));
  }
  bool on_command(WindowRef&, unsigned id, unsigned code) override {
    return note("command:" + std::to_string(id) + "," + std::to_string(code));
  }
  bool on_notify(WindowRef&, NMHDR* header, LRESULT* result) override {
    if (header && header->code == 77) *result = 77;
    return note("notify:" + std::to_string(*result));
  }
  bool filter_message(WindowRef&, UINT message, WPARAM, LPARAM, LRESULT* result) override {
    if (message != filtered) return false;
    calls.push_back("filtered");
    *result = 5;
    return true;
  }

 private:
  bool note(const std::string& call) {
    calls.push_back(call);
    return handle_all;
  }
};

class ControlProc : public ::testing::Test {
 protected:
  LRESULT send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendMessageA(edit_.get(), message, wparam, lparam);
  }

  orelib::window_handle parent_ = make_window("STATIC", WS_POPUP);
  orelib::window_handle edit_ =
      make_window("EDIT", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, parent_.get());
};

TEST_F(ControlProc, AttachSubclassesAndDetachRestores) {
  const LONG_PTR original = GetWindowLongPtrA(edit_.get(), GWLP_WNDPROC);
  RecordingControl control;
  control.attach(edit_.get());
  EXPECT_EQ(GetWindowLongPtrA(edit_.get(), GWLP_WNDPROC),
            reinterpret_cast<LONG_PTR>(&Control::subclass_proc));
  EXPECT_EQ(GetPropA(edit_.get(), kWindowProp), &control);
  ASSERT_NE(control.ref(), nullptr);
  EXPECT_EQ(control.ref()->handle(), edit_.get());

  // Messages without a slot go through the default on_message to the edit control itself.
  SetWindowTextA(edit_.get(), "abc");
  EXPECT_EQ(text_of(edit_.get()), "abc");

  control.detach();
  EXPECT_EQ(GetWindowLongPtrA(edit_.get(), GWLP_WNDPROC), original);
  EXPECT_EQ(GetPropA(edit_.get(), kWindowProp), nullptr);
  EXPECT_EQ(control.ref(), nullptr);
  send(WM_CHAR, 'z', 1);
  EXPECT_TRUE(control.calls.empty());
  EXPECT_EQ(text_of(edit_.get()), "zabc");  // the caret stays at the start
}

TEST_F(ControlProc, PassesTheArgumentsOfEachSlot) {
  RecordingControl control;
  control.attach(edit_.get());
  EXPECT_EQ(send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-5, -7)), 0);
  EXPECT_EQ(control.pos.window, edit_.get());
  EXPECT_EQ(control.pos.x, -5);
  EXPECT_EQ(control.pos.y, -7);
  EXPECT_EQ(send(WM_LBUTTONDOWN, 0, MAKELPARAM(3, 4)), 0);
  EXPECT_EQ(control.pos.x, 3);
  EXPECT_EQ(control.pos.y, 4);
  send(WM_LBUTTONDBLCLK);
  send(WM_LBUTTONUP);
  send(WM_RBUTTONDOWN);
  send(WM_RBUTTONDBLCLK);
  send(WM_RBUTTONUP);
  send(WM_MBUTTONDBLCLK);
  send(WM_MBUTTONUP);
  EXPECT_EQ(send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), 0), 0);
  send(WM_MOUSEWHEEL, MAKEWPARAM(0, 100), 0);
  send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-119)), 0);
  EXPECT_EQ(send(WM_KEYDOWN, VK_F5, MAKELPARAM(3, 0x3F)), 0);
  send(WM_KEYUP, VK_F5, MAKELPARAM(1, 0x3F));
  EXPECT_EQ(send(WM_CHAR, 'x', 2), 0);
  EXPECT_EQ(control.calls,
            (std::vector<std::string>{"move:1", "left_down:single", "left_down:double", "left_up",
                                      "right_down:single", "right_down:double", "right_up",
                                      "middle_down:double", "middle_up", "wheel:-2", "wheel:0",
                                      "wheel:0", "key:1,116,3", "key:0,116,1", "char:120,2"}));
  EXPECT_EQ(text_of(edit_.get()), "");  // handled: the edit control never saw the character

  control.calls.clear();
  const HWND other = parent_.get();
  EXPECT_EQ(send(WM_SETFOCUS, reinterpret_cast<WPARAM>(other)), 0);
  EXPECT_EQ(control.other, other);
  control.other = nullptr;
  EXPECT_EQ(send(WM_KILLFOCUS, reinterpret_cast<WPARAM>(other)), 0);
  EXPECT_EQ(control.other, other);
  EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(12, 34)), 1);
  NMHDR header{edit_.get(), 300, 1};
  EXPECT_EQ(send(WM_NOTIFY, 300, reinterpret_cast<LPARAM>(&header)), 1);  // preset
  header.code = 77;
  EXPECT_EQ(send(WM_NOTIFY, 300, reinterpret_cast<LPARAM>(&header)), 77);
  EXPECT_EQ(send(WM_INITDIALOG), 1);
  EXPECT_EQ(send(WM_CLOSE), 1);
  EXPECT_EQ(send(WM_DESTROY), 1);  // handled, so the edit control is not torn down
  EXPECT_EQ(control.calls,
            (std::vector<std::string>{"set_focus", "kill_focus", "command:12,34", "notify:1",
                                      "notify:77", "init", "close", "destroy"}));
  control.detach();
}

TEST_F(ControlProc, UnhandledAndFilteredMessages) {
  RecordingControl control;
  control.handle_all = false;
  control.attach(edit_.get());
  send(WM_CHAR, 'a', 1);
  EXPECT_EQ(text_of(edit_.get()), "a");  // not handled: the previous procedure ran
  EXPECT_EQ(control.calls, std::vector<std::string>{"char:97,1"});

  control.calls.clear();
  control.filtered = WM_CHAR;
  EXPECT_EQ(send(WM_CHAR, 'b', 1), 5);
  EXPECT_EQ(control.calls, std::vector<std::string>{"filtered"});
  EXPECT_EQ(text_of(edit_.get()), "a");
  control.detach();
}

TEST_F(ControlProc, AttachingElsewhereOrDestroyingDetaches) {
  const orelib::window_handle second = make_window("EDIT", WS_CHILD, parent_.get());
  const LONG_PTR original = GetWindowLongPtrA(edit_.get(), GWLP_WNDPROC);
  {
    RecordingControl control;
    control.attach(edit_.get());
    control.attach(second.get());
    EXPECT_EQ(GetWindowLongPtrA(edit_.get(), GWLP_WNDPROC), original);
    EXPECT_EQ(GetPropA(edit_.get(), kWindowProp), nullptr);
    EXPECT_EQ(GetPropA(second.get(), kWindowProp), &control);
  }
  EXPECT_EQ(GetWindowLongPtrA(second.get(), GWLP_WNDPROC), original);
  EXPECT_EQ(GetPropA(second.get(), kWindowProp), nullptr);
  SetWindowTextA(second.get(), "still an edit control");
  EXPECT_EQ(text_of(second.get()), "still an edit control");
}

// ---------------------------------------------------------------------------------------
// Modal runs over the tests' template.

class ModalDialog : public ::testing::Test {
 protected:
  orelib::window_handle owner_ = make_window("STATIC", WS_POPUP);
};

TEST_F(ModalDialog, RegisteredControlIsAttachedForTheDialogsLifetime) {
  RecordingDialog dialog;
  RecordingControl field;
  field.handle_all = false;
  // Twenty ids the template lacks fill the inline registrations; the field goes on the heap.
  std::vector<std::unique_ptr<RecordingControl>> absent;
  for (int i = 0; i < 20; ++i) {
    absent.push_back(std::make_unique<RecordingControl>());
    ASSERT_TRUE(dialog.register_control(900 + i, absent.back().get()));
  }
  ASSERT_TRUE(dialog.register_control(IDC_FIELD, &field));
  EXPECT_EQ(dialog.control_count(), 21);
  dialog.watch(&field);

  HWND seen_owner = nullptr;
  std::string typed;
  DialogDriver driver([&](HWND box) {
    seen_owner = GetWindow(box, GW_OWNER);
    const HWND edit = GetDlgItem(box, IDC_FIELD);
    SendMessageA(edit, WM_CHAR, 'q', 1);
    typed = text_of(edit);
    click(box, IDOK);
  });
  EXPECT_TRUE(orelib::window::show_modal(dialog, owner_.get()));
  EXPECT_EQ(driver.created().size(), 1u);
  EXPECT_FALSE(driver.forced());

  EXPECT_TRUE(dialog.filter_saw_attached_);   // attached before filter_message
  EXPECT_TRUE(dialog.init_saw_attached_);     // and before on_init_dialog
  EXPECT_TRUE(dialog.destroy_saw_attached_);  // still attached in on_destroy
  EXPECT_FALSE(field.attached());             // detached after it
  for (const auto& control : absent) EXPECT_FALSE(control->attached());
  EXPECT_EQ(seen_owner, owner_.get());
  EXPECT_EQ(field.calls, std::vector<std::string>{"char:113,1"});
  EXPECT_EQ(typed, "q");
  ASSERT_FALSE(dialog.calls.empty());
  EXPECT_EQ(dialog.calls.front(), "init");
  EXPECT_EQ(dialog.calls.back(), "destroy");
}

TEST_F(ModalDialog, DefaultCloseEndsWithZero) {
  MinimalDialog dialog;
  INT_PTR size_answer = -1;
  INT_PTR other_answer = -1;
  DialogDriver driver([&](HWND box) {
    // The dialog's own procedure, called directly on the bound dialog window.
    size_answer = BaseModalDlg::dialog_proc(box, WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10));
    other_answer = BaseModalDlg::dialog_proc(box, WM_USER + 1, 0, 0);
    SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
  });
  EXPECT_FALSE(orelib::window::show_modal(dialog, nullptr));
  EXPECT_FALSE(driver.forced());
  EXPECT_EQ(size_answer, 0);
  EXPECT_EQ(other_answer, 0);

  MinimalDialog confirmed;
  HWND seen_owner = owner_.get();
  DialogDriver ok_driver([&](HWND box) {
    seen_owner = GetWindow(box, GW_OWNER);
    click(box, IDOK);
  });
  EXPECT_TRUE(orelib::window::show_modal(confirmed, nullptr));
  EXPECT_EQ(seen_owner, nullptr);
}

TEST_F(ModalDialog, MissingTemplateFailsWithoutADialog) {
  class Nowhere : public BaseModalDlg {
   public:
    Nowhere() : BaseModalDlg(GetModuleHandleA(nullptr), 4711) {}
  } dialog;
  DialogDriver driver(nullptr);
  EXPECT_EQ(dialog.do_modal(nullptr), -1);
  EXPECT_TRUE(driver.created().empty());
}

// ---------------------------------------------------------------------------------------
// The window wrapper, its scroll bars and item tree.

TEST(WindowWrapper, ScrollBarsReadBackWhatTheSystemKept) {
  const orelib::window_handle window =
      make_window("STATIC", WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL);
  orelib::window::Window wrapper(window.get());
  EXPECT_EQ(wrapper.handle(), window.get());
  EXPECT_GT(wrapper.text_metrics().tmHeight, 0);

  auto& vertical = wrapper.vertical();
  auto& horizontal = wrapper.horizontal();
  EXPECT_EQ(vertical.info().cbSize, 28u);
  EXPECT_EQ(vertical.info().fMask, 0x17u);
  EXPECT_EQ(vertical.bar(), SB_VERT);
  EXPECT_EQ(horizontal.bar(), SB_HORZ);

  EXPECT_TRUE(vertical.set_range(0, 100));
  EXPECT_TRUE(vertical.set_page(10));
  EXPECT_TRUE(vertical.set_pos(95));
  EXPECT_EQ(vertical.pos(), 91);  // the system keeps the page inside the range
  EXPECT_EQ(vertical.page(), 10u);
  EXPECT_EQ(GetScrollPos(window.get(), SB_VERT), 91);

  EXPECT_TRUE(horizontal.set_range(0, 50));
  EXPECT_TRUE(horizontal.set_pos(20));
  EXPECT_EQ(horizontal.pos(), 20);
  EXPECT_EQ(GetScrollPos(window.get(), SB_HORZ), 20);
  EXPECT_EQ(GetScrollPos(window.get(), SB_VERT), 91);

  EXPECT_NE(vertical.scroll(-10), ERROR);
  EXPECT_NE(horizontal.scroll(5), ERROR);

  orelib::window::Window none(nullptr);
  EXPECT_EQ(none.text_metrics().tmHeight, 0);
}

TEST(WindowWrapper, ItemTreeGrowsPastItsInlineItems) {
  orelib::window::Window wrapper(nullptr);
  auto& items = wrapper.items();
  for (int i = 0; i < 45; ++i) items.add("item " + std::to_string(i), i * 10);
  ASSERT_EQ(items.count(), 45);
  EXPECT_EQ(items.at(0).text, "item 0");
  EXPECT_EQ(items.at(19).value, 190);
  EXPECT_EQ(items.at(44).text, "item 44");

  auto& nested = items.children(3);
  for (int i = 0; i < 25; ++i) nested.add("child", i);
  nested.children(24).add("grandchild", -1);
  EXPECT_EQ(items.at(3).children->count(), 25);
  EXPECT_EQ(items.at(3).children->at(24).children->at(0).text, "grandchild");
  EXPECT_EQ(items.at(4).children, nullptr);
}

}  // namespace
