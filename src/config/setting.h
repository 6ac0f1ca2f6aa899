#pragma once
// The module's settings: one global object, filled at PluginInit and written back at unload.

#include <string>
#include <vector>

#include "support/lock.h"
#include "support/orelib_string.h"

// A directory the settings hold by its short name, as its long name cannot be written in the
// ANSI code page, with the long name it stood for when it was read.
struct ShortName {
  orelib::string path;  // ends in a backslash
  std::wstring long_path;
};

class setting : public orelib::Lock {
 public:
  ~setting() override = default;

  orelib::string ini_file;
  orelib::string log_file;
  orelib::string url;       // mirror base URL, exactly as read or entered
  orelib::string dict_dir;  // ends in a backslash when not empty
  orelib::string home_dir;  // ends in a backslash when not empty
  bool is_url_list = false;
  orelib::string temp_dir;             // long form, ends in a backslash; never saved
  std::vector<ShortName> short_names;  // filled by load_settings; never saved
};

extern setting g_setting;

// The built-in mirrors, null-terminated; row 0 is the default URL.
extern const char* const mirror_table[];

// False when a host service it needed was missing (logged); the other settings are still filled.
bool load_settings(const char* ini_file, const char* log_file);
void save_settings();

void set_dict_dir(const orelib::string& path);
void set_home_dir(const orelib::string& path);

// True when the path's last character is a single-byte backslash; the trail byte of a
// double-byte character (which may be 0x5C) is not a separator.
bool ends_with_backslash(const orelib::string& path);
// The path unchanged when empty or ending in a backslash, otherwise with one appended.
orelib::string with_trailing_backslash(const orelib::string& path);

orelib::string read_ini_string(const char* key);
int read_ini_int(const char* section, const char* key);
void write_ini_string(const char* key, const orelib::string& value);
// The variable's value in full; empty when it is unset or empty.
std::wstring read_env(const char* name);
std::wstring slashes_to_backslashes(std::wstring path);
// The log line for a variable (or pair, "HOMEDRIVEとHOMEPATH") whose directory cannot be used.
orelib::string unusable_variable_line(const orelib::string& names);
// The short name from which path was read, when the settings hold it by one; null otherwise.
const ShortName* short_name_of(const orelib::string& path);
