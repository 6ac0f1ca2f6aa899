#include "install/file_in_use.h"

void tell_file_in_use(HWND owner, const orelib::string& path) {
  const orelib::string text = "ファイル" + path +
                              "は使用中か，書き込みできません．\r\n"
                              "このファイルを使っているプログラムを終了してから，"
                              "もう一度インストールしてください．\r\n"
                              "インストールされていたファイルは元のままです．";
  MessageBoxA(owner, text.c_str(), "ispell", MB_OK | MB_ICONEXCLAMATION);
}
