#include "install/install.h"

#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "install/file_in_use.h"
#include "install/file_system.h"
#include "install/staged_copy.h"
#include "plugin/host_module.h"
#include "plugin/log.h"
#include "plugin/module_state.h"
#include "support/ansi_path.h"
#include "support/shown_text.h"

namespace {

constexpr const char* kDictPrompt = "ispellのシステム辞書をインストールする場所を選んでください．";
constexpr const char* kHomePrompt =
    "ispellの個人辞書をインストールする場所（ホームディレクトリ）を選んでください．";
constexpr const char* kMismatch =
    "指定されたディレクトリは環境変数で指定されたものと異なります．\r\n"
    "環境変数に指定されたものにしますか？するならはいを，今のでいいならばいいえを，\r\n"
    "インストールをやめるならばキャンセルを押してください．";
constexpr const char* kUnwritableFolder =
    "このフォルダの名前にはインストーラが書けない文字があります．\r\n"
    "名前をShift_JISで書けるフォルダを選んでください．";
constexpr const char* kFailed = "失敗\r\n";

void show(HWND progress_window, const char* text) {
  SendMessageA(progress_window, PM_APPEND_PROGRESS, 0, reinterpret_cast<LPARAM>(text));
}

// Every way out after the binding: the log line, the window's "failure", false.
bool fail(HWND progress_window, const orelib::string& log_text) {
  log_line(log_text);
  show(progress_window, kFailed);
  return false;
}

// A folder the installer cannot name: the log line, then the user is told to choose another.
void refuse(HWND progress_window, const orelib::string& log_text) {
  log_line(log_text);
  orelib::message_box(progress_window, {orelib::own(kUnwritableFolder)},
                      MB_OK | MB_ICONEXCLAMATION);
}

// Two directories are the same when these forms are equal byte for byte.
orelib::string comparison_form(orelib::string directory) {
  normalise_directory(directory);
  orelib::to_lower(directory);
  return directory;
}

// An entry naming our mirror with any status but 1 tells us not to install. A null list
// with a positive count is read as no entries at all.
bool entries_allow_install(int count, const InstallEntry* entries) {
  if (!entries) return true;
  for (int i = 0; i < count; ++i) {
    if (entries[i].text && g_setting.url == entries[i].text && entries[i].status != 1) return false;
  }
  return true;
}

enum class Reconciled {
  cancelled,       // the dialog or the message box was cancelled
  variable_unset,  // the variable is empty: use the choice as given
  same,            // the choice names the variable's directory
  use_variable,    // they differ and the user keeps the variable's directory (Yes)
  use_choice,      // they differ and the user keeps the choice (No)
};

struct DirectoryChoice {
  Reconciled outcome = Reconciled::cancelled;
  orelib::string choice;             // as the dialog returned it
  orelib::string choice_compared;    // comparison form of the choice
  orelib::string variable_compared;  // comparison form of the variable's value
};

// The user's answer, unless it is a text no folder has: one with "?" (the host could not
// write the name the user picked), or a short name whose folder is gone since it was read.
bool usable_choice(HWND progress_window, const orelib::string& choice) {
  if (orelib::holds_question_mark(choice)) {
    refuse(progress_window, "選ばれたディレクトリ" + choice + "は?を含むので使えません．");
    return false;
  }
  const ShortName* short_name = short_name_of(comparison_form(choice));
  if (short_name && !orelib::same_folder(orelib::to_wide(choice), short_name->long_path)) {
    refuse(progress_window,
           "ディレクトリ" + choice + "は短い名前が指していたフォルダがないので使えません．");
    return false;
  }
  return true;
}

DirectoryChoice choose_directory(const HostModule& host, HWND progress_window, const char* prompt,
                                 const orelib::string& initial, const char* variable) {
  DirectoryChoice result;
  const char* chosen = host.call<host_service::DIRINPUT>(progress_window, prompt, initial.c_str());
  // An empty answer names no directory: taking it would copy into the current directory.
  if (!chosen || !*chosen) return result;
  result.choice = chosen;
  if (!usable_choice(progress_window, result.choice)) return result;

  const std::wstring current = slashes_to_backslashes(read_env(variable));
  if (current.empty()) {
    result.outcome = Reconciled::variable_unset;
    return result;
  }
  const orelib::AnsiDirectory named = orelib::ansi_directory(current);
  result.choice_compared = comparison_form(result.choice);
  if (named.form != orelib::ansi_form::none) result.variable_compared = comparison_form(named.path);
  // A value the code page writes is compared as text, as always; one it cannot write is
  // compared as a folder (the choice may name it by its short name).
  const bool same = named.form == orelib::ansi_form::own_name
                        ? result.choice_compared == result.variable_compared
                        : orelib::same_folder(orelib::to_wide(result.choice), current);
  if (same) {
    result.outcome = Reconciled::same;
    return result;
  }
  switch (orelib::message_box(progress_window, {orelib::own(kMismatch)}, MB_YESNOCANCEL)) {
    case IDYES:
      result.outcome = Reconciled::use_variable;
      // The variable's folder has no name the installer could store or copy to.
      if (named.form == orelib::ansi_form::none) {
        refuse(progress_window, unusable_variable_line(variable));
        result.outcome = Reconciled::cancelled;
      }
      break;
    case IDNO:
      result.outcome = Reconciled::use_choice;
      break;
    default:
      result.outcome = Reconciled::cancelled;
      break;
  }
  return result;
}

// Stores the dictionary directory; the result is the directory ISPELL_DICTDIR is compared
// with at the end (a difference sets it). False when the user cancelled.
bool choose_dictionary(const HostModule& host, HWND progress_window,
                       orelib::string& dict_reference) {
  const DirectoryChoice choice =
      choose_directory(host, progress_window, kDictPrompt, g_setting.dict_dir, "ISPELL_DICTDIR");
  switch (choice.outcome) {
    case Reconciled::cancelled:
      return false;
    case Reconciled::variable_unset:
      set_dict_dir(choice.choice);
      dict_reference.clear();
      return true;
    case Reconciled::same:
      set_dict_dir(choice.choice_compared);
      dict_reference = g_setting.dict_dir;
      return true;
    case Reconciled::use_variable:
      set_dict_dir(choice.variable_compared);
      dict_reference = g_setting.dict_dir;
      return true;
    case Reconciled::use_choice:
      set_dict_dir(choice.choice_compared);
      dict_reference = choice.variable_compared;
      return true;
  }
  return false;
}

// Stores the home directory; the result is the value HOME receives at the end, empty when
// it stays as it is. False when the user cancelled.
bool choose_home(const HostModule& host, HWND progress_window, orelib::string& home_to_set) {
  const DirectoryChoice choice =
      choose_directory(host, progress_window, kHomePrompt, g_setting.home_dir, "HOME");
  switch (choice.outcome) {
    case Reconciled::cancelled:
      return false;
    case Reconciled::variable_unset:
      set_home_dir(choice.choice);
      home_to_set = g_setting.home_dir;
      return true;
    case Reconciled::same:
      home_to_set.clear();
      return true;
    case Reconciled::use_variable:
      set_home_dir(choice.variable_compared);
      home_to_set.clear();
      return true;
    case Reconciled::use_choice:
      set_home_dir(choice.choice_compared);
      home_to_set = g_setting.home_dir;
      return true;
  }
  return false;
}

orelib::string error_text(DWORD error) {
  return "GetLastErrorのエラーコード" +
         orelib::lexical_cast<orelib::string>(static_cast<int>(error));
}

// A file that cannot be written ends the whole copy: every target is put back first, then the
// log line, the window's "failure" and, for a file in use, the user is told which one.
bool copy_failed(HWND progress_window, StagedCopy& copy) {
  for (const orelib::string& old_file : copy.abandon())
    log_line("元のファイル" + old_file + "を元の名前に戻せません．");
  const StagedCopy::Failure& failure = copy.failure();
  switch (failure.step) {
    case StagedCopy::Step::copy:
      log_line("ファイル" + failure.target + "のコピーに失敗．" + error_text(failure.error));
      break;
    case StagedCopy::Step::replace:
      log_line("ファイル" + failure.target + "の置き換えに失敗．" + error_text(failure.error));
      break;
    case StagedCopy::Step::directory:
      log_line("アーカイブの" + failure.source + "はディレクトリなので" + failure.target +
               "を置き換えられません．");
      break;
  }
  show(progress_window, kFailed);
  if (failure.in_use) tell_file_in_use(progress_window, failure.target);
  return false;
}

// Stages what the finder hands out from one unpacked folder for one target folder.
bool stage_entries(HWND progress_window, FileFinder& finder, StagedCopy& copy,
                   const orelib::string& from, const orelib::string& to) {
  WIN32_FIND_DATAA entry;
  while (finder.next(entry)) {
    if (!copy.stage(from, entry, to)) {
      finder.close();
      return copy_failed(progress_window, copy);
    }
  }
  finder.close();
  return true;
}

// Steps from the tar check on; a missing host service escapes as load_function.
bool install_with_host(const HostModule& host, HWND progress_window) {
  if (!host.call_bool<host_service::ISTARAVAILABLE>()) {
    log_line("tar解凍ができません．");
    return false;
  }

  orelib::string dict_reference;
  if (!choose_dictionary(host, progress_window, dict_reference)) return false;
  orelib::string home_to_set;
  if (!choose_home(host, progress_window, home_to_set)) return false;

  show(progress_window, "ispellを解凍……");
  const orelib::string work_dir = g_setting.temp_dir + "ispell\\";
  const orelib::string hozon_dir = host.call_text<host_service::GETHOZONDIR>();
  // Without a save directory there is no archive to hand over, and without a temporary
  // directory nowhere to unpack it (a bare name would be looked up wherever the host runs).
  if (hozon_dir.empty() || g_setting.temp_dir.empty())
    return fail(progress_window, "tar解凍に失敗．");
  const orelib::string archive = hozon_dir + kLocalArchiveName;
  if (!host.call_bool<host_service::TARDLG>(progress_window, archive.c_str(), work_dir.c_str()))
    return fail(progress_window, "tar解凍に失敗．");

  show(progress_window, "成功\r\nファイルのコピー……");
  // Programs and dictionaries switch together: a mixed set is a broken spell checker.
  StagedCopy copy;
  {
    const orelib::string source = work_dir + "ispell-w32\\bin\\";
    const orelib::string install_dir = host.call_text<host_service::GETINSTALLDIR>();
    if (orelib::holds_question_mark(install_dir)) {
      refuse(progress_window, "TeXのインストール先" + install_dir + "は?を含むので使えません．");
      show(progress_window, kFailed);
      return false;
    }
    FileFinder finder;
    // Without the installation's root the programs would land in a relative "bin".
    if (install_dir.empty() || !finder.open((source + "*.exe").c_str()))
      return fail(progress_window, "binディレクトリの検索に失敗．");
    if (!stage_entries(progress_window, finder, copy, source, install_dir + "bin\\")) return false;
  }
  {
    const orelib::string source = work_dir + "ispell-w32\\dic\\";
    FileFinder finder;
    if (!finder.open((source + "*.*").c_str())) {
      copy.abandon();
      return fail(progress_window, "dicディレクトリの検索に失敗．");
    }
    std::vector<orelib::string> made;
    make_directories(g_setting.dict_dir.c_str(), &made);
    copy.made(made);
    if (!stage_entries(progress_window, finder, copy, source, g_setting.dict_dir)) return false;
  }
  if (!copy.commit()) return copy_failed(progress_window, copy);
  if (copy.reboot_needed()) g_reboots = true;

  show(progress_window, "成功\r\nispell用の設定……");
  if (dict_reference != g_setting.dict_dir) {
    const orelib::string value = backslashes_to_slashes(g_setting.dict_dir);
    if (!host.call_bool<host_service::SETSYSTEMENV>("ISPELL_DICTDIR", value.c_str()))
      return fail(progress_window, "環境変数ISPELL_DICTDIRの設定に失敗");
    log_line("環境変数ISPELL_DICTDIRに" + value + "を設定しました．");
    g_reboots = true;
  }
  if (!home_to_set.empty()) {
    make_directories((home_to_set + "\\").c_str());
    if (!host.call_bool<host_service::SETUSERENV>("HOME", home_to_set.c_str()))
      return fail(progress_window, "環境変数HOMEの設定に失敗");
    log_line("環境変数HOMEに" + home_to_set + "を設定しました．");
    g_reboots = true;
  }

  show(progress_window, "成功\r\n");
  return true;
}

}  // namespace

bool install(HWND progress_window, DWORD, int count, const InstallEntry* entries) {
  if (!entries_allow_install(count, entries)) return false;

  HostModule host;
  if (!host.bind()) {
    log_line("本体のロードに失敗．");
    return false;
  }
  try {
    return install_with_host(host, progress_window);
  } catch (const load_function& missing) {
    return fail(progress_window, "関数" + missing.name + "のロードに失敗．");
  }
}
