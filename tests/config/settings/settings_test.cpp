// The settings as the host installer sees them: INI file and environment in, INI file out
// when the real plug-in is unloaded.

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/setting.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "ini_file.h"
#include "test_support.h"

using testing_support::file_exists;
using testing_support::ini_value;
using testing_support::read_file;
using testing_support::ScopedEnv;
using testing_support::ScratchDir;
using testing_support::short_name;
using testing_support::write_file;

namespace {

const char* const kRow1 = "http://ftp.jaist.ac.jp/pub/text/TeX/ptex-win32/w32/";

// A clean environment and host for each test: no variable decides a directory by accident.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset();
    host::config().install_dir = "C:\\w32tex\\";
  }

  // PluginInit and unload, as the host installer does.
  bool run_plugin(const std::string& ini, const std::string& log = "") {
    host::LoadedPlugin plugin(testing_support::plugin_path());
    EXPECT_TRUE(plugin.ok()) << plugin.missing();
    if (!plugin.ok()) return false;
    const bool result = plugin.PluginInit(ini.c_str(), log.c_str());
    plugin.unload();
    return result;
  }

  std::string value(const std::string& ini, const char* key) {
    return ini_value(ini, "ispell", key).value_or("<absent>");
  }

  ScratchDir dir_{"settings"};
  ScopedEnv dict_{"ISPELL_DICTDIR", nullptr};
  ScopedEnv home_{"HOME", nullptr};
  ScopedEnv home_drive_{"HOMEDRIVE", nullptr};
  ScopedEnv home_path_{"HOMEPATH", nullptr};
};

using SettingsLifecycle = SettingsTest;
using SettingsFallbacks = SettingsTest;
using SettingsLimits = SettingsTest;

TEST_F(SettingsLifecycle, MissingFileGetsDefaultsWrittenBack) {
  const std::string ini = dir_.file("missing.ini");
  ScopedEnv home("HOME", "E:/users/me");
  EXPECT_TRUE(run_plugin(ini));

  ASSERT_TRUE(file_exists(ini));
  EXPECT_EQ(value(ini, "URL"), kRow1);
  EXPECT_EQ(value(ini, "ISPELLDICTDIR"), "C:\\w32tex\\ispell\\dic\\");
  EXPECT_EQ(value(ini, "Home"), "E:\\users\\me\\");
  EXPECT_EQ(value(ini, "IsURLList"), "1");
}

TEST_F(SettingsLifecycle, StoredValuesWinOverEnvironmentAndHost) {
  const std::string ini = dir_.file("stored.ini");
  write_file(ini,
             "[ispell]\r\nURL=ftp://example.invalid/x/\r\nISPELLDICTDIR=E:\\dict\r\n"
             "Home=D:\\home\\\r\nIsURLList=0\r\n");
  ScopedEnv dict("ISPELL_DICTDIR", "F:/other");
  ScopedEnv home("HOME", "F:/elsewhere");
  host::config().install_dir.reset();  // never asked: the INI names both directories
  EXPECT_TRUE(run_plugin(ini));

  EXPECT_EQ(value(ini, "URL"), "ftp://example.invalid/x/");
  EXPECT_EQ(value(ini, "ISPELLDICTDIR"), "E:\\dict\\");
  EXPECT_EQ(value(ini, "Home"), "D:\\home\\");
  EXPECT_EQ(value(ini, "IsURLList"), "0");
}

TEST_F(SettingsLifecycle, EmptyUrlBecomesTheDefaultMirror) {
  const std::string ini = dir_.file("empty-url.ini");
  write_file(ini, "[ispell]\r\nURL=\r\nHome=D:\\h\r\nISPELLDICTDIR=D:\\d\r\n");
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(value(ini, "URL"), kRow1);
}

TEST_F(SettingsLifecycle, NoWriteIniLeavesTheFileByteForByte) {
  const std::string ini = dir_.file("nowrite.ini");
  const std::string original =
      "[system]\r\nNoWriteINI=1\r\n[ispell]\r\nIsURLList=7\r\n; a comment\r\n";
  write_file(ini, original);
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(read_file(ini), original);
}

TEST_F(SettingsLifecycle, OtherSectionsAndKeysAreKept) {
  const std::string ini = dir_.file("others.ini");
  write_file(ini,
             "[system]\r\nNoWriteINI=0\r\nInstallDir=C:\\w32tex\r\n[ispell]\r\nExtra=keep me\r\n"
             "URL=http://a.invalid/\r\n[dvipsk]\r\nPaper=a4\r\n");
  ScopedEnv home("HOME", "E:\\me");
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(ini_value(ini, "system", "InstallDir").value_or(""), "C:\\w32tex");
  EXPECT_EQ(ini_value(ini, "dvipsk", "Paper").value_or(""), "a4");
  EXPECT_EQ(value(ini, "Extra"), "keep me");
  EXPECT_EQ(value(ini, "URL"), "http://a.invalid/");
  EXPECT_EQ(value(ini, "Home"), "E:\\me\\");
}

TEST_F(SettingsLifecycle, WithoutPluginInitNothingIsWritten) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  ASSERT_TRUE(plugin.ok());
  EXPECT_FALSE(plugin.IsDefault());
  EXPECT_FALSE(plugin.Reboots());
  plugin.unload();
  // The settings have no file to go to; they must not land in the system's own profile.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_FALSE(ini_value(std::string(windows) + "\\win.ini", "ispell", "URL").has_value());
}

TEST_F(SettingsLifecycle, NullAndEmptyPathsAreHarmless) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  ASSERT_TRUE(plugin.ok());
  EXPECT_TRUE(plugin.PluginInit(nullptr, nullptr));
  EXPECT_TRUE(plugin.PluginInit("", ""));
  EXPECT_TRUE(plugin.Sets());
  plugin.unload();
}

TEST_F(SettingsFallbacks, DictionaryDirectoryFromTheEnvironment) {
  const std::string ini = dir_.file("dict-env.ini");
  ScopedEnv dict("ISPELL_DICTDIR", "E:/ispell/dict");
  ScopedEnv home("HOME", "E:\\me");
  host::config().install_dir.reset();  // the host is not asked when the environment answers
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(value(ini, "ISPELLDICTDIR"), "E:\\ispell\\dict\\");
}

TEST_F(SettingsFallbacks, HomeFromDriveAndPath) {
  const std::string ini = dir_.file("home-drive.ini");
  ScopedEnv drive("HOMEDRIVE", "D:");
  ScopedEnv path("HOMEPATH", "/Users/me");
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(value(ini, "Home"), "D:\\Users\\me\\");
}

TEST_F(SettingsFallbacks, HomeFromTheDocumentsFolderWhenThePathIsMissing) {
  const std::string ini = dir_.file("home-docs.ini");
  ScopedEnv drive("HOMEDRIVE", "D:");  // HOMEPATH unset: the pair does not count
  EXPECT_TRUE(run_plugin(ini));
  const std::string home = value(ini, "Home");
  ASSERT_GE(home.size(), 4u) << home;
  EXPECT_EQ(home.back(), '\\');
  EXPECT_NE(home[home.size() - 2], '\\') << "exactly one trailing backslash: " << home;
  EXPECT_EQ(home.find("D:"), std::string::npos) << home;
  EXPECT_EQ(home.find("ispell\\home"), std::string::npos) << "the shell answered: " << home;
  EXPECT_TRUE(file_exists(home)) << home;
}

TEST_F(SettingsFallbacks, IsUrlListReadings) {
  const struct {
    const char* stored;
    const char* saved;
  } cases[] = {{nullptr, "1"}, {"", "1"}, {"0", "0"}, {"x", "0"}, {"1", "1"}, {"2", "1"}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string ini = dir_.file("list" + std::to_string(n++) + ".ini");
    std::string text = "[ispell]\r\nHome=D:\\h\r\nISPELLDICTDIR=D:\\d\r\n";
    if (c.stored) text += std::string("IsURLList=") + c.stored + "\r\n";
    write_file(ini, text);
    EXPECT_TRUE(run_plugin(ini));
    EXPECT_EQ(value(ini, "IsURLList"), c.saved) << "stored: " << (c.stored ? c.stored : "absent");
  }
}

TEST_F(SettingsFallbacks, HomeKeyIsFoundWhateverItsCase) {
  const std::string ini = dir_.file("home-case.ini");
  write_file(ini, "[ISPELL]\r\nhome=G:\\ユーザー\r\nispelldictdir=G:\\辞書\\\r\n");
  host::config().install_dir.reset();
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(value(ini, "Home"), "G:\\ユーザー\\");
  EXPECT_EQ(value(ini, "ISPELLDICTDIR"), "G:\\辞書\\");
}

// Folders whose names Shift-JIS cannot write: used by their short names where they have one,
// otherwise absent (the next fallback, one log line); a "?" text is never a folder.
TEST_F(SettingsFallbacks, DirectoriesShiftJisCannotWrite) {
  const std::wstring root = testing_support::wide(dir_.path());
  const std::wstring hangul = root + testing_support::kHangul;
  const std::wstring umlaut = root + testing_support::kUmlaut;
  const std::wstring astral = root + testing_support::kAstral;
  for (const std::wstring& folder : {hangul, umlaut, astral})
    ASSERT_TRUE(testing_support::make_folder(folder));
  const std::wstring missing = root + L"없는폴더";
  const std::string hangul_short = short_name(hangul) + "\\";
  const std::string umlaut_short = short_name(umlaut) + "\\";
  const std::string astral_short = short_name(astral) + "\\";
  ASSERT_NE(hangul_short, "\\");
  const std::string host_dict = "C:\\w32tex\\ispell\\dic\\";
  char documents_path[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents_path), S_OK);
  const std::string documents = std::string(documents_path) + "\\";
  const auto unusable = [](const std::string& names) {
    return "環境変数" + names + "の値はShift_JISで書けるディレクトリ名ではないので使いません．\r\n";
  };
  // HOMEPATH is the part after the drive.
  const std::wstring umlaut_path = umlaut.substr(2);
  ASSERT_EQ(umlaut.substr(0, 2), L"C:");

  // A folder whose short name, with its final backslash, is `length` characters long: 8.3
  // names (their own short names) lead down to a Hangul leaf.
  const auto deep_folder = [&](std::size_t length, const wchar_t* branch) {
    std::wstring path = root + branch;
    testing_support::make_folder(path);
    // "\" + the leaf's short name + the final backslash.
    const std::size_t leaf = short_name(hangul).size() - short_name(root).size() + 2;
    std::size_t left = length - short_name(path).size() - leaf;
    while (left > 0) {
      // Each component costs its name and a backslash; never leave exactly one over.
      const std::size_t name = left > 9 ? (left == 10 ? 7 : 8) : left - 1;
      path += L"\\" + std::wstring(name, L'p');
      testing_support::make_folder(path);
      left -= name + 1;
    }
    path += std::wstring(L"\\") + testing_support::kHangul;
    testing_support::make_folder(path);
    return path;
  };
  const std::wstring within = deep_folder(MAX_PATH - 1, L"within");
  const std::wstring too_long = deep_folder(MAX_PATH, L"toolong");
  ASSERT_EQ(short_name(within).size() + 1, static_cast<std::size_t>(MAX_PATH - 1));
  ASSERT_EQ(short_name(too_long).size() + 1, static_cast<std::size_t>(MAX_PATH));

  const struct {
    const char* name;
    std::vector<std::pair<const char*, std::wstring>> env;
    std::string stored;  // section ispell before PluginInit
    std::optional<std::string> install_dir;
    std::string dict, home, log;  // after unload
  } rows[] = {
      {"HangulDictionaryVariable",
       {{"ISPELL_DICTDIR", hangul}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       hangul_short,
       "E:\\me\\",
       ""},
      // Without the round trip "ü" would be written as "u": another folder.
      {"UmlautWithSlashes",
       {{"ISPELL_DICTDIR", root.substr(0, root.size() - 1) + L"/" + testing_support::kUmlaut},
        {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       umlaut_short,
       "E:\\me\\",
       ""},
      {"AstralHome", {{"HOME", astral}}, "", "C:\\w32tex\\", host_dict, astral_short, ""},
      {"UmlautHomePath",
       {{"HOMEDRIVE", L"C:"}, {"HOMEPATH", umlaut_path}},
       "",
       "C:\\w32tex\\",
       host_dict,
       umlaut_short,
       ""},
      {"FolderWithoutShortName",
       {{"ISPELL_DICTDIR", missing}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       host_dict,
       "E:\\me\\",
       unusable("ISPELL_DICTDIR")},
      {"VariableHoldingOnlyAQuestionMark",
       {{"ISPELL_DICTDIR", L"?"}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       host_dict,
       "E:\\me\\",
       unusable("ISPELL_DICTDIR")},
      {"HomeWithoutShortNameFallsToThePair",
       {{"HOME", missing}, {"HOMEDRIVE", L"C:"}, {"HOMEPATH", umlaut_path}},
       "",
       "C:\\w32tex\\",
       host_dict,
       umlaut_short,
       unusable("HOME")},
      {"PairWithoutShortNameFallsToTheDocumentsFolder",
       {{"ISPELL_DICTDIR", L"E:\\d"}, {"HOMEDRIVE", L"C:"}, {"HOMEPATH", missing.substr(2)}},
       "",
       "C:\\w32tex\\",
       "E:\\d\\",
       documents,
       unusable("HOMEDRIVEとHOMEPATH")},
      {"IniValuesLeftByALossyConversion",
       {{"HOME", L"E:\\me"}},
       "ISPELLDICTDIR=C:\\dic\\???\\\r\nHome=D:\\???\r\n",
       "C:\\w32tex\\",
       host_dict,
       "E:\\me\\",
       "INIファイルのISPELLDICTDIRの値C:\\dic\\???\\は?を含むので使いません．\r\n"
       "INIファイルのHomeの値D:\\???は?を含むので使いません．\r\n"},
      {"InstallDirectoryWithQuestionMarks",
       {{"HOME", L"E:\\me"}},
       "",
       "C:\\???\\",
       "",
       "E:\\me\\",
       "TeXのインストール先C:\\???\\は?を含むので使いません．\r\n"},
      {"ShortNameJustWithinMaxPath",
       {{"ISPELL_DICTDIR", within}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       short_name(within) + "\\",
       "E:\\me\\",
       ""},
      {"ShortNameOfMaxPathCharacters",
       {{"ISPELL_DICTDIR", too_long}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       host_dict,
       "E:\\me\\",
       unusable("ISPELL_DICTDIR")},
      // Written in Shift-JIS, but 2 bytes a character take it past MAX_PATH; no short name.
      {"OwnNameOverMaxPath",
       {{"ISPELL_DICTDIR", root + std::wstring(130, L'辞')}, {"HOME", L"E:\\me"}},
       "",
       "C:\\w32tex\\",
       host_dict,
       "E:\\me\\",
       unusable("ISPELL_DICTDIR")},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const auto& [name, value] : row.env)
      env.push_back(std::make_unique<ScopedEnv>(name, value.c_str()));
    host::config().install_dir = row.install_dir;
    const std::string ini = dir_.file("unwritable" + std::to_string(n) + ".ini");
    const std::string log = dir_.file("unwritable" + std::to_string(n++) + ".log");
    if (!row.stored.empty()) write_file(ini, "[ispell]\r\n" + row.stored);
    EXPECT_TRUE(run_plugin(ini, log));
    EXPECT_EQ(value(ini, "ISPELLDICTDIR"), row.dict);
    EXPECT_EQ(value(ini, "Home"), row.home);
    EXPECT_EQ(read_file(log), row.log);
    EXPECT_EQ(read_file(ini).find('?'), std::string::npos) << read_file(ini);
  }
}

TEST_F(SettingsLimits, ValuesAreReadUpTo4094Characters) {
  const std::string exact = "http://h/" + std::string(4094 - 9, 'a');
  const std::string longer = "http://h/" + std::string(5000, 'b');
  for (const std::string& url : {exact, longer}) {
    const std::string ini = dir_.file("long" + std::to_string(url.size()) + ".ini");
    write_file(ini, "[ispell]\r\nURL=" + url + "\r\nHome=D:\\h\r\nISPELLDICTDIR=D:\\d\r\n");
    EXPECT_TRUE(run_plugin(ini));
    EXPECT_EQ(value(ini, "URL"), url.substr(0, 4094));
  }
}

TEST_F(SettingsLimits, DirectoryEndingInADoubleByteCharacterGetsItsSeparator) {
  // "ソ" ends in the byte 0x5C; it must not be taken for a trailing backslash.
  const std::string ini = dir_.file("sjis.ini");
  write_file(ini, "[ispell]\r\nHome=D:\\ソ\r\nISPELLDICTDIR=D:\\表\\\r\n");
  host::config().install_dir.reset();
  EXPECT_TRUE(run_plugin(ini));
  EXPECT_EQ(value(ini, "Home"), "D:\\ソ\\");
  EXPECT_EQ(value(ini, "ISPELLDICTDIR"), "D:\\表\\");
}

TEST(SettingsInternals, OverlongValuesAreSavedAsTheirReadablePart) {
  ScratchDir dir("overlong");
  g_setting.ini_file = dir.file("long.ini");
  g_setting.url = "http://h/" + std::string(70000, 'u');
  g_setting.dict_dir = std::string(32765, 'd') + "表\\";  // the cut falls inside "表"
  g_setting.home_dir = "H:\\";
  save_settings();
  EXPECT_EQ(ini_value(g_setting.ini_file, "ispell", "URL").value_or(""),
            g_setting.url.substr(0, 32766));
  EXPECT_EQ(ini_value(g_setting.ini_file, "ispell", "ISPELLDICTDIR").value_or(""),
            std::string(32765, 'd'));
  EXPECT_EQ(ini_value(g_setting.ini_file, "ispell", "Home").value_or(""), "H:\\");
  g_setting.ini_file.clear();
  g_setting.url.clear();
  g_setting.dict_dir.clear();
  g_setting.home_dir.clear();
}

TEST(SettingsInternals, TrailingBackslash) {
  EXPECT_EQ(with_trailing_backslash(""), "");
  EXPECT_EQ(with_trailing_backslash("E:\\"), "E:\\");
  EXPECT_EQ(with_trailing_backslash("E:\\tmp"), "E:\\tmp\\");
  EXPECT_EQ(with_trailing_backslash("E:\\ソ"), "E:\\ソ\\");
  EXPECT_EQ(with_trailing_backslash("E:\\ソ\\"), "E:\\ソ\\");
  EXPECT_FALSE(ends_with_backslash("\x83"));  // a lone lead byte at the end
  EXPECT_TRUE(ends_with_backslash("\\"));
}

TEST(SettingsInternals, TemporaryDirectoryIsLongAndEndsInOneBackslash) {
  host::reset();
  host::config().install_dir = "C:\\w32tex\\";
  ScratchDir dir("temp");
  load_settings(dir.file("t.ini").c_str(), "");
  const std::string temp = g_setting.temp_dir;
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(temp.find('~'), std::string::npos) << temp;
  EXPECT_TRUE(file_exists(temp)) << temp;

  // A name Shift-JIS cannot write: the short name, or nothing (logged) where there is none.
  const std::wstring astral = testing_support::wide(dir.path()) + testing_support::kAstral;
  ASSERT_TRUE(testing_support::make_folder(astral));
  const struct {
    const char* name;
    std::wstring folder;
    std::string temp, log;
  } rows[] = {
      {"ByItsShortName", astral, short_name(astral) + "\\", ""},
      {"WithoutShortName", astral + L"없음", "",
       "一時ディレクトリの名前はShift_JISで書けないので使いません．\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedEnv tmp("TMP", row.folder.c_str());
    ScopedEnv temp_variable("TEMP", row.folder.c_str());
    const std::string log = dir.file(std::string(row.name) + ".log");
    load_settings(dir.file("t.ini").c_str(), log.c_str());
    EXPECT_EQ(g_setting.temp_dir, row.temp);
    EXPECT_EQ(read_file(log), row.log);
  }
  g_setting.ini_file.clear();
  g_setting.log_file.clear();
}

}  // namespace
