// The fifteen services a host installer offers its plug-ins, exported by name from the
// executable (the module definition file is made from the service list by
// cmake/HostServices.cmake).

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "host/archive/archive.h"
#include "host/host_config.h"
#include "host/regex/regex.h"
#include "host/services.h"
#include "support/handles.h"

namespace host {
namespace {

Config g_config;
std::vector<EnvCall> g_env_calls;
std::vector<DirInputCall> g_dir_input_calls;
std::vector<TarCall> g_tar_calls;
std::vector<std::unique_ptr<regex::Pattern>> g_patterns;  // handle = index + 1
int g_regex_match_calls = 0;

// Texts handed out stay valid until the same service is asked again.
std::string g_proxy_answer;
std::string g_hozon_answer;
std::string g_install_answer;
std::string g_dir_answer;

using RegistryKey = orelib::registry_key;

// The key opened (or with create, created); empty when the registry refuses.
RegistryKey open_key(HKEY root, const char* path, REGSAM access, bool create) {
  HKEY key = nullptr;
  const LONG status =
      create ? RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr)
             : RegOpenKeyExA(root, path, 0, access, &key);
  return RegistryKey(status == ERROR_SUCCESS ? key : nullptr);
}

HKEY root_of(bool system) { return system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const char* path_of(bool system) { return system ? kSystemEnvironmentKey : kUserEnvironmentKey; }

bool write_variable(bool system, const char* name, const char* value) {
  const RegistryKey key = open_key(root_of(system), path_of(system), KEY_SET_VALUE, true);
  if (!key.get()) return false;
  const DWORD type = std::string(value).find('%') != std::string::npos ? REG_EXPAND_SZ : REG_SZ;
  return RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>(lstrlenA(value) + 1)) == ERROR_SUCCESS;
}

int set_variable(bool system, const char* name, const char* value) {
  EnvCall call;
  call.system = system;
  call.name = name ? name : "";
  call.value = value ? value : "";
  const bool allowed = system ? g_config.system_env_ok : g_config.user_env_ok;
  call.ok =
      allowed && name && value && (!g_config.write_registry || write_variable(system, name, value));
  g_env_calls.push_back(call);
  return call.ok ? 1 : 0;
}

regex::Pattern* pattern_of(int handle) {
  if (handle <= 0 || static_cast<size_t>(handle) > g_patterns.size()) return nullptr;
  return g_patterns[handle - 1].get();
}

const char* answer(std::string& storage, const std::optional<std::string>& value) {
  if (!value) return nullptr;
  storage = *value;
  return storage.c_str();
}

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

// A real folder choice for the interactive host.
std::optional<std::string> choose_folder(HWND owner, const char* prompt, const char* initial) {
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.lpszTitle = prompt;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = browse_callback;
  info.lParam = reinterpret_cast<LPARAM>(initial);
  struct TaskMemFree {
    void operator()(ITEMIDLIST* items) const { CoTaskMemFree(items); }
  };
  const std::unique_ptr<ITEMIDLIST, TaskMemFree> items(SHBrowseForFolderA(&info));
  if (!items) return std::nullopt;
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(items.get(), path)) return std::nullopt;
  return std::string(path);
}

}  // namespace

Config& config() { return g_config; }

void reset() {
  g_config = Config();
  g_env_calls.clear();
  g_dir_input_calls.clear();
  g_tar_calls.clear();
  g_patterns.clear();
  g_regex_match_calls = 0;
}

std::vector<EnvCall>& env_calls() { return g_env_calls; }
std::vector<DirInputCall>& dir_input_calls() { return g_dir_input_calls; }
std::vector<TarCall>& tar_calls() { return g_tar_calls; }
std::size_t compiled_patterns() { return g_patterns.size(); }
int& regex_match_calls() { return g_regex_match_calls; }

std::optional<std::string> read_registry_variable(bool system, const std::string& name) {
  const RegistryKey key = open_key(root_of(system), path_of(system), KEY_QUERY_VALUE, false);
  if (!key.get()) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<char> buffer(size + 1);
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(buffer.data());
}

bool delete_registry_variable(bool system, const std::string& name) {
  const RegistryKey key = open_key(root_of(system), path_of(system), KEY_SET_VALUE, false);
  if (!key.get()) return true;
  const LONG status = RegDeleteValueA(key.get(), name.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace host

using namespace host;

extern "C" {

int __cdecl USESNETWORK() { return g_config.uses_network ? 1 : 0; }

const char* __cdecl GETPROXY() { return answer(g_proxy_answer, g_config.proxy); }

int __cdecl GETPORT() { return g_config.port; }

const char* __cdecl GETHOZONDIR() { return answer(g_hozon_answer, g_config.hozon_dir); }

int __cdecl REGEX_COMPILE(const char* pattern) {
  if (!pattern) return 0;
  std::unique_ptr<regex::Pattern> compiled = regex::Pattern::compile(pattern);
  if (!compiled) return 0;
  g_patterns.push_back(std::move(compiled));
  return static_cast<int>(g_patterns.size());
}

int __cdecl REGEX_MATCH(int handle, const char* text) {
  ++g_regex_match_calls;
  regex::Pattern* pattern = pattern_of(handle);
  return pattern && text && pattern->search(text) ? 1 : 0;
}

const char* __cdecl REGEX_GETMATCHSTR(int handle, int group) {
  regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->group(group) : "";
}

int __cdecl REGEX_GETMATCHPOS(int handle) {
  if (g_config.match_pos_answer) return *g_config.match_pos_answer;
  regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->match_pos() : -1;
}

int __cdecl REGEX_GETMATCHLEN(int handle) {
  if (g_config.match_len_answer) return *g_config.match_len_answer;
  regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->match_len() : 0;
}

int __cdecl ISTARAVAILABLE() { return g_config.tar_available ? 1 : 0; }

const char* __cdecl DIRINPUT(HWND owner, const char* prompt, const char* initial) {
  g_dir_input_calls.push_back({prompt ? prompt : "", initial ? initial : ""});
  std::optional<std::string> chosen;
  if (!g_config.dir_answers.empty()) {
    chosen = g_config.dir_answers.front();
    g_config.dir_answers.pop_front();
  } else if (g_config.interactive_dirs) {
    chosen = choose_folder(owner, prompt, initial);
  }
  return answer(g_dir_answer, chosen);
}

int __cdecl TARDLG(HWND owner, const char* archive, const char* destination) {
  TarCall call{archive ? archive : "", destination ? destination : "", false};
  if (archive && destination) {
    if (g_config.tar_handler) {
      call.ok = g_config.tar_handler(owner, call.archive, call.destination);
    } else {
      call.ok = archive::unpack(call.archive, call.destination).ok;
    }
  }
  g_tar_calls.push_back(call);
  return call.ok ? 1 : 0;
}

const char* __cdecl GETINSTALLDIR() { return answer(g_install_answer, g_config.install_dir); }

int __cdecl SETSYSTEMENV(const char* name, const char* value) {
  return set_variable(true, name, value);
}

int __cdecl SETUSERENV(const char* name, const char* value) {
  return set_variable(false, name, value);
}

}  // extern "C"

#define ISPELL_CHECK_SERVICE_TYPE(name, result, parameters, arguments)                      \
  static_assert(                                                                            \
      std::is_same_v<decltype(&::name), host_service_traits<host_service::name>::function>, \
      #name " must have exactly the type the service list gives it");
ISPELL_HOST_SERVICES(ISPELL_CHECK_SERVICE_TYPE)
#undef ISPELL_CHECK_SERVICE_TYPE
