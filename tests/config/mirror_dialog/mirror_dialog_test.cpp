// The mirror settings dialog as the host installer meets it: Set on the real plug-in, the
// dialog driven from a timer in its own modal loop, the choice read back from the INI file
// after the plug-in is unloaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "config/mirror_dialog.h"
#include "config/setting.h"
#include "dialog_driver.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"
#include "ini_file.h"
#include "test_support.h"

using testing_support::click;
using testing_support::DialogDriver;
using testing_support::shown_text_of;
using testing_support::static_texts;
using testing_support::text_of;
using testing_support::wide;

namespace {

constexpr int kList = 1001;
constexpr int kUseOther = 1002;
constexpr int kOtherUrl = 1003;
// The texts as the user reads them, on every code page.
const wchar_t* const kTitle = L"ispellダウンロード先の設定";
const std::vector<std::wstring> kButtons = {L"OK", L"キャンセル", L"一覧以外を使う（↓に入力）"};

std::string row(int index) { return mirror_table[index]; }

// What the user sees. An INI value is in the system's code page, and reads as it does there.
struct DialogState {
  std::wstring caption;
  HWND owner = nullptr;
  std::vector<std::wstring> buttons;  // OK, Cancel, the check box
  std::vector<std::wstring> rows;
  int selected = -1;
  std::wstring list_text;
  bool list_enabled = false;
  bool checked = false;
  std::wstring edit_text;
  bool edit_read_only = false;
};

DialogState read_state(HWND box) {
  DialogState state;
  state.caption = shown_text_of(box);
  state.owner = GetWindow(box, GW_OWNER);
  for (const int id : {IDOK, IDCANCEL, kUseOther})
    state.buttons.push_back(shown_text_of(GetDlgItem(box, id)));
  const HWND list = GetDlgItem(box, kList);
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring text(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(text.size() - 1);
    state.rows.push_back(text);
  }
  state.selected = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
  state.list_text = shown_text_of(list);
  state.list_enabled = IsWindowEnabled(list) != FALSE;
  state.checked = SendMessageA(GetDlgItem(box, kUseOther), BM_GETCHECK, 0, 0) == BST_CHECKED;
  const HWND edit = GetDlgItem(box, kOtherUrl);
  state.edit_text = shown_text_of(edit);
  state.edit_read_only = (GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) != 0;
  return state;
}

void select_row(HWND box, int index) {
  const HWND list = GetDlgItem(box, kList);
  SendMessageA(list, CB_SETCURSEL, index, 0);
  SendMessageA(box, WM_COMMAND, MAKEWPARAM(kList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void type_url(HWND box, const std::string& text) {
  SetWindowTextA(GetDlgItem(box, kOtherUrl), text.c_str());
}

// One Set call on a freshly loaded plug-in, and what the INI file holds after unloading.
struct Outcome {
  std::string url;          // "<absent>" when the key is missing
  std::string is_url_list;  // likewise
  std::string before;       // the file's bytes before and after
  std::string after;
  size_t boxes = 0;
  bool forced = false;
};

class MirrorDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { host::reset(); }

  // ispell_lines: the [ispell] keys; system_lines: the [system] keys.
  Outcome run(const std::string& ispell_lines, const DialogDriver::Step& step,
              const std::string& system_lines = "") {
    Outcome outcome;
    const std::string ini = dir_.file("host" + std::to_string(++runs_) + ".ini");
    std::string contents =
        "[ispell]\r\n" + ispell_lines + "ISPELLDICTDIR=C:\\dic\\\r\nHome=C:\\home\\\r\n";
    if (!system_lines.empty()) contents += "[system]\r\n" + system_lines;
    testing_support::write_file(ini, contents);
    outcome.before = testing_support::read_file(ini);
    {
      host::LoadedPlugin plugin(testing_support::plugin_path());
      EXPECT_TRUE(plugin.ok()) << plugin.missing();
      if (!plugin.ok()) return outcome;
      const std::string log = dir_.file("log.txt");
      plugin.PluginInit(ini.c_str(), log.c_str());
      host::ProgressWindow owner;
      owner_ = owner.hwnd();
      {
        DialogDriver driver(step);
        plugin.Set(owner.hwnd());
        outcome.boxes = driver.created().size();
        outcome.forced = driver.forced();
      }
      plugin.unload();
    }
    outcome.after = testing_support::read_file(ini);
    outcome.url = testing_support::ini_value(ini, "ispell", "URL").value_or("<absent>");
    outcome.is_url_list =
        testing_support::ini_value(ini, "ispell", "IsURLList").value_or("<absent>");
    return outcome;
  }

  static std::string lines(const std::string& url, const char* is_url_list) {
    return "URL=" + url + "\r\nIsURLList=" + is_url_list + "\r\n";
  }

  testing_support::ScratchDir dir_{"mirror-dialog"};
  HWND owner_ = nullptr;
  int runs_ = 0;
};

using MirrorDialog = MirrorDialogTest;
using MirrorDialogLimits = MirrorDialogTest;

TEST_F(MirrorDialog, ListModeShowsTheStoredRow) {
  DialogState state;
  const Outcome outcome = run(lines(row(2), "1"), [&](HWND box) {
    state = read_state(box);
    click(box, IDOK);
  });
  EXPECT_EQ(state.caption, kTitle);
  EXPECT_EQ(state.buttons, kButtons);
  EXPECT_EQ(state.owner, owner_);
  ASSERT_EQ(state.rows.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(state.rows[i], wide(row(i))) << i;
  EXPECT_EQ(state.selected, 2);
  EXPECT_EQ(state.list_text, wide(row(2)));
  EXPECT_TRUE(state.list_enabled);
  EXPECT_FALSE(state.checked);
  EXPECT_EQ(state.edit_text, L"");
  EXPECT_TRUE(state.edit_read_only);

  EXPECT_EQ(outcome.boxes, 1u);
  EXPECT_FALSE(outcome.forced);
  EXPECT_EQ(outcome.url, row(2));
  EXPECT_EQ(outcome.is_url_list, "1");
}

TEST_F(MirrorDialog, UrlNotExactlyInTheTableSelectsRowOne) {
  std::string upper = row(1);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  const std::string no_slash = row(1).substr(0, row(1).size() - 1);
  for (const std::string& url : {std::string("http://127.0.0.5/elsewhere/"), upper, no_slash}) {
    SCOPED_TRACE(url);
    DialogState state;
    const Outcome outcome = run(lines(url, "1"), [&](HWND box) {
      state = read_state(box);
      click(box, IDOK);
    });
    EXPECT_EQ(state.selected, 0);
    EXPECT_FALSE(state.checked);
    EXPECT_EQ(state.edit_text, L"");
    // OK replaces the unlisted URL by the selected row.
    EXPECT_EQ(outcome.url, row(0));
    EXPECT_EQ(outcome.is_url_list, "1");
  }
}

TEST_F(MirrorDialog, TypedModeShowsTheTypedUrl) {
  // What the system writes: Japanese on a Japanese system, bytes 0x80 to 0xFF on a Western one
  // (never "?", never cut); once short, once 4,000 bytes long.
  const bool western = GetACP() == 1252;
  const std::string folder = western ? "Caf\xE9/\xC4\xD6\xDC\xDF\x80\xA9/" : "私の/ミラー/";
  std::string long_url = "http://127.0.0.5/";
  while (long_url.size() < 4000) long_url += folder;
  for (const std::string& typed : {"http://127.0.0.5/" + folder, long_url}) {
    SCOPED_TRACE(typed.size());
    DialogState state;
    const Outcome outcome = run(lines(typed, "0"), [&](HWND box) {
      state = read_state(box);
      click(box, IDOK);
    });
    EXPECT_EQ(state.caption, kTitle);
    EXPECT_EQ(state.buttons, kButtons);
    EXPECT_TRUE(state.checked);
    EXPECT_FALSE(state.list_enabled);
    EXPECT_EQ(state.selected, 0);
    EXPECT_EQ(state.edit_text, wide(typed));
    if (typed.size() < 4000) {
      // Spelled out: the characters of code page 1252 have no Shift-JIS form for the message.
      const std::wstring seen =
          western ? L"http://127.0.0.5/Caf\u00E9/\u00C4\u00D6\u00DC\u00DF\u20AC\u00A9/"
                  : L"http://127.0.0.5/私の/ミラー/";
      EXPECT_EQ(state.edit_text, seen);
    }
    EXPECT_FALSE(state.edit_read_only);
    EXPECT_EQ(outcome.url, typed);
    EXPECT_EQ(outcome.is_url_list, "0");
  }
}

TEST_F(MirrorDialog, TypedUrlEqualToARowSelectsIt) {
  DialogState state;
  const Outcome outcome = run(lines(row(4), "0"), [&](HWND box) {
    state = read_state(box);
    click(box, IDOK);
  });
  EXPECT_TRUE(state.checked);
  EXPECT_EQ(state.selected, 4);
  EXPECT_EQ(state.edit_text, wide(row(4)));
  EXPECT_EQ(outcome.url, row(4));
  EXPECT_EQ(outcome.is_url_list, "0");
}

TEST_F(MirrorDialog, OkStoresTheEditedText) {
  // No check of scheme or final slash: the text is stored as typed.
  const std::string typed = "127.0.0.9/ミラー";
  const Outcome outcome = run(lines("http://127.0.0.5/old/", "0"), [&](HWND box) {
    type_url(box, typed);
    click(box, IDOK);
  });
  EXPECT_EQ(outcome.url, typed);
  EXPECT_EQ(outcome.is_url_list, "0");
}

TEST_F(MirrorDialog, CheckBoxSwitchesTheModes) {
  DialogState checked;
  DialogState unchecked;
  const Outcome outcome = run(lines(row(0), "1"), [&](HWND box) {
    click(box, kUseOther);
    checked = read_state(box);
    click(box, kUseOther);
    unchecked = read_state(box);
    click(box, kUseOther);
    // Typed mode with nothing typed: the empty text is accepted.
    click(box, IDOK);
  });
  EXPECT_TRUE(checked.checked);
  EXPECT_FALSE(checked.list_enabled);
  EXPECT_FALSE(checked.edit_read_only);
  EXPECT_EQ(checked.selected, 0);  // the selection survives the switch
  EXPECT_FALSE(unchecked.checked);
  EXPECT_TRUE(unchecked.list_enabled);
  EXPECT_TRUE(unchecked.edit_read_only);
  EXPECT_EQ(outcome.url, "");
  EXPECT_EQ(outcome.is_url_list, "0");
}

TEST_F(MirrorDialog, RowChosenWhileTheEditBoxHoldsText) {
  DialogState state;
  const Outcome outcome = run(lines("http://127.0.0.5/typed/", "0"), [&](HWND box) {
    click(box, kUseOther);  // back to the list; the typed text stays in the box
    select_row(box, 3);
    state = read_state(box);
    click(box, IDOK);
  });
  EXPECT_EQ(state.edit_text, L"http://127.0.0.5/typed/");
  EXPECT_TRUE(state.edit_read_only);
  EXPECT_EQ(state.list_text, wide(row(3)));
  EXPECT_EQ(outcome.url, row(3));
  EXPECT_EQ(outcome.is_url_list, "1");
}

TEST_F(MirrorDialog, CancelAndCloseBoxStoreNothing) {
  const auto change_everything = [](HWND box) {
    select_row(box, 5);
    click(box, kUseOther);
    type_url(box, "http://127.0.0.5/changed/");
  };
  const Outcome cancelled = run(lines(row(1), "1"), [&](HWND box) {
    change_everything(box);
    click(box, IDCANCEL);
  });
  EXPECT_FALSE(cancelled.forced);
  EXPECT_EQ(cancelled.url, row(1));
  EXPECT_EQ(cancelled.is_url_list, "1");

  const Outcome closed = run(lines("http://127.0.0.5/mine/", "0"), [&](HWND box) {
    change_everything(box);
    SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_FALSE(closed.forced);
  EXPECT_EQ(closed.url, "http://127.0.0.5/mine/");
  EXPECT_EQ(closed.is_url_list, "0");
}

TEST_F(MirrorDialog, NoWriteIniKeepsTheFileUnchanged) {
  const Outcome outcome = run(
      lines(row(0), "1"),
      [&](HWND box) {
        click(box, kUseOther);
        type_url(box, "http://127.0.0.5/changed/");
        click(box, IDOK);
      },
      "NoWriteINI=1\r\n");
  EXPECT_EQ(outcome.boxes, 1u);
  EXPECT_EQ(outcome.after, outcome.before);
}

TEST_F(MirrorDialog, NetworkOffShowsOnlyTheMessageBox) {
  host::config().uses_network = false;
  std::wstring caption;
  std::vector<std::wstring> texts;
  std::vector<int> buttons;
  HWND owner = nullptr;
  bool has_list = true;
  const Outcome outcome = run(lines(row(0), "1"), [&](HWND box) {
    caption = shown_text_of(box);
    texts = static_texts(box);
    owner = GetWindow(box, GW_OWNER);
    has_list = GetDlgItem(box, kList) != nullptr;
    for (const int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
      const HWND button = GetDlgItem(box, id);
      if (button && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE)) buttons.push_back(id);
    }
    click(box, IDOK);
  });
  EXPECT_EQ(outcome.boxes, 1u);  // the message box, no dialog
  EXPECT_FALSE(outcome.forced);
  EXPECT_EQ(caption, L"ispell");
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      L"ネットワークを使わないのなら設定の必要はありません．"),
            texts.end());
  EXPECT_EQ(buttons, std::vector<int>{IDOK});
  EXPECT_EQ(owner, owner_);
  EXPECT_FALSE(has_list);
  EXPECT_EQ(outcome.url, row(0));
}

TEST_F(MirrorDialogLimits, LongUrlFromTheIniFileIsCutByTheRead) {
  const std::string huge = "http://127.0.0.5/" + std::string(70000 - 17, 'x');
  std::string shown;
  const Outcome typed = run(lines(huge, "0"), [&](HWND box) {
    shown = text_of(GetDlgItem(box, kOtherUrl));
    click(box, IDOK);
  });
  EXPECT_EQ(shown.size(), 4094u);
  EXPECT_TRUE(shown == huge.substr(0, 4094));
  EXPECT_TRUE(typed.url == huge.substr(0, 4094)) << typed.url.size();
  EXPECT_EQ(typed.is_url_list, "0");

  DialogState state;
  const Outcome listed = run(lines(huge, "1"), [&](HWND box) {
    state = read_state(box);
    click(box, IDOK);
  });
  EXPECT_EQ(state.selected, 0);
  EXPECT_EQ(listed.url, row(0));
}

// Driven in this process, on its own settings object, with the plug-in's template: the INI
// file cannot carry a value this long, so the dialog's result is read directly.
TEST_F(MirrorDialogLimits, LongTypedUrlKeepsItsFirst65534Characters) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  host::ProgressWindow owner;
  const std::string huge = "ftp://127.0.0.5/" + std::string(70000 - 16, 'y');
  g_setting.url = row(0);
  g_setting.is_url_list = true;
  size_t shown = 0;
  {
    DialogDriver driver([&](HWND box) {
      click(box, kUseOther);
      type_url(box, huge);
      shown = static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(box, kOtherUrl)));
      click(box, IDOK);
    });
    show_mirror_dialog(owner.hwnd(), plugin.module());
    EXPECT_EQ(driver.created().size(), 1u);
    EXPECT_FALSE(driver.forced());
  }
  EXPECT_EQ(shown, huge.size());  // the box holds it all
  EXPECT_EQ(g_setting.url.size(), 65534u);
  EXPECT_TRUE(g_setting.url == huge.substr(0, 65534));
  EXPECT_FALSE(g_setting.is_url_list);
}

}  // namespace
