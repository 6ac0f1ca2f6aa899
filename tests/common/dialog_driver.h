#pragma once
// Drives the dialog boxes (window class "#32770": modal dialogs and message boxes) that the
// current thread shows, from a timer running inside their modal loop, so that code calling
// DialogBoxParam or MessageBox can be tested under a display-less Wine without a person.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// What a box showed when its turn came, as the user reads it (UTF-16, whatever the code page).
struct DrivenBox {
  std::wstring caption;
  std::wstring text;         // the message of a message box; empty for other dialogs
  std::vector<int> buttons;  // those of IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO
  int answer = 0;            // the button a script pressed; 0 for a box handed to a step
};

class DialogDriver {
 public:
  // Called once for each box, after it is initialised and its modal loop runs. It reads the
  // controls and presses buttons.
  using Step = std::function<void(HWND box)>;

  explicit DialogDriver(Step step);
  // The n-th box is answered with the button answers[n]; boxes beyond the script with IDCANCEL.
  explicit DialogDriver(std::vector<int> answers = {});
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Every dialog box created on this thread while the driver was installed.
  const std::vector<HWND>& created() const { return created_; }
  // Every box driven so far, in order.
  const std::vector<DrivenBox>& boxes() const { return boxes_; }
  // A box was still open about a second after its turn: it was ended, so that a failing test
  // cannot hang.
  bool forced() const { return forced_; }

 private:
  static LRESULT CALLBACK cbt_hook(int code, WPARAM wparam, LPARAM lparam);
  static void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD);
  void tick();
  void drive(HWND box);

  Step step_;
  bool scripted_ = false;
  std::vector<int> script_;
  HHOOK hook_ = nullptr;
  UINT_PTR timer_ = 0;
  std::vector<HWND> created_;
  std::vector<DrivenBox> boxes_;
  std::vector<HWND> waiting_;  // driven, not yet gone
  size_t driven_ = 0;
  int waited_ticks_ = 0;
  bool forced_ = false;
  DialogDriver* previous_ = nullptr;
};

// Reading and pressing the controls of a box. text_of is the text in the system's code page;
// shown_text_of the text the user reads.
std::string text_of(HWND window);
std::wstring shown_text_of(HWND window);
std::string class_of(HWND window);
// Clicks a button as the mouse would (the button notifies its dialog).
void click(HWND box, int id);
// The box's static texts as the user reads them, in creation order.
std::vector<std::wstring> static_texts(HWND box);

}  // namespace testing_support
