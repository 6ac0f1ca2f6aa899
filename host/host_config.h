#pragma once
// The reference host's answers: what a real host installer would know or ask the user.
// Tests set them in-process; plugin-host.exe fills them from its command line.

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct EnvCall {
  bool system = false;  // SETSYSTEMENV (true) or SETUSERENV (false)
  std::string name;
  std::string value;
  bool ok = false;
};

struct DirInputCall {
  std::string prompt;
  std::string initial;
};

struct TarCall {
  std::string archive;
  std::string destination;
  bool ok = false;
};

// TARDLG's work: unpack archive into destination; false on failure.
using TarHandler =
    std::function<bool(HWND owner, const std::string& archive, const std::string& destination)>;

struct Config {
  bool uses_network = true;
  std::optional<std::string> proxy = std::string();  // nullopt answers a null pointer
  int port = 0;
  std::optional<std::string> hozon_dir;    // download directory, ends in a backslash
  std::optional<std::string> install_dir;  // TeX installation root, ends in a backslash
  bool tar_available = true;
  // Scripted DIRINPUT answers, used in order; nullopt is a cancelled dialog. When the script
  // is exhausted: a real folder dialog if interactive_dirs, otherwise a cancel.
  std::deque<std::optional<std::string>> dir_answers;
  bool interactive_dirs = false;
  TarHandler tar_handler;  // empty: the real unpacker
  bool system_env_ok = true;
  bool user_env_ok = true;
  bool write_registry = true;  // SET*ENV write where Windows keeps the variables
  // When set, REGEX_GETMATCHPOS / REGEX_GETMATCHLEN answer these instead of the real match.
  std::optional<int> match_pos_answer;
  std::optional<int> match_len_answer;
};

Config& config();
// Back to the defaults; forgets every recorded call and compiled pattern.
void reset();

std::vector<EnvCall>& env_calls();
std::vector<DirInputCall>& dir_input_calls();
std::vector<TarCall>& tar_calls();
// How many patterns REGEX_COMPILE compiled, and how often REGEX_MATCH was asked.
std::size_t compiled_patterns();
int& regex_match_calls();

// Where the variables live in the registry.
constexpr const char* kSystemEnvironmentKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserEnvironmentKey = "Environment";

// Reads a variable back from the registry (system: HKLM, else HKCU); nullopt when absent.
std::optional<std::string> read_registry_variable(bool system, const std::string& name);
// Removes a variable from the registry; true when it is gone afterwards.
bool delete_registry_variable(bool system, const std::string& name);

}  // namespace host
