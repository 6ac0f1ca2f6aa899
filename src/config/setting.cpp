#include "config/setting.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "plugin/host_module.h"
#include "plugin/log.h"
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

orelib::string slashes_to_backslashes(orelib::string path) {
  orelib::replace_all(path, "/", "\\");
  return path;
}

// The user's documents folder without a trailing backslash; empty when the shell fails.
orelib::string documents_folder() {
  orelib::com_ptr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(allocator.put())) || !allocator) return {};
  ItemList items(allocator.get());
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, items.out())) || !items.get())
    return {};
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(items.get(), path)) return {};
  orelib::string result(path);
  if (ends_with_backslash(result)) result.pop_back();
  return result;
}

// GETINSTALLDIR + the relative part; a host without the service leaves the directory empty
// and the reason in the log.
orelib::string install_dir_fallback(const HostModule& host, const char* relative, bool& ok) {
  try {
    return host.call_text<host_service::GETINSTALLDIR>() + relative;
  } catch (const load_function& missing) {
    log_line("関数" + missing.name + "のロードに失敗．");
    ok = false;
    return {};
  }
}

orelib::string temp_directory() {
  const DWORD length = GetTempPathA(0, nullptr);
  if (length == 0) return {};
  std::vector<char> buffer(length + 1);
  if (GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data()) == 0) return {};
  const orelib::string short_form = with_trailing_backslash(buffer.data());

  const DWORD long_length = GetLongPathNameA(short_form.c_str(), nullptr, 0);
  if (long_length == 0) return short_form;
  std::vector<char> long_buffer(long_length + 1);
  const DWORD got = GetLongPathNameA(short_form.c_str(), long_buffer.data(),
                                     static_cast<DWORD>(long_buffer.size()));
  if (got == 0 || got >= long_buffer.size()) return short_form;
  return long_buffer.data();
}

}  // namespace

bool ends_with_backslash(const orelib::string& path) {
  bool last_is_backslash = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const BYTE byte = static_cast<BYTE>(path[i]);
    last_is_backslash = byte == '\\';
    if (IsDBCSLeadByte(byte) && i + 1 < path.size()) ++i;  // skip the trail byte
  }
  return last_is_backslash;
}

orelib::string with_trailing_backslash(const orelib::string& path) {
  if (path.empty() || ends_with_backslash(path)) return path;
  return path + "\\";
}

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

// Read as UTF-16 and converted: some ANSI implementations measure double-byte values in
// characters and cut them short.
orelib::string read_env(const char* name) {
  const int name_length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (name_length <= 0) return {};
  std::vector<wchar_t> wide_name(name_length);
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name.data(), name_length);

  const DWORD size = GetEnvironmentVariableW(wide_name.data(), nullptr, 0);
  if (size == 0) return {};
  std::vector<wchar_t> value(size + 1);
  const DWORD got =
      GetEnvironmentVariableW(wide_name.data(), value.data(), static_cast<DWORD>(value.size()));
  if (got == 0 || got >= value.size()) return {};

  const int bytes = WideCharToMultiByte(CP_ACP, 0, value.data(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::vector<char> buffer(bytes);
  WideCharToMultiByte(CP_ACP, 0, value.data(), -1, buffer.data(), bytes, nullptr, nullptr);
  return buffer.data();
}

bool load_settings(const char* ini_file, const char* log_file) {
  g_setting.ini_file = ini_file ? ini_file : "";
  g_setting.log_file = log_file ? log_file : "";

  HostModule host;
  host.bind();
  bool complete = true;

  g_setting.url = read_ini_string("URL");
  if (g_setting.url.empty()) g_setting.url = mirror_table[0];

  set_dict_dir(read_ini_string("ISPELLDICTDIR"));
  if (g_setting.dict_dir.empty()) {
    const orelib::string from_env = read_env("ISPELL_DICTDIR");
    if (!from_env.empty())
      set_dict_dir(slashes_to_backslashes(from_env));
    else
      set_dict_dir(install_dir_fallback(host, "ispell\\dic\\", complete));
  }

  set_home_dir(read_ini_string("HOME"));
  if (g_setting.home_dir.empty()) {
    const orelib::string home = read_env("HOME");
    const orelib::string home_path = read_env("HOMEPATH");
    const orelib::string home_drive = read_env("HOMEDRIVE");
    if (!home.empty()) {
      set_home_dir(slashes_to_backslashes(home));
    } else if (!home_path.empty() && !home_drive.empty()) {
      set_home_dir(home_drive + slashes_to_backslashes(home_path));
    } else {
      const orelib::string documents = documents_folder();
      if (!documents.empty())
        set_home_dir(documents);
      else
        set_home_dir(install_dir_fallback(host, "ispell\\home\\", complete));
    }
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
  write_ini_string("ISPELLDICTDIR", g_setting.dict_dir);
  write_ini_string("Home", g_setting.home_dir);
  write_ini_string("IsURLList",
                   orelib::lexical_cast<orelib::string>(g_setting.is_url_list ? 1 : 0));
}
