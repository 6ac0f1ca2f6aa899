#include "dialog_driver.h"

#include <algorithm>

namespace testing_support {
namespace {

// The driver of this thread; the hook and timer procedures have no other way to find it.
thread_local DialogDriver* t_current = nullptr;

constexpr UINT kTickMs = 20;
constexpr int kGraceTicks = 50;
// The message text of a message box lives in a static control with this identifier.
constexpr int kMessageTextId = 0xFFFF;

}  // namespace

std::string text_of(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::wstring shown_text_of(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::string class_of(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

void click(HWND box, int id) { SendMessageA(GetDlgItem(box, id), BM_CLICK, 0, 0); }

std::vector<std::wstring> static_texts(HWND box) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiA(class_of(child).c_str(), "Static") == 0) texts.push_back(shown_text_of(child));
  }
  return texts;
}

DialogDriver::DialogDriver(Step step) : step_(std::move(step)) {
  previous_ = t_current;
  t_current = this;
  hook_ = SetWindowsHookExA(WH_CBT, cbt_hook, nullptr, GetCurrentThreadId());
  timer_ = SetTimer(nullptr, 0, kTickMs, on_timer);
}

DialogDriver::DialogDriver(std::vector<int> answers) : DialogDriver(Step()) {
  scripted_ = true;
  script_ = std::move(answers);
}

DialogDriver::~DialogDriver() {
  if (timer_) KillTimer(nullptr, timer_);
  if (hook_) UnhookWindowsHookEx(hook_);
  t_current = previous_;
}

LRESULT CALLBACK DialogDriver::cbt_hook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND && t_current) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    if (class_of(window) == "#32770") t_current->created_.push_back(window);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void CALLBACK DialogDriver::on_timer(HWND, UINT, UINT_PTR, DWORD) {
  if (t_current) t_current->tick();
}

void DialogDriver::tick() {
  waiting_.erase(
      std::remove_if(waiting_.begin(), waiting_.end(), [](HWND box) { return !IsWindow(box); }),
      waiting_.end());
  if (!waiting_.empty() && ++waited_ticks_ > kGraceTicks) {
    forced_ = true;
    for (HWND box : waiting_) EndDialog(box, 0);
    waiting_.clear();
  }
  // By the time the timer fires inside its modal loop a box is complete: controls and texts set.
  while (driven_ < created_.size()) {
    const HWND box = created_[driven_++];
    if (!IsWindow(box)) continue;
    waiting_.push_back(box);
    waited_ticks_ = 0;
    drive(box);
  }
}

void DialogDriver::drive(HWND box) {
  DrivenBox record;
  record.caption = shown_text_of(box);
  record.text = shown_text_of(GetDlgItem(box, kMessageTextId));
  for (const int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (GetDlgItem(box, id)) record.buttons.push_back(id);
  }
  if (scripted_) {
    const size_t index = boxes_.size();
    record.answer = index < script_.size() ? script_[index] : IDCANCEL;
  }
  boxes_.push_back(record);
  if (scripted_) {
    // Posted: the box's own modal loop picks the click up and closes it.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(record.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, record.answer)));
  } else if (step_) {
    step_(box);
  }
}

}  // namespace testing_support
