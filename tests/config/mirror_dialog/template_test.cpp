// Dialog template 101 as built into the plug-in, read field by field from the DLL.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "host/plugin_loader.h"
#include "test_support.h"

namespace {

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

// Reads the template's little-endian fields in order, refusing to run past its end.
class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  unsigned word() {
    need(2);
    const unsigned value = data_[at_] | (data_[at_ + 1] << 8);
    at_ += 2;
    return value;
  }
  unsigned long dword() {
    const unsigned long low = word();
    return low | (static_cast<unsigned long>(word()) << 16);
  }
  int sword() { return static_cast<short>(word()); }
  unsigned byte() {
    need(1);
    return data_[at_++];
  }
  std::wstring text() {
    std::wstring result;
    for (unsigned c = word(); c != 0; c = word()) result += static_cast<wchar_t>(c);
    return result;
  }
  // A name or an ordinal: ordinals come back as "#<number>".
  std::string name_or_ordinal() {
    need(2);
    if (data_[at_] == 0xFF && data_[at_ + 1] == 0xFF) {
      word();
      return "#" + std::to_string(word());
    }
    return utf8(text());
  }
  void align_dword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
  size_t offset() const { return at_; }
  bool failed() const { return failed_; }

 private:
  void need(size_t bytes) {
    if (at_ + bytes > size_) {
      failed_ = true;
      throw std::out_of_range("template ends early");
    }
  }

  const unsigned char* data_;
  size_t size_;
  size_t at_ = 0;
  bool failed_ = false;
};

struct Item {
  unsigned long help_id, ex_style, style;
  int x, y, cx, cy;
  unsigned long id;
  std::string window_class, title;
  unsigned extra;
};

// The predefined classes: by ordinal in a compiled template, by name when spelled out.
std::string class_name(const std::string& window_class) {
  if (window_class == "#128") return "BUTTON";
  if (window_class == "#129") return "EDIT";
  if (window_class == "#133") return "COMBOBOX";
  std::string upper = window_class;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return upper;
}

BOOL CALLBACK collect_language(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

TEST(MirrorTemplate, MatchesTheDialogFieldByField) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  const HMODULE module = plugin.module();

  std::vector<WORD> languages;
  EnumResourceLanguagesA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(101),
                         collect_language, reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{0x0411});

  const HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  ASSERT_NE(found, nullptr);
  const HGLOBAL loaded = LoadResource(module, found);
  ASSERT_NE(loaded, nullptr);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
  const size_t size = SizeofResource(module, found);
  ASSERT_NE(bytes, nullptr);

  Reader in(bytes, size);
  std::vector<Item> items;
  try {
    EXPECT_EQ(in.word(), 1u);       // version
    EXPECT_EQ(in.word(), 0xFFFFu);  // extended template
    EXPECT_EQ(in.dword(), 0u);      // help id
    EXPECT_EQ(in.dword(), 0u);      // extended style
    EXPECT_EQ(in.dword(), 0x80C800C0ul);
    const unsigned count = in.word();
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(in.sword(), 0);
    EXPECT_EQ(in.sword(), 0);
    EXPECT_EQ(in.sword(), 315);
    EXPECT_EQ(in.sword(), 82);
    EXPECT_EQ(in.name_or_ordinal(), "");  // no menu
    EXPECT_EQ(in.name_or_ordinal(), "");  // the standard dialog class
    EXPECT_EQ(utf8(in.text()), u8"ispellダウンロード先の設定");
    EXPECT_EQ(in.word(), 10u);   // points
    EXPECT_EQ(in.word(), 400u);  // weight
    EXPECT_EQ(in.byte(), 0u);    // not italic
    EXPECT_EQ(in.byte(), 128u);  // SHIFTJIS_CHARSET
    EXPECT_EQ(utf8(in.text()), u8"ＭＳ ゴシック");
    for (unsigned i = 0; i < count; ++i) {
      in.align_dword();
      Item item{};
      item.help_id = in.dword();
      item.ex_style = in.dword();
      item.style = in.dword();
      item.x = in.sword();
      item.y = in.sword();
      item.cx = in.sword();
      item.cy = in.sword();
      item.id = in.dword();
      item.window_class = in.name_or_ordinal();
      item.title = in.name_or_ordinal();
      item.extra = in.word();
      items.push_back(item);
    }
  } catch (const std::out_of_range& error) {
    FAIL() << error.what() << " at offset " << in.offset();
  }
  EXPECT_LE(size - in.offset(), 3u) << "bytes after the last control";

  struct Expected {
    unsigned long id;
    const char* window_class;
    const char* title;
    int x, y, cx, cy;
    unsigned long style;
  };
  const Expected expected[] = {
      {1, "BUTTON", u8"OK", 59, 61, 50, 14, 0x50010001},
      {2, "BUTTON", u8"キャンセル", 199, 61, 50, 14, 0x50010000},
      {1002, "BUTTON", u8"一覧以外を使う（↓に入力）", 7, 25, 175, 10, 0x50010003},
      {1003, "EDIT", u8"", 34, 41, 274, 14, 0x50810080},
      {1001, "COMBOBOX", u8"", 7, 7, 301, 114, 0x50210003},
  };
  ASSERT_EQ(items.size(), 5u);
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const Item& item = items[i];
    EXPECT_EQ(item.help_id, 0u);
    EXPECT_EQ(item.ex_style, 0u);
    EXPECT_EQ(item.id, expected[i].id);
    EXPECT_EQ(class_name(item.window_class), expected[i].window_class);
    EXPECT_EQ(item.title, expected[i].title);
    EXPECT_EQ(item.x, expected[i].x);
    EXPECT_EQ(item.y, expected[i].y);
    EXPECT_EQ(item.cx, expected[i].cx);
    EXPECT_EQ(item.cy, expected[i].cy);
    EXPECT_EQ(item.style, expected[i].style);
    EXPECT_EQ(item.extra, 0u);  // no creation data
  }
}

}  // namespace
