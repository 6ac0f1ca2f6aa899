#include "dialog_driver.h"

#include <algorithm>

namespace dialog_testing {
namespace {

thread_local DialogDriver* t_current = nullptr;

constexpr UINT kTickMs = 20;
constexpr int kGraceTicks = 50;

}  // namespace

std::string text_of(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::string class_of(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

void click(HWND box, int id) { SendMessageA(GetDlgItem(box, id), BM_CLICK, 0, 0); }

std::vector<std::string> static_texts(HWND box) {
  std::vector<std::string> texts;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiA(class_of(child).c_str(), "Static") == 0) texts.push_back(text_of(child));
  }
  return texts;
}

DialogDriver::DialogDriver(Step step) : step_(std::move(step)) {
  previous_ = t_current;
  t_current = this;
  hook_ = SetWindowsHookExA(WH_CBT, cbt_hook, nullptr, GetCurrentThreadId());
  timer_ = SetTimer(nullptr, 0, kTickMs, on_timer);
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
  // Boxes the step left open are ended, so a failing test cannot hang.
  waiting_.erase(
      std::remove_if(waiting_.begin(), waiting_.end(), [](HWND box) { return !IsWindow(box); }),
      waiting_.end());
  if (!waiting_.empty() && ++waited_ticks_ > kGraceTicks) {
    forced_ = true;
    for (HWND box : waiting_) EndDialog(box, 0);
    waiting_.clear();
  }
  for (size_t i = static_cast<size_t>(driven_); i < created_.size(); ++i) {
    const HWND box = created_[i];
    ++driven_;
    if (!IsWindow(box)) continue;
    waiting_.push_back(box);
    waited_ticks_ = 0;
    if (step_) step_(box);
  }
}

}  // namespace dialog_testing
