// Install through the real plug-in and the reference host: directory choices reconciled
// with ISPELL_DICTDIR and HOME, unpacking, copying, environment, and every failure.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <regex>
#include <vector>

#include "archive_builder.h"
#include "install_fixture.h"
#include "support/ansi_path.h"
#include "support/handles.h"

using install_test::InstallTest;
using install_test::kDictPrompt;
using install_test::kFrameLine;
using install_test::kHomePrompt;
using install_test::kMismatch;
using install_test::kUrl;
using install_test::lower;
using install_test::set_year;
using install_test::slashes;
using install_test::year_of;
using testing_support::DialogDriver;
using testing_support::file_exists;
using testing_support::is_directory;
using testing_support::read_file;
using testing_support::TarBuilder;
using testing_support::wide;
using testing_support::write_file;

namespace {

// Both dictionaries of the tree, copied into the directory.
::testing::AssertionResult dictionaries_in(const std::string& directory) {
  const std::string hash = read_file(directory + "english.hash");
  const std::string affixes = read_file(directory + "english.aff");
  auto result = hash == "english hash" && affixes == "english affixes"
                    ? ::testing::AssertionSuccess()
                    : ::testing::AssertionFailure();
  return result << directory << " holds english.hash \"" << hash << "\" and english.aff \""
                << affixes << "\"";
}

std::string set_line(const std::string& variable, const std::string& value) {
  return "環境変数" + variable + "に" + value + "を設定しました．\r\n";
}

// One release of the archive as the host would save it, every entry dated mtime (seconds
// since 1970), for the host's real unpacker.
testing_support::Bytes release(const std::string& version, std::int64_t mtime) {
  TarBuilder::Options dated;
  dated.mtime = mtime;
  return TarBuilder()
      .dir("ispell-w32/", mtime)
      .dir("ispell-w32/bin/", mtime)
      .add("ispell-w32/bin/ispell.exe", "ispell " + version, dated)
      .dir("ispell-w32/dic/", mtime)
      .add("ispell-w32/dic/english.hash", "english hash " + version, dated)
      .finish();
}

using Reconcile = InstallTest;
using InstallRun = InstallTest;
using Updates = InstallTest;
using Failures = InstallTest;
using BadInput = InstallTest;
using DoubleByte = InstallTest;

}  // namespace

// ---- Reconciling the choices with the variables ----

TEST_F(Reconcile, BothVariablesUnsetStoreTheChoicesAsGivenAndSetBoth) {
  // Case and forward slashes are kept when there is nothing to compare with.
  const std::string dict = root() + "New/Dic";
  const std::string home = root() + "My Home";
  answer_dirs(dict, home);
  DialogDriver boxes;

  ASSERT_TRUE(run());
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_TRUE(reboots_);
  EXPECT_EQ(saved("ISPELLDICTDIR"), dict + "\\");
  EXPECT_EQ(saved("Home"), home + "\\");
  EXPECT_TRUE(dictionaries_in(root() + "New\\Dic\\"));
  EXPECT_TRUE(is_directory(home));

  const std::string dict_value = slashes(dict) + "/";
  EXPECT_EQ(host::read_registry_variable(true, "ISPELL_DICTDIR"), dict_value);
  EXPECT_EQ(host::read_registry_variable(false, "HOME"), home + "\\");
  EXPECT_EQ(log_text(),
            kFrameLine + set_line("ISPELL_DICTDIR", dict_value) + set_line("HOME", home + "\\"));

  // Both prompts, each starting from the directory the settings held.
  ASSERT_EQ(host::dir_input_calls().size(), 2u);
  EXPECT_EQ(host::dir_input_calls()[0].prompt, kDictPrompt);
  EXPECT_EQ(host::dir_input_calls()[0].initial, initial_dict());
  EXPECT_EQ(host::dir_input_calls()[1].prompt, kHomePrompt);
  EXPECT_EQ(host::dir_input_calls()[1].initial, initial_home());
}

TEST_F(Reconcile, SameDirectoriesWrittenDifferentlyAskNothingAndSetNothing) {
  const std::string dict = root() + "TeX\\Dic";
  const std::string home = root() + "Home";
  CreateDirectoryA((root() + "TeX").c_str(), nullptr);
  set_env("ISPELL_DICTDIR", slashes(lower(dict)).c_str());
  set_env("HOME", (lower(home) + "/").c_str());
  answer_dirs(dict, slashes(home));
  DialogDriver boxes;

  ASSERT_TRUE(run());
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_FALSE(reboots_);
  EXPECT_TRUE(host::env_calls().empty());
  EXPECT_EQ(host::read_registry_variable(true, "ISPELL_DICTDIR"), std::nullopt);
  // The dictionary directory in comparison form; the home directory stays as it was.
  EXPECT_EQ(saved("ISPELLDICTDIR"), lower(dict) + "\\");
  EXPECT_TRUE(dictionaries_in(dict + "\\"));
  EXPECT_EQ(saved("Home"), initial_home());
  EXPECT_FALSE(file_exists(home));
  EXPECT_EQ(log_text(), kFrameLine);
  EXPECT_EQ(texts(), success_texts());
}

TEST_F(Reconcile, DictionaryMismatchYesKeepsTheVariablesDirectory) {
  const std::string variable = root() + "EnvDic";
  set_env("ISPELL_DICTDIR", variable.c_str());
  answer_dirs(root() + "Chosen\\", root() + "Home");
  DialogDriver boxes({IDYES});

  ASSERT_TRUE(run());
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].caption, L"ispell");
  EXPECT_EQ(boxes.boxes()[0].text, kMismatch);
  EXPECT_EQ(boxes.boxes()[0].buttons, (std::vector<int>{IDCANCEL, IDYES, IDNO}));

  EXPECT_EQ(saved("ISPELLDICTDIR"), lower(variable) + "\\");
  EXPECT_TRUE(dictionaries_in(variable + "\\"));
  EXPECT_FALSE(file_exists(root() + "Chosen"));
  EXPECT_TRUE(env_calls(true).empty());
  ASSERT_EQ(env_calls(false).size(), 1u);  // HOME was unset
}

TEST_F(Reconcile, DictionaryMismatchNoSetsTheVariableToTheChoice) {
  set_env("ISPELL_DICTDIR", (root() + "EnvDic").c_str());
  const std::string chosen = root() + "Chosen";
  answer_dirs(chosen, root() + "Home");
  DialogDriver boxes({IDNO});

  ASSERT_TRUE(run());
  EXPECT_EQ(boxes.boxes().size(), 1u);
  const std::string stored = lower(chosen) + "\\";
  EXPECT_EQ(saved("ISPELLDICTDIR"), stored);
  EXPECT_TRUE(dictionaries_in(stored));
  ASSERT_EQ(env_calls(true).size(), 1u);
  EXPECT_EQ(env_calls(true)[0].name, "ISPELL_DICTDIR");
  EXPECT_EQ(env_calls(true)[0].value, slashes(stored));
  EXPECT_EQ(host::read_registry_variable(true, "ISPELL_DICTDIR"), slashes(stored));
  EXPECT_TRUE(reboots_);
}

TEST_F(Reconcile, DictionaryMismatchCancelEndsBeforeAnythingHappens) {
  set_env("ISPELL_DICTDIR", (root() + "EnvDic").c_str());
  answer_dirs(root() + "Chosen", root() + "Home");
  DialogDriver boxes({IDCANCEL});

  EXPECT_FALSE(run());
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(host::dir_input_calls().size(), 1u);
  EXPECT_TRUE(host::tar_calls().empty());
  EXPECT_TRUE(texts().empty());
  EXPECT_EQ(log_text(), kFrameLine);
  EXPECT_EQ(saved("ISPELLDICTDIR"), initial_dict());
  EXPECT_FALSE(reboots_);
}

TEST_F(Reconcile, HomeMismatchYesKeepsTheVariablesDirectory) {
  const std::string dict = root() + "Dic";
  set_env("ISPELL_DICTDIR", dict.c_str());
  set_env("HOME", (root() + "EnvHome").c_str());
  answer_dirs(dict, root() + "ChosenHome");
  DialogDriver boxes({IDYES});

  ASSERT_TRUE(run());
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(saved("Home"), lower(root() + "EnvHome\\"));
  EXPECT_TRUE(host::env_calls().empty());
  EXPECT_FALSE(reboots_);
  EXPECT_FALSE(file_exists(root() + "ChosenHome"));
}

TEST_F(Reconcile, HomeMismatchNoSetsHomeToTheChoiceInComparisonForm) {
  const std::string dict = root() + "Dic";
  set_env("ISPELL_DICTDIR", dict.c_str());
  set_env("HOME", (root() + "EnvHome").c_str());
  const std::string chosen = root() + "Chosen/Home";
  answer_dirs(dict, chosen);
  DialogDriver boxes({IDNO});

  ASSERT_TRUE(run());
  const std::string stored = lower(root() + "Chosen\\Home\\");
  EXPECT_EQ(saved("Home"), stored);
  ASSERT_EQ(env_calls(false).size(), 1u);
  EXPECT_EQ(env_calls(false)[0].name, "HOME");
  EXPECT_EQ(env_calls(false)[0].value, stored);
  EXPECT_EQ(host::read_registry_variable(false, "HOME"), stored);
  EXPECT_TRUE(is_directory(stored));
  EXPECT_TRUE(env_calls(true).empty());
  EXPECT_TRUE(reboots_);
  EXPECT_EQ(log_text(), kFrameLine + set_line("HOME", stored));
}

TEST_F(Reconcile, HomeMismatchCancelKeepsTheNewDictionaryDirectory) {
  set_env("HOME", (root() + "EnvHome").c_str());
  const std::string dict = root() + "NewDic";
  answer_dirs(dict, root() + "ChosenHome");
  DialogDriver boxes({IDCANCEL});

  EXPECT_FALSE(run());
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_TRUE(host::tar_calls().empty());
  EXPECT_EQ(saved("ISPELLDICTDIR"), dict + "\\");
  EXPECT_EQ(saved("Home"), initial_home());
  EXPECT_EQ(log_text(), kFrameLine);
}

TEST_F(Reconcile, CancelledPromptsEndQuietly) {
  answer_dirs(std::nullopt, root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(host::dir_input_calls().size(), 1u);
  EXPECT_EQ(saved("ISPELLDICTDIR"), initial_dict());

  // The second prompt cancelled: the dictionary choice made before it is kept.
  const std::string dict = root() + "KeptDic\\";
  answer_dirs(dict, std::nullopt);
  EXPECT_FALSE(run());
  EXPECT_EQ(saved("ISPELLDICTDIR"), dict);
  EXPECT_TRUE(host::tar_calls().empty());
  EXPECT_TRUE(texts().empty());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + kFrameLine);
  EXPECT_FALSE(reboots_);
}

// ---- A whole run ----

TEST_F(InstallRun, CopiesProgramsAndDictionariesAndReportsEachStage) {
  answer_dirs(root() + "Dic", root() + "Home");
  ASSERT_TRUE(run());
  EXPECT_EQ(texts(), success_texts());

  ASSERT_EQ(host::tar_calls().size(), 1u);
  EXPECT_EQ(host::tar_calls()[0].archive, hozon() + "ispell.tar.xz");
  EXPECT_EQ(host::tar_calls()[0].destination, work());

  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell program");
  EXPECT_EQ(read_file(tex_bin() + "buildhash.exe"), "buildhash program");
  EXPECT_FALSE(file_exists(tex_bin() + "readme.txt"));
  EXPECT_TRUE(dictionaries_in(root() + "Dic\\"));
  // Nothing is cleaned up after the run.
  EXPECT_TRUE(file_exists(work() + "ispell-w32\\dic\\english.hash"));
}

TEST_F(InstallRun, RealUnpackerAndArchiveInTheSaveDirectory) {
  TarBuilder::Options dated;
  dated.mtime = 1700000000;
  write_file(hozon() + "ispell.tar.xz",
             TarBuilder()
                 .dir("ispell-w32/", dated.mtime)
                 .dir("ispell-w32/bin/", dated.mtime)
                 .add("ispell-w32/bin/ispell.exe", "unpacked ispell", dated)
                 .dir("ispell-w32/dic/", dated.mtime)
                 .add("ispell-w32/dic/english.hash", "english hash", dated)
                 .add("ispell-w32/dic/english.aff", "english affixes", dated)
                 .finish());
  host::config().tar_handler = nullptr;  // the host's own unpacker
  answer_dirs(root() + "Dic", root() + "Home");
  ASSERT_TRUE(run());
  EXPECT_EQ(texts(), success_texts());
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "unpacked ispell");
  EXPECT_TRUE(dictionaries_in(root() + "Dic\\"));
}

TEST_F(InstallRun, ExistingFilesOfTheUserAreKept) {
  write_file(tex_bin() + "ispell.exe", "the user's own ispell");
  write_file(tex_bin() + "buildhash.exe", "read-only buildhash");
  SetFileAttributesA((tex_bin() + "buildhash.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string dict = root() + "Dic\\";
  CreateDirectoryA(dict.c_str(), nullptr);
  write_file(dict + "english.aff", "tuned affixes");
  answer_dirs(dict, root() + "Home");

  ASSERT_TRUE(run());
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "the user's own ispell");
  EXPECT_EQ(read_file(tex_bin() + "buildhash.exe"), "read-only buildhash");
  EXPECT_EQ(read_file(dict + "english.aff"), "tuned affixes");
  EXPECT_EQ(read_file(dict + "english.hash"), "english hash");
  SetFileAttributesA((tex_bin() + "buildhash.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(InstallRun, EntryNamingTheMirrorMustHaveStatusOne) {
  const std::string other = "ftp://elsewhere.example/";
  for (const int status : {0, 2, -1}) {
    host::reset();
    InstallEntry entries[] = {{other.c_str(), 0}, {kUrl, status}};
    EXPECT_FALSE(run(2, entries)) << status;
    EXPECT_TRUE(host::dir_input_calls().empty()) << status;
  }
  EXPECT_EQ(log_text(), std::string(kFrameLine) + kFrameLine + kFrameLine);
  EXPECT_TRUE(texts().empty());

  // Status 1 for the mirror, anything for other texts, null texts: the run goes on.
  host::config().dir_answers = {std::nullopt};
  InstallEntry passing[] = {{kUrl, 1}, {other.c_str(), 0}, {nullptr, 0}};
  run(3, passing);
  EXPECT_EQ(host::dir_input_calls().size(), 1u);
}

TEST_F(InstallRun, NoEntriesToExamine) {
  InstallEntry blocking[] = {{kUrl, 0}};
  // A count of zero or less examines nothing, whatever the pointer.
  for (const int count : {0, -1, -2147483647 - 1}) {
    host::config().dir_answers = {std::nullopt};
    run(count, blocking);
  }
  // A null list with a positive count is read as no entries.
  host::config().dir_answers = {std::nullopt};
  run(5, nullptr);
  EXPECT_EQ(host::dir_input_calls().size(), 4u);
}

// ---- Updating an installation: the file times decide ----

TEST_F(Updates, OlderProgramsAndDictionariesAreReplaced) {
  unpack_as_of(2024);
  write_file(tex_bin() + "ispell.exe", "ispell of an older release");
  set_year(tex_bin() + "ispell.exe", 2020);
  const std::string dict = root() + "Dic\\";
  CreateDirectoryA(dict.c_str(), nullptr);
  write_file(dict + "english.hash", "older hash");
  set_year(dict + "english.hash", 2023);
  answer_dirs(dict, root() + "Home");

  ASSERT_TRUE(run());
  EXPECT_EQ(texts(), success_texts());
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell program");
  EXPECT_EQ(read_file(tex_bin() + "buildhash.exe"), "buildhash program");
  EXPECT_TRUE(dictionaries_in(dict));
  EXPECT_EQ(year_of(tex_bin() + "ispell.exe"), 2024);
  EXPECT_EQ(year_of(dict + "english.hash"), 2024);
  // Nothing staged or set aside is left behind.
  EXPECT_EQ(testing_support::list_tree(tex_bin()),
            (std::vector<std::string>{"buildhash.exe", "ispell.exe"}));
  EXPECT_EQ(testing_support::list_tree(dict),
            (std::vector<std::string>{"english.aff", "english.hash"}));
}

TEST_F(Updates, RunningProgramIsRenamedAsideAndReplaced) {
  unpack_as_of(2024);
  const std::string dict = root() + "Dic\\";
  CreateDirectoryA(dict.c_str(), nullptr);
  // buildhash.exe is a real module, so that it can be mapped as an image.
  ASSERT_TRUE(CopyFileA(testing_support::plugin_path().c_str(),
                        (tex_bin() + "buildhash.exe").c_str(), FALSE));
  write_file(tex_bin() + "ispell.exe", "older release");
  write_file(dict + "english.hash", "older release");
  for (const std::string& file :
       {tex_bin() + "ispell.exe", tex_bin() + "buildhash.exe", dict + "english.hash"})
    set_year(file, 2020);
  // Neither variable changes: Reboots answers for the files alone.
  set_env("ISPELL_DICTDIR", dict.c_str());
  set_env("HOME", (root() + "Home\\").c_str());
  answer_dirs(dict, root() + "Home");
  // As Windows holds a running program's file: read and delete sharing, no write.
  orelib::file_handle running(CreateFileA((tex_bin() + "ispell.exe").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(running);
  // As Windows maps a running program: an image section, which lets the file be renamed only.
  orelib::module_handle image(LoadLibraryExA((tex_bin() + "buildhash.exe").c_str(), nullptr,
                                             LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(image);
  DialogDriver boxes;

  ASSERT_TRUE(run());
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(texts(), success_texts());
  EXPECT_EQ(log_text(), kFrameLine);
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell program");
  EXPECT_EQ(year_of(tex_bin() + "ispell.exe"), 2024);
  EXPECT_EQ(read_file(tex_bin() + "buildhash.exe"), "buildhash program");
  EXPECT_TRUE(dictionaries_in(dict));
  // The old file is gone once the program ends, or waits for the restart Reboots asks for.
  running.reset();
  image.reset();
  // Each old file is gone once its program ends; one that could not be deleted is either
  // scheduled for deletion at the restart Reboots asks for, or left for the next install.
  std::string pending;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
    const orelib::registry_key key(opened);
    char names[32768] = {};
    DWORD size = sizeof names - 2;
    RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE*>(names), &size);
    pending = lower(std::string(names, size));
  }
  bool scheduled = false;
  for (const std::string& old :
       {tex_bin() + "ispell.exe.ispell-old", tex_bin() + "buildhash.exe.ispell-old"})
    if (file_exists(old) && pending.find(lower(old)) != std::string::npos) scheduled = true;
  EXPECT_EQ(reboots_, scheduled);
  const std::string aside = tex_bin() + "ispell.exe.ispell-old";

  // One an earlier install could neither delete nor schedule is removed by the next, whatever
  // it installs; a name that merely begins like it is the user's.
  write_file(aside, "left aside");
  write_file(aside + "3", "left aside twice");
  write_file(aside + "er", "the user's");
  answer_dirs(dict, root() + "Home");
  ASSERT_TRUE(run()) << log_text();
  EXPECT_EQ(testing_support::list_tree(tex_bin()),
            (std::vector<std::string>{"buildhash.exe", "ispell.exe", "ispell.exe.ispell-older"}));
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell program");
}

TEST_F(Updates, TargetsOfTheSameAgeOrNewerAreKept) {
  unpack_as_of(2024);
  write_file(tex_bin() + "ispell.exe", "the same release, installed before");
  set_year(tex_bin() + "ispell.exe", 2024);
  write_file(tex_bin() + "buildhash.exe", "a newer buildhash");
  set_year(tex_bin() + "buildhash.exe", 2025);
  const std::string dict = root() + "Dic\\";
  CreateDirectoryA(dict.c_str(), nullptr);
  write_file(dict + "english.hash", "a hash the user rebuilt");
  set_year(dict + "english.hash", 2026);
  answer_dirs(dict, root() + "Home");

  ASSERT_TRUE(run());
  EXPECT_EQ(texts(), success_texts());
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "the same release, installed before");
  EXPECT_EQ(read_file(tex_bin() + "buildhash.exe"), "a newer buildhash");
  EXPECT_EQ(read_file(dict + "english.hash"), "a hash the user rebuilt");
  EXPECT_EQ(read_file(dict + "english.aff"), "english affixes");  // missing: copied
}

TEST_F(Updates, ReleaseAfterReleaseThroughTheRealUnpacker) {
  // The unpacker dates each file as the archive does; an older archive installed after a
  // newer one changes nothing.
  host::config().tar_handler = nullptr;
  const std::string dict = root() + "Dic\\";
  const auto install = [&](const std::string& version, std::int64_t mtime) {
    write_file(hozon() + "ispell.tar.xz", release(version, mtime));
    answer_dirs(dict, root() + "Home");
    return run();
  };
  ASSERT_TRUE(install("3.3.01", 1600000000));
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell 3.3.01");
  ASSERT_TRUE(install("3.3.02", 1700000000));
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell 3.3.02");
  EXPECT_EQ(read_file(dict + "english.hash"), "english hash 3.3.02");
  ASSERT_TRUE(install("3.3.01", 1600000000));
  EXPECT_EQ(read_file(tex_bin() + "ispell.exe"), "ispell 3.3.02");
  EXPECT_EQ(read_file(dict + "english.hash"), "english hash 3.3.02");
}

TEST_F(Updates, DirectoriesAmongTheEntriesAreSkippedQuietly) {
  CreateDirectoryA((tree() + "ispell-w32\\bin\\tools.exe").c_str(), nullptr);
  CreateDirectoryA((tree() + "ispell-w32\\dic\\sub").c_str(), nullptr);
  answer_dirs(root() + "Dic", root() + "Home");

  ASSERT_TRUE(run());
  EXPECT_EQ(texts(), success_texts());
  EXPECT_FALSE(file_exists(tex_bin() + "tools.exe"));
  EXPECT_FALSE(file_exists(root() + "Dic\\sub"));
  EXPECT_TRUE(dictionaries_in(root() + "Dic\\"));
  EXPECT_EQ(log_text(), kFrameLine + set_line("ISPELL_DICTDIR", slashes(root() + "Dic/")) +
                            set_line("HOME", root() + "Home\\"));
}

// ---- Failures: log line, progress texts, result ----

TEST_F(Failures, TarNotAvailable) {
  host::config().tar_available = false;
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "tar解凍ができません．\r\n");
  EXPECT_TRUE(texts().empty());
  EXPECT_TRUE(host::dir_input_calls().empty());
}

TEST_F(Failures, UnpackFails) {
  host::config().tar_handler = [](HWND, const std::string&, const std::string&) { return false; };
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "tar解凍に失敗．\r\n");
  EXPECT_EQ(texts(), (std::vector<std::string>{"ispellを解凍……", "失敗\r\n"}));
  // The directory choices were stored before.
  EXPECT_EQ(saved("ISPELLDICTDIR"), root() + "Dic\\");
  EXPECT_FALSE(reboots_);
}

TEST_F(Failures, NoProgramsInTheArchive) {
  DeleteFileA((tree() + "ispell-w32\\bin\\ispell.exe").c_str());
  DeleteFileA((tree() + "ispell-w32\\bin\\buildhash.exe").c_str());
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "binディレクトリの検索に失敗．\r\n");
  EXPECT_EQ(texts(),
            (std::vector<std::string>{"ispellを解凍……", "成功\r\nファイルのコピー……", "失敗\r\n"}));
  EXPECT_FALSE(file_exists(root() + "Dic"));
}

TEST_F(Failures, NoBinDirectoryInTheArchive) {
  testing_support::remove_tree(tree() + "ispell-w32\\bin\\");
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "binディレクトリの検索に失敗．\r\n");
  EXPECT_EQ(texts().back(), "失敗\r\n");
}

TEST_F(Failures, NoDictionariesLeavesTheProgramsUncopied) {
  DeleteFileA((tree() + "ispell-w32\\dic\\english.hash").c_str());
  DeleteFileA((tree() + "ispell-w32\\dic\\english.aff").c_str());
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "dicディレクトリの検索に失敗．\r\n");
  EXPECT_EQ(texts(),
            (std::vector<std::string>{"ispellを解凍……", "成功\r\nファイルのコピー……", "失敗\r\n"}));
  // The programs were staged, never switched in.
  EXPECT_TRUE(testing_support::list_tree(tex_bin()).empty());
  EXPECT_FALSE(file_exists(root() + "Dic"));
}

TEST_F(Failures, SystemVariableRefused) {
  host::config().system_env_ok = false;
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "環境変数ISPELL_DICTDIRの設定に失敗\r\n");
  std::vector<std::string> expected = success_texts();
  expected.back() = "失敗\r\n";
  EXPECT_EQ(texts(), expected);
  EXPECT_TRUE(env_calls(false).empty());
  EXPECT_FALSE(reboots_);
}

TEST_F(Failures, UserVariableRefusedAfterTheSystemOneWasSet) {
  host::config().user_env_ok = false;
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  const std::string dict_value = slashes(root() + "Dic/");
  EXPECT_EQ(log_text(),
            kFrameLine + set_line("ISPELL_DICTDIR", dict_value) + "環境変数HOMEの設定に失敗\r\n");
  EXPECT_EQ(texts().back(), "失敗\r\n");
  // The variable that was set asks for a restart even though the run failed.
  EXPECT_TRUE(reboots_);
  // The home directory was made before the host was asked.
  EXPECT_TRUE(is_directory(root() + "Home"));
}

TEST_F(Failures, HostWithoutSaveOrInstallDirectory) {
  host::config().hozon_dir = std::nullopt;
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_TRUE(host::tar_calls().empty());
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "tar解凍に失敗．\r\n");
  EXPECT_EQ(texts(), (std::vector<std::string>{"ispellを解凍……", "失敗\r\n"}));

  host::reset();
  host::config().hozon_dir = hozon();
  host::config().install_dir = std::nullopt;
  host::config().tar_handler = [this](HWND, const std::string&, const std::string& destination) {
    return static_cast<bool>(install_test::copy_tree(tree(), destination));
  };
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_TRUE(log_text().find("binディレクトリの検索に失敗．\r\n") != std::string::npos);
  // Nothing went to a "bin" relative to where the host runs.
  EXPECT_FALSE(file_exists(host::executable_directory() + "bin\\ispell.exe"));
}

// ---- Bad input ----

TEST_F(BadInput, EmptyAnswerIsTakenForCancel) {
  answer_dirs(std::string(), root() + "Home");
  EXPECT_FALSE(run());
  EXPECT_TRUE(host::tar_calls().empty());
  EXPECT_EQ(saved("ISPELLDICTDIR"), initial_dict());
  EXPECT_EQ(log_text(), kFrameLine);
}

// ---- Copy failures: a file that should be written and cannot be fails the copy step. Every
// target stays as it was, nothing is left beside them, neither variable is set, and the log
// names the file ----

namespace {

class CopyFailure;

struct CopyFailureCase {
  const char* name;
  // Prepares the tree, the targets and the answers; returns the file the log line names.
  std::function<std::string(CopyFailure&)> arrange;
  // The error code the log line gives; 0 where the file system decides it, and only a number
  // is required.
  DWORD error;
  // What the run leaves behind, beyond what every case checks.
  std::function<void(const CopyFailure&)> leaves;
  // What the log line says failed; null where leaves checks the log.
  const char* failed = "コピー";
  // One message box names the file as in use or not writable.
  bool told = false;
};

void PrintTo(const CopyFailureCase& c, std::ostream* out) { *out << c.name; }

class CopyFailure : public InstallTest, public ::testing::WithParamInterface<CopyFailureCase> {
 public:
  // Closed at the end of the test, before its scratch tree is removed.
  orelib::file_handle held;
  // A target the test holds open during the run with this sharing.
  std::string hold;
  DWORD share = 0;

  // Programs and dictionaries of 2020 installed, a release of 2024 unpacked.
  void older_installation() {
    unpack_as_of(2024);
    const std::string dict = root() + "Dic\\";
    CreateDirectoryA(dict.c_str(), nullptr);
    for (const std::string& file : {tex_bin() + "ispell.exe", tex_bin() + "buildhash.exe",
                                    dict + "english.hash", dict + "english.aff"}) {
      write_file(file, "2020 " + file);
      set_year(file, 2020);
    }
    answer_dirs(dict, root() + "Home");
  }
};

// Every file below the folder with its bytes and write time.
std::string state_of(const std::string& folder) {
  std::string state;
  for (const std::string& path : testing_support::list_tree(folder)) {
    state += path;
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    if (!is_directory(folder + path) &&
        testing_support::file_mtime(folder + path, seconds, nanoseconds))
      state += " " + std::to_string(seconds) + "." + std::to_string(nanoseconds) + " " +
               read_file(folder + path);
    state += "\n";
  }
  return state;
}

std::vector<std::string> copy_failed_texts() {
  return {"ispellを解凍……", "成功\r\nファイルのコピー……", "失敗\r\n"};
}

const CopyFailureCase kCopyFailures[] = {
    {"ReadOnlyOlderProgram",
     [](CopyFailure& t) {
       t.unpack_as_of(2024);
       const std::string target = t.tex_bin() + "buildhash.exe";
       write_file(target, "read-only buildhash of an older release");
       set_year(target, 2020);
       SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
       t.answer_dirs(t.root() + "Dic", t.root() + "Home");
       return target;
     },
     ERROR_ACCESS_DENIED,
     [](const CopyFailure& t) {
       EXPECT_EQ(read_file(t.tex_bin() + "buildhash.exe"),
                 "read-only buildhash of an older release");
       EXPECT_FALSE(file_exists(t.root() + "Dic"));
     },
     "コピー", true},
    {"MissingBinDirectory",
     // The plug-in does not create the installation's own bin directory.
     [](CopyFailure& t) {
       DeleteFileA((t.tree() + "ispell-w32\\bin\\buildhash.exe").c_str());
       testing_support::remove_tree(t.tex_bin());
       t.answer_dirs(t.root() + "Dic", t.root() + "Home");
       return t.tex_bin() + "ispell.exe";
     },
     ERROR_PATH_NOT_FOUND,
     [](const CopyFailure& t) {
       EXPECT_FALSE(file_exists(t.tex_bin()));
       EXPECT_FALSE(file_exists(t.root() + "Dic"));
     }},
    {"DictionaryDirectoryThatCannotBeMade",
     // A plain file stands where a parent directory of the dictionaries should be.
     [](CopyFailure& t) {
       DeleteFileA((t.tree() + "ispell-w32\\dic\\english.aff").c_str());
       write_file(t.root() + "blocker", "a file, not a directory");
       const std::string dict = t.root() + "blocker\\Dic\\";
       t.answer_dirs(dict, t.root() + "Home");
       return dict + "english.hash";
     },
     ERROR_PATH_NOT_FOUND,
     [](const CopyFailure& t) {
       // The programs staged before are not switched in; the choice was stored.
       EXPECT_FALSE(file_exists(t.tex_bin() + "ispell.exe"));
       EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.root() + "blocker\\Dic\\");
       EXPECT_EQ(read_file(t.root() + "blocker"), "a file, not a directory");
       EXPECT_EQ(host::read_registry_variable(true, "ISPELL_DICTDIR"), std::nullopt);
     }},
    {"DictionaryHeldOpenByAnotherProgram",
     // The work directory gets its copy; that one is held without sharing while the plug-in
     // copies from it.
     [](CopyFailure& t) {
       write_file(t.tree() + "ispell-w32\\dic\\locked.hash", "locked");
       t.answer_dirs(t.root() + "Dic", t.root() + "Home");
       const auto copy = host::config().tar_handler;
       host::config().tar_handler = [&t, copy](HWND owner, const std::string& archive,
                                               const std::string& destination) {
         const bool ok = copy(owner, archive, destination);
         t.held.reset(CreateFileA((destination + "ispell-w32\\dic\\locked.hash").c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
         return ok;
       };
       return t.root() + "Dic\\locked.hash";
     },
     ERROR_SHARING_VIOLATION,
     [](const CopyFailure& t) {
       EXPECT_NE(t.held.get(), INVALID_HANDLE_VALUE);
       EXPECT_FALSE(file_exists(t.root() + "Dic\\locked.hash"));
     }},
    {"TargetNameTakenByADirectory",
     [](CopyFailure& t) {
       DeleteFileA((t.tree() + "ispell-w32\\bin\\buildhash.exe").c_str());
       const std::string target = t.tex_bin() + "ispell.exe";
       CreateDirectoryA(target.c_str(), nullptr);
       write_file(target + "\\inside.txt", "kept");
       t.answer_dirs(t.root() + "Dic", t.root() + "Home");
       return target;
     },
     0,
     [](const CopyFailure& t) {
       EXPECT_TRUE(is_directory(t.tex_bin() + "ispell.exe"));
       EXPECT_EQ(read_file(t.tex_bin() + "ispell.exe\\inside.txt"), "kept");
     }},
    {"FileWhereTheBinDirectoryShouldBe",
     [](CopyFailure& t) {
       DeleteFileA((t.tree() + "ispell-w32\\bin\\buildhash.exe").c_str());
       testing_support::remove_tree(t.tex_bin());
       write_file(t.tex() + "bin", "not a directory");
       t.answer_dirs(t.root() + "Dic", t.root() + "Home");
       return t.tex_bin() + "ispell.exe";
     },
     0, [](const CopyFailure& t) { EXPECT_EQ(read_file(t.tex() + "bin"), "not a directory"); }},
    {"AnswerOfThousandsOfCharacters",
     // One component far longer than any file system allows: nothing can be created, so the
     // first dictionary fails the step and no variable names the directory.
     [](CopyFailure& t) {
       DeleteFileA((t.tree() + "ispell-w32\\dic\\english.aff").c_str());
       const std::string dict = t.root() + std::string(5000, 'd');
       t.answer_dirs(dict, t.root() + "Home");
       return dict + "\\english.hash";
     },
     0,
     [](const CopyFailure& t) {
       EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.root() + std::string(5000, 'd') + "\\");
       EXPECT_FALSE(file_exists(t.tex_bin() + "ispell.exe"));
     }},
    {"DictionaryHeldWithoutSharing",
     // Switched after the programs: they are put back.
     [](CopyFailure& t) {
       t.older_installation();
       t.hold = t.root() + "Dic\\english.hash";
       return t.hold;
     },
     ERROR_SHARING_VIOLATION, [](const CopyFailure&) {}, "置き換え", true},
    {"ReadOnlyOlderDictionary",
     [](CopyFailure& t) {
       t.older_installation();
       SetFileAttributesA((t.root() + "Dic\\english.aff").c_str(), FILE_ATTRIBUTE_READONLY);
       return t.root() + "Dic\\english.aff";
     },
     ERROR_ACCESS_DENIED,
     [](const CopyFailure& t) {
       SetFileAttributesA((t.root() + "Dic\\english.aff").c_str(), FILE_ATTRIBUTE_NORMAL);
     },
     "コピー", true},
    {"StagedCopyRefusedAfterOthers",
     // The folder refuses the dictionary's staged copy after the programs' (a directory takes
     // its name, as the file system here cannot be made to deny writes or run out of space).
     [](CopyFailure& t) {
       t.older_installation();
       CreateDirectoryA((t.root() + "Dic\\english.aff.ispell-new").c_str(), nullptr);
       return t.root() + "Dic\\english.aff";
     },
     0, [](const CopyFailure&) {}},
    {"DirectoryNamedLikeAProgramInTheArchive",
     [](CopyFailure& t) {
       t.older_installation();
       const std::string entry = t.tree() + "ispell-w32\\bin\\buildhash.exe";
       DeleteFileA(entry.c_str());
       CreateDirectoryA(entry.c_str(), nullptr);
       return t.tex_bin() + "buildhash.exe";
     },
     0,
     [](const CopyFailure& t) {
       EXPECT_EQ(t.log_text(), kFrameLine + std::string("アーカイブの") + t.work() +
                                   "ispell-w32\\bin\\buildhash.exeはディレクトリなので" +
                                   t.tex_bin() + "buildhash.exeを置き換えられません．\r\n");
     },
     nullptr},
    {"TargetOfMaxPathWhoseStagedNameIsLonger",
     // The longest path the system takes (MAX_PATH with its terminating null).
     [](CopyFailure& t) {
       t.older_installation();
       DeleteFileA((t.tree() + "ispell-w32\\dic\\english.aff").c_str());
       const std::string name = "english.hash";
       const std::string dict =
           t.root() + std::string(MAX_PATH - 1 - name.size() - t.root().size() - 1, 'd') + "\\";
       t.answer_dirs(dict, t.root() + "Home");
       EXPECT_EQ((dict + name).size(), MAX_PATH - 1u);
       return dict + name;
     },
     ERROR_FILENAME_EXCED_RANGE,
     [](const CopyFailure& t) {
       const std::string dict = t.saved("ISPELLDICTDIR");
       EXPECT_FALSE(file_exists(dict)) << "made for the copy, removed with it";
     }},
};

}  // namespace

TEST_P(CopyFailure, LeavesTheInstallationAsItWasAndSetsNothing) {
  const CopyFailureCase& c = GetParam();
  const std::string target = c.arrange(*this);
  const std::string programs = state_of(tex());
  const std::string dictionaries = state_of(root() + "Dic\\");
  if (!hold.empty()) {
    held.reset(CreateFileA(hold.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
  }
  DialogDriver boxes;

  EXPECT_FALSE(run());
  if (!hold.empty()) held.reset();
  const std::string line = kFrameLine + std::string("ファイル") + target + "の" +
                           (c.failed ? c.failed : "") + "に失敗．GetLastErrorのエラーコード";
  if (!c.failed) {
    // The row checks the log.
  } else if (c.error != 0) {
    EXPECT_EQ(log_text(), line + std::to_string(c.error) + "\r\n");
  } else {
    // The line with whatever number the file system gave.
    const std::string log = log_text();
    EXPECT_EQ(log.substr(0, line.size()), line);
    const std::string rest = log.size() > line.size() ? log.substr(line.size()) : "";
    EXPECT_TRUE(std::regex_match(rest, std::regex("[0-9]+\r\n"))) << "after the prefix: " << rest;
  }
  EXPECT_EQ(texts(), copy_failed_texts());
  EXPECT_TRUE(host::env_calls().empty());
  EXPECT_FALSE(reboots_);
  // Same files, bytes and times; nothing staged or set aside left.
  EXPECT_EQ(state_of(tex()), programs);
  EXPECT_EQ(state_of(root() + "Dic\\"), dictionaries);
  if (c.told) {
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].caption, L"ispell");
    EXPECT_EQ(boxes.boxes()[0].text,
              L"ファイル" + wide(target) +
                  L"は使用中か，書き込みできません．\r\nこのファイルを使っているプログラムを終了"
                  L"してから，もう一度インストールしてください．\r\nインストールされていたファイル"
                  L"は元のままです．");
  } else {
    EXPECT_TRUE(boxes.boxes().empty());
  }
  c.leaves(*this);
}

INSTANTIATE_TEST_SUITE_P(Failures, CopyFailure, ::testing::ValuesIn(kCopyFailures),
                         [](const ::testing::TestParamInfo<CopyFailureCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Shift-JIS directory names ----

TEST_F(DoubleByte, VariableKeepsJapaneseDirectoryNames) {
  // "ソ" and "表" end in 0x5C; the choice ends in "表" without a separator.
  ASSERT_EQ(std::string("ソ表"), "\x83\x5C\x95\x5C");
  const std::string dict = root() + "ソフト\\表";
  const std::string home = root() + "ホーム表";
  answer_dirs(dict, home);

  ASSERT_TRUE(run());
  EXPECT_EQ(saved("ISPELLDICTDIR"), dict + "\\");
  EXPECT_TRUE(dictionaries_in(dict + "\\"));
  const std::string expected = slashes(root()) + "ソフト/表/";
  ASSERT_EQ(env_calls(true).size(), 1u);
  EXPECT_EQ(env_calls(true)[0].value, expected);
  EXPECT_EQ(host::read_registry_variable(true, "ISPELL_DICTDIR"), expected);
  EXPECT_EQ(host::read_registry_variable(false, "HOME"), home + "\\");
  EXPECT_TRUE(is_directory(home));
}

TEST_F(DoubleByte, SameDirectoryEndingInTrailByte5C) {
  const std::string dict = root() + "ソフト\\表";
  set_env("ISPELL_DICTDIR", slashes(dict).c_str());  // no final separator
  set_env("HOME", (root() + "ホーム表\\").c_str());
  answer_dirs(dict + "\\", root() + "ホーム表");
  DialogDriver boxes;

  ASSERT_TRUE(run());
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_TRUE(host::env_calls().empty());
  EXPECT_EQ(saved("ISPELLDICTDIR"), lower(dict) + "\\");
  EXPECT_TRUE(dictionaries_in(dict + "\\"));
}

// ---- Folder names Shift-JIS cannot write ----

namespace {

constexpr const wchar_t* kUnwritableFolder =
    L"このフォルダの名前にはインストーラが書けない文字があります．\r\n"
    L"名前をShift_JISで書けるフォルダを選んでください．";

std::string unusable(const std::string& names) {
  return "環境変数" + names + "の値はShift_JISで書けるディレクトリ名ではないので使いません．\r\n";
}

// What a row expects beyond what every row checks.
struct Outcome {
  bool result = true;
  std::vector<std::wstring> boxes;  // the message boxes' texts, in order
  std::string log;                  // the whole activity log
  std::function<void(InstallTest&)> leaves;
};

struct FolderRow {
  const char* name;
  std::vector<int> answers;  // the message boxes' buttons
  std::function<Outcome(InstallTest&)> arrange;
  // The row's folders are unwritable in every code page, not only in Shift-JIS.
  bool every_code_page = false;
};

// Each row gets a fresh tree, host and environment.
class FreshInstall : public InstallTest {
  void TestBody() override {}
};

}  // namespace

TEST_F(DoubleByte, FoldersShiftJisCannotWrite) {
  using testing_support::kAstral;
  using testing_support::kHangul;
  using testing_support::kUmlaut;
  using testing_support::short_name;
  using testing_support::wide;
  const auto make = [](const std::wstring& folder) {
    EXPECT_TRUE(testing_support::make_folder(folder));
    return folder;
  };
  const auto ini_with = [](InstallTest& t, const std::string& lines) {
    write_file(t.ini(), std::string("[ispell]\r\nURL=") + kUrl + "\r\n" + lines);
  };
  const auto dictionaries_in_folder = [](const std::wstring& folder) {
    EXPECT_EQ(testing_support::read_file(folder + L"\\english.hash"), "english hash");
    EXPECT_EQ(testing_support::read_file(folder + L"\\english.aff"), "english affixes");
  };

  const FolderRow rows[] = {
      {"DictionaryVariableNamesTheFolderByItsShortName",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kHangul);
         const std::string by_short = short_name(folder) + "\\";
         t.set_env("ISPELL_DICTDIR", folder.c_str());
         ini_with(t, "Home=" + t.initial_home() + "\r\n");
         t.answer_dirs(by_short, t.root() + "Home");  // the initial directory, accepted
         return Outcome{
             true, {}, kFrameLine + set_line("HOME", t.root() + "Home\\"), [=](InstallTest& t) {
               ASSERT_FALSE(host::dir_input_calls().empty());
               EXPECT_EQ(host::dir_input_calls()[0].initial, by_short);
               EXPECT_TRUE(t.env_calls(true).empty());
               EXPECT_EQ(t.saved("ISPELLDICTDIR"), lower(by_short));
               dictionaries_in_folder(folder);
             }};
       }},
      {"DictionaryVariableElsewhereYes",
       {IDYES},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kUmlaut);
         t.set_env("ISPELL_DICTDIR", folder.c_str());
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{true,
                        {kMismatch},
                        kFrameLine + set_line("HOME", t.root() + "Home\\"),
                        [=](InstallTest& t) {
                          EXPECT_TRUE(t.env_calls(true).empty());
                          EXPECT_EQ(t.saved("ISPELLDICTDIR"), lower(short_name(folder) + "\\"));
                          dictionaries_in_folder(folder);
                          // Never the look-alike "Muller".
                          EXPECT_FALSE(file_exists(t.root() + "Muller"));
                        }};
       }},
      {"DictionaryVariableWithoutShortNameYes",
       {IDYES},
       [&](InstallTest& t) {
         t.set_env("ISPELL_DICTDIR", (wide(t.root()) + kHangul).c_str());  // no such folder
         ini_with(t, "Home=" + t.initial_home() + "\r\n");
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{false,
                        {kMismatch, kUnwritableFolder},
                        unusable("ISPELL_DICTDIR") + kFrameLine + unusable("ISPELL_DICTDIR"),
                        [=](InstallTest& t) {
                          // The host's directory was the initial one, and stays.
                          ASSERT_FALSE(host::dir_input_calls().empty());
                          EXPECT_EQ(host::dir_input_calls()[0].initial, t.tex() + "ispell\\dic\\");
                          EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.tex() + "ispell\\dic\\");
                          EXPECT_TRUE(host::tar_calls().empty());
                          EXPECT_TRUE(t.texts().empty());
                        }};
       }},
      {"DictionaryVariableWithoutShortNameNo",
       {IDNO},
       [&](InstallTest& t) {
         t.set_env("ISPELL_DICTDIR", (wide(t.root()) + kAstral).c_str());
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         const std::string stored = lower(t.root() + "Dic\\");
         return Outcome{true,
                        {kMismatch},
                        kFrameLine + set_line("ISPELL_DICTDIR", slashes(stored)) +
                            set_line("HOME", t.root() + "Home\\"),
                        [=](InstallTest& t) {
                          ASSERT_EQ(t.env_calls(true).size(), 1u);
                          EXPECT_EQ(t.env_calls(true)[0].value, slashes(stored));
                          EXPECT_TRUE(dictionaries_in(stored));
                        }};
       }},
      {"VariableHoldingOnlyAQuestionMarkYes",
       {IDYES},
       [&](InstallTest& t) {
         t.set_env("ISPELL_DICTDIR", "?");
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{false,
                        {kMismatch, kUnwritableFolder},
                        kFrameLine + unusable("ISPELL_DICTDIR"),
                        [=](InstallTest& t) {
                          EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.initial_dict());
                          EXPECT_TRUE(host::tar_calls().empty());
                        }};
       },
       true},
      {"HomeVariableIsTheChosenFolderByItsShortName",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kHangul);
         t.set_env("HOME", folder.c_str());
         t.answer_dirs(t.root() + "Dic", short_name(folder));
         return Outcome{true,
                        {},
                        kFrameLine + set_line("ISPELL_DICTDIR", slashes(t.root() + "Dic/")),
                        [=](InstallTest& t) {
                          EXPECT_TRUE(t.env_calls(false).empty());
                          EXPECT_EQ(t.saved("Home"), t.initial_home());
                        }};
       }},
      {"HomeFromHomePathByItsShortName",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kUmlaut);
         t.set_env("HOMEDRIVE", folder.substr(0, 2).c_str());
         t.set_env("HOMEPATH", folder.substr(2).c_str());
         ini_with(t, "ISPELLDICTDIR=" + t.initial_dict() + "\r\n");
         const std::string by_short = short_name(folder) + "\\";
         t.answer_dirs(t.root() + "Dic", by_short);
         return Outcome{true,
                        {},
                        kFrameLine + set_line("ISPELL_DICTDIR", slashes(t.root() + "Dic/")) +
                            set_line("HOME", by_short),
                        [=](InstallTest& t) {
                          ASSERT_EQ(host::dir_input_calls().size(), 2u);
                          EXPECT_EQ(host::dir_input_calls()[1].initial, by_short);
                          ASSERT_EQ(t.env_calls(false).size(), 1u);
                          EXPECT_EQ(t.env_calls(false)[0].value, by_short);
                          EXPECT_TRUE(orelib::same_folder(wide(by_short), folder));
                        }};
       }},
      {"TemporaryDirectoryByItsShortName",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kAstral);
         t.set_env("TMP", folder.c_str());
         t.set_env("TEMP", folder.c_str());
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{
             true,
             {},
             kFrameLine + set_line("ISPELL_DICTDIR", slashes(t.root() + "Dic/")) +
                 set_line("HOME", t.root() + "Home\\"),
             [=](InstallTest& t) {
               ASSERT_EQ(host::tar_calls().size(), 1u);
               EXPECT_EQ(host::tar_calls()[0].destination, short_name(folder) + "\\ispell\\");
               EXPECT_EQ(
                   testing_support::read_file(folder + L"\\ispell\\ispell-w32\\dic\\english.hash"),
                   "english hash");
               EXPECT_TRUE(dictionaries_in(t.root() + "Dic\\"));
             }};
       }},
      {"TemporaryDirectoryWithoutShortName",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = wide(t.root()) + kHangul;
         t.set_env("TMP", folder.c_str());
         t.set_env("TEMP", folder.c_str());
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{
             false,
             {},
             "一時ディレクトリの名前はShift_JISで書けないので使いません．\r\n" +
                 std::string(kFrameLine) + "tar解凍に失敗．\r\n",
             [=](InstallTest& t) {
               EXPECT_TRUE(host::tar_calls().empty());
               EXPECT_EQ(t.texts(), (std::vector<std::string>{"ispellを解凍……", "失敗\r\n"}));
             }};
       }},
      {"AnswerWithQuestionMarks",
       {},
       [&](InstallTest& t) {
         t.answer_dirs(std::string("C:\\dic\\???"), t.root() + "Home");
         return Outcome{
             false,
             {kUnwritableFolder},
             kFrameLine +
                 std::string("選ばれたディレクトリC:\\dic\\???は?を含むので使えません．\r\n"),
             [=](InstallTest& t) {
               EXPECT_EQ(host::dir_input_calls().size(), 1u);
               EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.initial_dict());
               EXPECT_TRUE(t.texts().empty());
             }};
       },
       true},
      {"IniValueWithQuestionMarks",
       {},
       [&](InstallTest& t) {
         ini_with(t, "ISPELLDICTDIR=" + t.root() + "???\\\r\nHome=" + t.initial_home() + "\r\n");
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{true,
                        {},
                        "INIファイルのISPELLDICTDIRの値" + t.root() +
                            "???\\は?を含むので使いません．\r\n" + kFrameLine +
                            set_line("ISPELL_DICTDIR", slashes(t.root() + "Dic/")) +
                            set_line("HOME", t.root() + "Home\\"),
                        [=](InstallTest& t) {
                          ASSERT_FALSE(host::dir_input_calls().empty());
                          EXPECT_EQ(host::dir_input_calls()[0].initial, t.tex() + "ispell\\dic\\");
                          EXPECT_EQ(t.saved("ISPELLDICTDIR"), t.root() + "Dic\\");
                        }};
       },
       true},
      {"InstallDirectoryWithQuestionMarks",
       {},
       [&](InstallTest& t) {
         host::config().install_dir = "C:\\???\\";  // the INI names both directories
         t.answer_dirs(t.root() + "Dic", t.root() + "Home");
         return Outcome{
             false,
             {kUnwritableFolder},
             kFrameLine + std::string("TeXのインストール先C:\\???\\は?を含むので使えません．\r\n"),
             [=](InstallTest& t) {
               EXPECT_EQ(t.texts(),
                         (std::vector<std::string>{"ispellを解凍……", "成功\r\nファイルのコピー……",
                                                   "失敗\r\n"}));
               EXPECT_FALSE(file_exists(t.tex_bin() + "ispell.exe"));
               EXPECT_FALSE(file_exists(t.root() + "Dic"));
             }};
       },
       true},
      {"FolderRemovedBetweenPluginInitAndInstall",
       {},
       [&](InstallTest& t) {
         const std::wstring folder = make(wide(t.root()) + kHangul);
         const std::string by_short = short_name(folder) + "\\";
         t.set_env("ISPELL_DICTDIR", folder.c_str());
         ini_with(t, "Home=" + t.initial_home() + "\r\n");
         t.before_install = [folder] { RemoveDirectoryW(folder.c_str()); };
         t.answer_dirs(by_short, t.root() + "Home");
         return Outcome{false,
                        {kUnwritableFolder},
                        std::string(kFrameLine) + "ディレクトリ" + by_short +
                            "は短い名前が指していたフォルダがないので使えません．\r\n",
                        [=](InstallTest& t) {
                          // Neither a folder by the short name's letters nor an INI text
                          // that names nothing.
                          EXPECT_FALSE(file_exists(by_short));
                          EXPECT_EQ(t.saved("ISPELLDICTDIR"), "");
                          EXPECT_TRUE(host::tar_calls().empty());
                        }};
       }},
  };

  for (const FolderRow& row : rows) {
    if (GetACP() != 932 && !row.every_code_page) continue;
    SCOPED_TRACE(row.name);
    FreshInstall t;
    const Outcome expected = row.arrange(t);
    DialogDriver boxes(row.answers);
    EXPECT_EQ(t.run(), expected.result);
    std::vector<std::wstring> shown;
    for (const auto& box : boxes.boxes()) {
      EXPECT_EQ(box.caption, L"ispell");
      shown.push_back(box.text);
    }
    EXPECT_EQ(shown, expected.boxes);
    EXPECT_EQ(t.log_text(), expected.log);
    // Nothing that names no folder: not in the INI file, not in a variable, not as a target.
    const std::string ini = read_file(t.ini());
    EXPECT_EQ(ini.find('?'), std::string::npos) << ini;
    for (const host::EnvCall& call : host::env_calls())
      EXPECT_TRUE(is_directory(call.value)) << call.name;
    for (const host::TarCall& call : host::tar_calls())
      EXPECT_EQ(call.destination.find('?'), std::string::npos);
    if (expected.leaves) expected.leaves(t);
  }
}
