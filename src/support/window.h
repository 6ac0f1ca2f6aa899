#pragma once
// A wrapper of an existing window: its handle, text metrics, scroll bars and a tree of
// items bound to it. Modal dialogs receive their owner as one.

#include <windows.h>

#include <memory>

#include "support/orelib_string.h"

namespace orelib::window {

// One scroll bar (SB_VERT or SB_HORZ) of a window. Every setter hands the whole record to
// the system and reads back what the system made of it (positions are clamped there).
class ScrollBar {
 public:
  ScrollBar(HWND window, int bar);

  virtual BOOL set_range(int min, int max);
  virtual BOOL set_page(UINT page);
  virtual BOOL set_pos(int pos);
  virtual int pos() const;
  virtual UINT page() const;
  // Scrolls the window's contents by delta pixels along this bar and invalidates them.
  virtual BOOL scroll(int delta);

  HWND handle() const { return window_; }
  int bar() const { return bar_; }
  const SCROLLINFO& info() const { return info_; }

 private:
  BOOL apply();

  HWND window_;
  int bar_;
  SCROLLINFO info_;
};

class ItemTree;

// A text and a number, with an optional tree of items below it.
struct TreeItem {
  TreeItem();
  ~TreeItem();
  TreeItem(TreeItem&&) noexcept;
  TreeItem& operator=(TreeItem&&) noexcept;

  orelib::string text;
  int value = 0;
  std::unique_ptr<ItemTree> children;
};

// Twenty items live inline; more move to a heap array.
class ItemTree {
 public:
  ItemTree() = default;
  ItemTree(const ItemTree&) = delete;
  ItemTree& operator=(const ItemTree&) = delete;

  int count() const { return count_; }
  TreeItem& at(int index) { return items()[index]; }
  const TreeItem& at(int index) const { return items()[index]; }
  TreeItem& add(const orelib::string& text, int value);
  // The tree below an item, made on first use.
  ItemTree& children(int index);

 private:
  static constexpr int kInlineItems = 20;

  TreeItem* items() { return heap_ ? heap_.get() : inline_; }
  const TreeItem* items() const { return heap_ ? heap_.get() : inline_; }

  int count_ = 0;
  std::unique_ptr<TreeItem[]> heap_;
  int heap_capacity_ = 0;
  TreeItem inline_[kInlineItems];
};

class Window {
 public:
  // Reads the window's text metrics when the handle is not null.
  explicit Window(HWND handle);
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return handle_; }
  const TEXTMETRICA& text_metrics() const { return metrics_; }
  ScrollBar& vertical() { return vertical_; }
  ScrollBar& horizontal() { return horizontal_; }
  ItemTree& items() { return items_; }

 private:
  HWND handle_;
  TEXTMETRICA metrics_{};
  ScrollBar vertical_;
  ScrollBar horizontal_;
  ItemTree items_;
};

}  // namespace orelib::window
