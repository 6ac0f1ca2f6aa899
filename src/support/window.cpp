#include "support/window.h"

#include <algorithm>

namespace orelib::window {

namespace {

// A window's device context, released with the window.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace

ScrollBar::ScrollBar(HWND window, int bar) : window_(window), bar_(bar), info_{} {
  info_.cbSize = sizeof(SCROLLINFO);
  info_.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
}

BOOL ScrollBar::apply() {
  SetScrollInfo(window_, bar_, &info_, TRUE);
  return GetScrollInfo(window_, bar_, &info_);
}

BOOL ScrollBar::set_range(int min, int max) {
  info_.nMin = min;
  info_.nMax = max;
  return apply();
}

BOOL ScrollBar::set_page(UINT page) {
  info_.nPage = page;
  return apply();
}

BOOL ScrollBar::set_pos(int pos) {
  info_.nPos = pos;
  return apply();
}

int ScrollBar::pos() const { return info_.nPos; }

UINT ScrollBar::page() const { return info_.nPage; }

BOOL ScrollBar::scroll(int delta) {
  const int dx = bar_ == SB_HORZ ? delta : 0;
  const int dy = bar_ == SB_HORZ ? 0 : delta;
  return ScrollWindowEx(window_, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
}

TreeItem::TreeItem() = default;
TreeItem::~TreeItem() = default;
TreeItem::TreeItem(TreeItem&&) noexcept = default;
TreeItem& TreeItem::operator=(TreeItem&&) noexcept = default;

TreeItem& ItemTree::add(const orelib::string& text, int value) {
  if (count_ >= kInlineItems && count_ >= heap_capacity_) {
    const int capacity = std::max(2 * kInlineItems, 2 * heap_capacity_);
    std::unique_ptr<TreeItem[]> grown(new TreeItem[capacity]);
    for (int i = 0; i < count_; ++i) grown[i] = std::move(at(i));
    heap_ = std::move(grown);
    heap_capacity_ = capacity;
  }
  TreeItem& item = at(count_);
  item.text = text;
  item.value = value;
  item.children.reset();
  ++count_;
  return item;
}

ItemTree& ItemTree::children(int index) {
  TreeItem& item = at(index);
  if (!item.children) item.children = std::make_unique<ItemTree>();
  return *item.children;
}

Window::Window(HWND handle)
    : handle_(handle), vertical_(handle, SB_VERT), horizontal_(handle, SB_HORZ) {
  if (!handle_) return;
  WindowDC dc(handle_);
  if (dc.get()) GetTextMetricsA(dc.get(), &metrics_);
}

}  // namespace orelib::window
