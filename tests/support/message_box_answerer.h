#pragma once
// Answers dialog boxes that the current thread shows (message boxes, modal dialogs: window
// class "#32770") without a person, so that code calling MessageBoxA or DialogBox can be
// tested under a display-less Wine.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// What a dialog box showed when it was answered.
struct AnsweredBox {
  std::string caption;
  std::string text;          // the message of a message box; empty for other dialogs
  std::vector<int> buttons;  // IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO present
  int answer = 0;            // the button pressed; 0 when the handler left the box alone
};

class MessageBoxAnswerer {
 public:
  // Decides which button to press for a box that is up; 0 presses nothing.
  using Handler = std::function<int(HWND box)>;

  // The n-th box this thread shows is answered with answers[n]; boxes beyond the script
  // are answered IDCANCEL.
  explicit MessageBoxAnswerer(std::vector<int> answers = {});
  explicit MessageBoxAnswerer(Handler handler);
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  bool active() const { return hook_ != nullptr; }
  const std::vector<AnsweredBox>& boxes() const { return boxes_; }

 private:
  static LRESULT CALLBACK cbt_hook(int code, WPARAM wparam, LPARAM lparam);
  void answer(HWND box);

  HHOOK hook_ = nullptr;
  Handler handler_;
  std::vector<int> script_;
  std::vector<HWND> seen_;
  std::vector<AnsweredBox> boxes_;
  MessageBoxAnswerer* previous_ = nullptr;
};

}  // namespace testing_support
