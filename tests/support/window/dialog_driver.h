#pragma once
// Drives the dialog boxes (window class "#32770": modal dialogs and message boxes) that
// the current thread shows, from a timer running inside their modal loop, so that code
// calling DialogBoxParam or MessageBox can be tested without a person.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dialog_testing {

class DialogDriver {
 public:
  // Called once for each box, after it is initialised and its modal loop runs. It reads
  // the controls and presses buttons; a box it leaves open is ended after about a second.
  using Step = std::function<void(HWND box)>;

  explicit DialogDriver(Step step);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Every dialog box created on this thread while the driver was installed.
  const std::vector<HWND>& created() const { return created_; }
  int driven() const { return driven_; }
  // A box was still open after the step: the step did not close it.
  bool forced() const { return forced_; }

 private:
  static LRESULT CALLBACK cbt_hook(int code, WPARAM wparam, LPARAM lparam);
  static void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD);
  void tick();

  Step step_;
  HHOOK hook_ = nullptr;
  UINT_PTR timer_ = 0;
  std::vector<HWND> created_;
  std::vector<HWND> waiting_;  // driven, not yet gone
  int driven_ = 0;
  int waited_ticks_ = 0;
  bool forced_ = false;
  DialogDriver* previous_ = nullptr;
};

// Helpers for reading and pressing the controls of a box.
std::string text_of(HWND window);
std::string class_of(HWND window);
// Clicks a button as the mouse would (the button notifies its dialog).
void click(HWND box, int id);
// The box's static texts, in creation order.
std::vector<std::string> static_texts(HWND box);

}  // namespace dialog_testing
