#include "config/setting.h"

// Three sites, each with a web and an FTP server: rows 1/4, 2/5 and 3/6 belong together.
const char* const mirror_table[] = {
    "http://ftp.jaist.ac.jp/pub/text/TeX/ptex-win32/w32/",
    "http://ftp.riken.jp/archives/text/TeX/ptex-win32/w32/",
    "http://ftp.yz.yamagata-u.ac.jp/archives/text/TeX/ptex-win32/w32/",
    "ftp://ftp.jaist.ac.jp/pub/text/TeX/ptex-win32/w32/",
    "ftp://ftp.riken.jp/archives/text/TeX/ptex-win32/w32/",
    "ftp://ftp.yz.yamagata-u.ac.jp/archives/text/TeX/ptex-win32/w32/",
    nullptr,
};
