#pragma once
// Runs the real plug-in's Install against the reference host, inside a scratch tree:
//   tex, tex\bin   the TeX installation (GETINSTALLDIR)
//   hozon          the save directory (GETHOZONDIR)
//   temp           the system's temporary directory (TMP); the work directory is temp\ispell
//   tree           what TARDLG "unpacks": copied into the work directory
// plus a fresh INI file and activity log per test.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"
#include "dialog_driver.h"
#include "test_support.h"

namespace install_test {

constexpr const char* kUrl = "http://mirror.example/pub/w32/";
constexpr const char* kDictPrompt = "ispellのシステム辞書をインストールする場所を選んでください．";
constexpr const char* kHomePrompt =
    "ispellの個人辞書をインストールする場所（ホームディレクトリ）を選んでください．";
// A message box's text as the user reads it, on every code page.
constexpr const wchar_t* kMismatch =
    L"指定されたディレクトリは環境変数で指定されたものと異なります．\r\n"
    L"環境変数に指定されたものにしますか？するならはいを，今のでいいならばいいえを，\r\n"
    L"インストールをやめるならばキャンセルを押してください．";
constexpr const char* kFrameLine = "ispellのインストール\r\n";

std::string lower(std::string text);
std::string slashes(std::string text);
// Copies a directory tree (both paths end in a backslash); a failure names what could not be
// copied.
::testing::AssertionResult copy_tree(const std::string& from, const std::string& to);
// A file's last-write time set to, or read as, 1 January of a year at noon (UTC); reading
// gives 0 for a time that is not such a noon, or for a file that cannot be read.
void set_year(const std::string& path, WORD year);
WORD year_of(const std::string& path);

class InstallTest : public ::testing::Test {
 protected:
  InstallTest();
  ~InstallTest() override;

 public:
  // Public for the rows of table-driven tests.
  std::string root() const { return root_.path(); }
  std::string tex() const { return root_.file("tex\\"); }
  std::string tex_bin() const { return root_.file("tex\\bin\\"); }
  std::string hozon() const { return root_.file("hozon\\"); }
  std::string temp() const { return root_.file("temp\\"); }
  std::string tree() const { return root_.file("tree\\"); }
  std::string work() const { return temp() + "ispell\\"; }
  std::string ini() const { return root_.file("plugin.ini"); }
  std::string log() const { return root_.file("plugin.log"); }
  // The directories the INI file names before Install.
  std::string initial_dict() const { return root_.file("IniDic\\"); }
  std::string initial_home() const { return root_.file("IniHome\\"); }

  // Sets (or with null removes) a variable for this test only.
  void set_env(const char* name, const char* value);
  void set_env(const char* name, const wchar_t* value);
  void set_env(const char* name, std::nullptr_t) {
    set_env(name, static_cast<const char*>(nullptr));
  }
  void answer_dirs(std::optional<std::string> dict, std::optional<std::string> home);
  // TARDLG "unpacks" the tree with every program and dictionary dated 1 January of year.
  void unpack_as_of(WORD year);

  // Loads the plug-in, PluginInit, Install, reads Reboots, unloads (writing the INI file).
  bool run(int count = 0, const InstallEntry* entries = nullptr);

  std::string log_text() const { return testing_support::read_file(log()); }
  std::string saved(const char* key) const;  // a key of section ispell after unload
  std::vector<host::EnvCall> env_calls(bool system) const;
  std::vector<std::string> texts() const { return progress_.texts(); }

  // Progress texts of a run that got through every stage.
  static std::vector<std::string> success_texts();

  host::ProgressWindow progress_;
  bool reboots_ = false;
  std::function<void()> before_install;  // runs between PluginInit and Install

 private:
  testing_support::ScratchDir root_{"install"};
  std::vector<std::unique_ptr<testing_support::ScopedEnv>> env_;
};

}  // namespace install_test
