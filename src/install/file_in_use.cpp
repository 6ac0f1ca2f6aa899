#include "install/file_in_use.h"

#include "support/shown_text.h"

// The path is the system's text, the sentence the plug-in's own: each read in its code page.
void tell_file_in_use(HWND owner, const orelib::string& path) {
  orelib::message_box(owner,
                      {orelib::own("ファイル"), orelib::from_system(path.c_str()),
                       orelib::own("は使用中か，書き込みできません．\r\n"
                                   "このファイルを使っているプログラムを終了してから，"
                                   "もう一度インストールしてください．\r\n"
                                   "インストールされていたファイルは元のままです．")},
                      MB_OK | MB_ICONEXCLAMATION);
}
