#include "message_box_answerer.h"

#include <algorithm>

namespace testing_support {
namespace {

// The answerer of this thread; the hook procedure has no other way to find it.
thread_local MessageBoxAnswerer* t_current = nullptr;

// The message text of a message box lives in a static control with this identifier.
constexpr int kMessageTextId = 0xFFFF;

bool is_dialog_box(HWND window) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpA(name, "#32770") == 0;
}

std::string window_text(HWND window) {
  if (!window) return {};
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<int> answers) : MessageBoxAnswerer(Handler()) {
  script_ = std::move(answers);
}

MessageBoxAnswerer::MessageBoxAnswerer(Handler handler) : handler_(std::move(handler)) {
  previous_ = t_current;
  t_current = this;
  hook_ = SetWindowsHookExA(WH_CBT, cbt_hook, nullptr, GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (hook_) UnhookWindowsHookEx(hook_);
  t_current = previous_;
}

LRESULT CALLBACK MessageBoxAnswerer::cbt_hook(int code, WPARAM wparam, LPARAM lparam) {
  // The box is complete (controls and texts set) by the time it is activated.
  if (code == HCBT_ACTIVATE && t_current) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    if (is_dialog_box(window)) t_current->answer(window);
  } else if (code == HCBT_DESTROYWND && t_current) {
    // A later box may get the same handle: it is a new box then.
    std::vector<HWND>& seen = t_current->seen_;
    seen.erase(std::remove(seen.begin(), seen.end(), reinterpret_cast<HWND>(wparam)), seen.end());
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void MessageBoxAnswerer::answer(HWND box) {
  if (std::find(seen_.begin(), seen_.end(), box) != seen_.end()) return;
  seen_.push_back(box);

  AnsweredBox record;
  record.caption = window_text(box);
  record.text = window_text(GetDlgItem(box, kMessageTextId));
  for (const int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (GetDlgItem(box, id)) record.buttons.push_back(id);
  }
  if (handler_) {
    record.answer = handler_(box);
  } else {
    const size_t index = boxes_.size();
    record.answer = index < script_.size() ? script_[index] : IDCANCEL;
  }
  boxes_.push_back(record);
  // Posted: the box's own modal loop picks the click up and closes it.
  if (record.answer != 0)
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(record.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, record.answer)));
}

}  // namespace testing_support
