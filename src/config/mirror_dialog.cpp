#include "config/mirror_dialog.h"

#include <vector>

#include "config/setting.h"
#include "res/resource.h"
#include "support/modal_dialog.h"
#include "support/shown_text.h"

namespace {

using orelib::window::WindowRef;

// The text of a window, at most 65534 characters.
orelib::string window_text(HWND window) {
  std::vector<char> buffer(65536, '\0');
  GetWindowTextA(window, buffer.data(), 65535);
  return buffer.data();
}

// The whole text of a window, sized by asking first. The reported length counts bytes the
// system expects, which is not always what it then writes for mixed single- and double-byte
// text: ten bytes of slack beyond it, and one for the terminating NUL.
orelib::string window_text_exact(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 11, '\0');
  GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()) - 1);
  return buffer.data();
}

// The same slack for a list item; CB_GETLBTEXT writes the NUL within it.
orelib::string combo_item_text(HWND list, int index) {
  const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
  std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 10, '\0');
  SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
  return buffer.data();
}

bool is_checked(HWND check_box) {
  return SendMessageA(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Either a mirror from the built-in list or a typed URL.
class SetDlg : public orelib::window::BaseModalDlg {
 public:
  explicit SetDlg(HINSTANCE instance) : BaseModalDlg(instance, IDD_MIRROR) {}
  ~SetDlg() override = default;

  bool on_init_dialog(WindowRef& ref) override {
    const HWND list = ref.item(IDC_MIRROR_LIST);
    for (int row = 0; mirror_table[row]; ++row) {
      const std::wstring text = orelib::shown_text({orelib::own(mirror_table[row])});
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    if (g_setting.is_url_list) {
      SendMessageA(ref.item(IDC_OTHER_URL), EM_SETREADONLY, TRUE, 0);
    } else {
      EnableWindow(list, FALSE);
      SendMessageA(ref.item(IDC_USE_OTHER), BM_SETCHECK, BST_CHECKED, 0);
      // The INI file's text is in the system's code page; read back below through the same.
      orelib::set_shown_text(ref.item(IDC_OTHER_URL), {orelib::from_system(g_setting.url)});
    }

    // The row equal to url byte for byte, else the first.
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    for (int i = 0; i < SendMessageA(list, CB_GETCOUNT, 0, 0); ++i) {
      if (combo_item_text(list, i) == g_setting.url) {
        SendMessageA(list, CB_SETCURSEL, i, 0);
        break;
      }
    }
    return true;  // the system picks the initial focus
  }

  bool on_command(WindowRef& ref, unsigned id, unsigned) override {
    switch (id) {
      case IDOK:
        // Typed text is kept exactly as entered, the empty text included.
        if (is_checked(ref.item(IDC_USE_OTHER))) {
          g_setting.url = window_text(ref.item(IDC_OTHER_URL));
          g_setting.is_url_list = false;
        } else {
          g_setting.url = window_text_exact(ref.item(IDC_MIRROR_LIST));
          g_setting.is_url_list = true;
        }
        EndDialog(ref.handle(), IDOK);
        return true;
      case IDCANCEL:
        EndDialog(ref.handle(), 0);
        return true;
      case IDC_USE_OTHER: {
        // The box toggles itself; the other two controls follow it.
        const bool checked = is_checked(ref.item(IDC_USE_OTHER));
        SendMessageA(ref.item(IDC_OTHER_URL), EM_SETREADONLY, checked ? FALSE : TRUE, 0);
        EnableWindow(ref.item(IDC_MIRROR_LIST), checked ? FALSE : TRUE);
        return true;
      }
      default:
        return false;
    }
  }
};

}  // namespace

void show_mirror_dialog(HWND parent, HINSTANCE instance) {
  SetDlg dialog(instance);
  orelib::window::show_modal(dialog, parent);
}
