#pragma once
// The host installer's progress window: shows what the plug-in appends and tells it
// whether the user cancelled.

#include <windows.h>

#include <string>
#include <vector>

#include "support/handles.h"

namespace host {

class ProgressWindow {
 public:
  // A hidden window unless visible is set (the interactive host shows it).
  explicit ProgressWindow(bool visible = false);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  HWND hwnd() const { return window_.get(); }

  // Every text received with PM_APPEND_PROGRESS, in order, and all of them joined.
  const std::vector<std::string>& texts() const { return texts_; }
  std::string text() const;

  // Answers "cancelled" to the n-th PM_QUERY_CANCEL (1-based) and to every later one;
  // 0 never cancels.
  void cancel_at(int n) { cancel_at_ = n; }
  // Answers "cancelled" to every PM_QUERY_CANCEL from ms milliseconds after this call on.
  void cancel_after(DWORD ms) {
    cancel_from_ = GetTickCount() + ms;
    cancel_timed_ = true;
  }
  int cancel_queries() const { return queries_; }

  // Appends a line of the host's own (the download progress, for instance).
  void append(const std::string& text);

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  orelib::window_handle window_;
  HWND edit_ = nullptr;  // a child: destroyed with window_
  std::vector<std::string> texts_;
  int cancel_at_ = 0;
  bool cancel_timed_ = false;
  DWORD cancel_from_ = 0;
  int queries_ = 0;
};

}  // namespace host
