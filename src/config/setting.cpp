#include "config/setting.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "plugin/host_module.h"
#include "plugin/log.h"
#include "support/ansi_path.h"
#include "support/handles.h"

setting g_setting;

namespace {

constexpr const char* kSection = "ispell";
constexpr DWORD kIniBufferSize = 4095;

// Frees a shell item list with the shell's allocator.
class ItemList {
 public:
  explicit ItemList(IMalloc* allocator) : allocator_(allocator) {}
  ~ItemList() {
    if (list_) allocator_->Free(list_);
  }
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;
  LPITEMIDLIST* out() { return &list_; }
  LPCITEMIDLIST get() const { return list_; }

 private:
  IMalloc* allocator_;
  LPITEMIDLIST list_ = nullptr;
};

// A directory read from the system, as the ANSI functions can use it; a short name is
// remembered with the long name it stands for. Empty when it cannot be written at all.
orelib::string usable_directory(const std::wstring& path) {
  const orelib::AnsiDirectory directory = orelib::ansi_directory(path);
  if (directory.form == orelib::ansi_form::short_name)
    g_setting.short_names.push_back({with_trailing_backslash(directory.path), path});
  return directory.path;
}

// A variable's directory; empty, with the log line, when it cannot be used.
orelib::string env_directory(const std::wstring& value, const orelib::string& names) {
  const orelib::string directory = usable_directory(value);
  if (directory.empty()) log_line(unusable_variable_line(names));
  return directory;
}

// The user's documents folder without a trailing backslash; empty when the shell fails or
// its name cannot be written (logged).
orelib::string documents_folder() {
  orelib::com_ptr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(allocator.put())) || !allocator) return {};
  ItemList items(allocator.get());
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, items.out())) || !items.get())
    return {};
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(items.get(), path)) return {};
  std::wstring folder(path);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  const orelib::string result = usable_directory(folder);
  if (result.empty()) log_line("ドキュメントフォルダの名前はShift_JISで書けないので使いません．");
  return result;
}

// A stored directory; a "?" in it is what an earlier conversion left of a name, so it names
// no folder and counts as absent (logged).
orelib::string ini_directory(const char* key, const char* label) {
  const orelib::string value = read_ini_string(key);
  if (!orelib::holds_question_mark(value)) return value;
  log_line(orelib::string("INIファイルの") + label + "の値" + value + "は?を含むので使いません．");
  return {};
}

// GETINSTALLDIR + the relative part; a host without the service leaves the directory empty
// and the reason in the log.
orelib::string install_dir_fallback(const HostModule& host, const char* relative, bool& ok) {
  try {
    const orelib::string root = host.call_text<host_service::GETINSTALLDIR>();
    if (orelib::holds_question_mark(root)) {
      log_line("TeXのインストール先" + root + "は?を含むので使いません．");
      return {};
    }
    return root + relative;
  } catch (const load_function& missing) {
    log_line("関数" + missing.name + "のロードに失敗．");
    ok = false;
    return {};
  }
}

// The system's temporary directory in long form; empty when neither its long nor its short
// name can be written (logged).
orelib::string temp_directory() {
  const DWORD length = GetTempPathW(0, nullptr);
  if (length == 0) return {};
  std::vector<wchar_t> buffer(length + 1);
  if (GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data()) == 0) return {};
  std::wstring path = buffer.data();
  if (!path.empty() && path.back() != L'\\') path += L'\\';

  const DWORD long_length = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (long_length != 0) {
    std::vector<wchar_t> long_buffer(long_length + 1);
    const DWORD got =
        GetLongPathNameW(path.c_str(), long_buffer.data(), static_cast<DWORD>(long_buffer.size()));
    if (got != 0 && got < long_buffer.size()) path = long_buffer.data();
  }
  const orelib::string directory = orelib::ansi_directory(path).path;
  if (directory.empty()) log_line("一時ディレクトリの名前はShift_JISで書けないので使いません．");
  return with_trailing_backslash(directory);
}

// A directory held by a short name whose folder is gone is saved empty: the text names
// nothing now, and the next PluginInit reads the system afresh.
orelib::string saved_directory(const orelib::string& directory) {
  const ShortName* short_name = short_name_of(directory);
  if (short_name && !orelib::same_folder(orelib::to_wide(directory), short_name->long_path))
    return {};
  return directory;
}

}  // namespace

void set_dict_dir(const orelib::string& path) {
  g_setting.dict_dir = with_trailing_backslash(path);
}
void set_home_dir(const orelib::string& path) {
  g_setting.home_dir = with_trailing_backslash(path);
}

orelib::string read_ini_string(const char* key) {
  std::vector<char> buffer(kIniBufferSize);
  GetPrivateProfileStringA(kSection, key, "", buffer.data(), kIniBufferSize,
                           g_setting.ini_file.c_str());
  return buffer.data();
}

int read_ini_int(const char* section, const char* key) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, 0, g_setting.ini_file.c_str()));
}

// The platform's profile writer drops the key, or fails outright, for values of 32,767
// characters or more; such a value is saved as its longest whole-character prefix that fits.
// (Reading gives back at most 4094 characters of it in any case.)
orelib::string profile_value(const orelib::string& value) {
  const std::size_t limit = 32766;
  if (value.size() <= limit) return value;
  std::size_t end = 0;
  while (end < value.size()) {
    const std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(value[end])) ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return value.substr(0, end);
}

void write_ini_string(const char* key, const orelib::string& value) {
  WritePrivateProfileStringA(kSection, key, profile_value(value).c_str(),
                             g_setting.ini_file.c_str());
}

std::wstring read_env(const char* name) {
  const std::wstring wide_name = orelib::to_wide(name ? name : "");
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::vector<wchar_t> value(size + 1);
  const DWORD got =
      GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
  if (got == 0 || got >= value.size()) return {};
  return std::wstring(value.data(), got);
}

std::wstring slashes_to_backslashes(std::wstring path) {
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

orelib::string unusable_variable_line(const orelib::string& names) {
  return "環境変数" + names + "の値はShift_JISで書けるディレクトリ名ではないので使いません．";
}

const ShortName* short_name_of(const orelib::string& path) {
  orelib::string wanted = with_trailing_backslash(path);
  orelib::to_lower(wanted);
  for (const ShortName& short_name : g_setting.short_names) {
    orelib::string held = short_name.path;
    orelib::to_lower(held);
    if (held == wanted) return &short_name;
  }
  return nullptr;
}

bool load_settings(const char* ini_file, const char* log_file) {
  g_setting.ini_file = ini_file ? ini_file : "";
  g_setting.log_file = log_file ? log_file : "";

  HostModule host;
  host.bind();
  bool complete = true;

  g_setting.url = read_ini_string("URL");
  if (g_setting.url.empty()) g_setting.url = mirror_table[0];

  g_setting.short_names.clear();
  set_dict_dir(ini_directory("ISPELLDICTDIR", "ISPELLDICTDIR"));
  if (g_setting.dict_dir.empty()) {
    const std::wstring from_env = read_env("ISPELL_DICTDIR");
    if (!from_env.empty())
      set_dict_dir(env_directory(slashes_to_backslashes(from_env), "ISPELL_DICTDIR"));
    if (g_setting.dict_dir.empty())
      set_dict_dir(install_dir_fallback(host, "ispell\\dic\\", complete));
  }

  set_home_dir(ini_directory("HOME", "Home"));
  if (g_setting.home_dir.empty()) {
    const std::wstring home = read_env("HOME");
    const std::wstring home_path = read_env("HOMEPATH");
    const std::wstring home_drive = read_env("HOMEDRIVE");
    if (!home.empty()) set_home_dir(env_directory(slashes_to_backslashes(home), "HOME"));
    if (g_setting.home_dir.empty() && !home_path.empty() && !home_drive.empty())
      set_home_dir(
          env_directory(home_drive + slashes_to_backslashes(home_path), "HOMEDRIVEとHOMEPATH"));
    if (g_setting.home_dir.empty()) set_home_dir(documents_folder());
    if (g_setting.home_dir.empty())
      set_home_dir(install_dir_fallback(host, "ispell\\home\\", complete));
  }

  if (read_ini_string("IsURLList").empty())
    g_setting.is_url_list = true;
  else
    g_setting.is_url_list = read_ini_int(kSection, "IsURLList") != 0;

  g_setting.temp_dir = temp_directory();
  return complete;
}

void save_settings() {
  write_ini_string("URL", g_setting.url);
  write_ini_string("ISPELLDICTDIR", saved_directory(g_setting.dict_dir));
  write_ini_string("Home", saved_directory(g_setting.home_dir));
  write_ini_string("IsURLList",
                   orelib::lexical_cast<orelib::string>(g_setting.is_url_list ? 1 : 0));
}
