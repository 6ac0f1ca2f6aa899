#include "plugin_host.h"

#include <cstring>
#include <memory>

#include "host/regex/regex.h"
#include "plugin/host_module.h"
#include "plugin/log.h"

namespace {

// Compiling costs far more than a short input's parse: a pattern compiled for an earlier input
// is handed out again (a search leaves nothing of the one before it).
struct Compiled {
  std::string text;
  std::unique_ptr<host::regex::Pattern> pattern;
  bool in_use = true;
};
std::vector<Compiled> g_patterns;
std::vector<std::string> g_log;
char g_module;  // what the bound module handle points at

host::regex::Pattern* pattern_of(int handle) {
  if (handle < 1 || static_cast<std::size_t>(handle) > g_patterns.size()) return nullptr;
  Compiled& compiled = g_patterns[static_cast<std::size_t>(handle) - 1];
  return compiled.in_use ? compiled.pattern.get() : nullptr;
}

// As the reference host answers them.
int regex_compile(const char* pattern) {
  if (!pattern) return 0;
  for (std::size_t i = 0; i < g_patterns.size(); ++i) {
    if (!g_patterns[i].in_use && g_patterns[i].text == pattern) {
      g_patterns[i].in_use = true;
      return static_cast<int>(i + 1);
    }
  }
  std::unique_ptr<host::regex::Pattern> compiled = host::regex::Pattern::compile(pattern);
  if (!compiled) return 0;
  g_patterns.push_back({pattern, std::move(compiled)});
  return static_cast<int>(g_patterns.size());
}
int regex_match(int handle, const char* text) {
  host::regex::Pattern* pattern = pattern_of(handle);
  return pattern && text && pattern->search(text) ? 1 : 0;
}
const char* regex_getmatchstr(int handle, int group) {
  host::regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->group(group) : "";
}
int regex_getmatchpos(int handle) {
  host::regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->match_pos() : -1;
}
int regex_getmatchlen(int handle) {
  host::regex::Pattern* pattern = pattern_of(handle);
  return pattern ? pattern->match_len() : 0;
}

template <typename Function>
FARPROC service(Function function) {
  return reinterpret_cast<FARPROC>(function);
}

}  // namespace

namespace fuzz {

void reset_host() {
  for (Compiled& compiled : g_patterns) compiled.in_use = false;
  g_log.clear();
}

const std::vector<std::string>& log_lines() { return g_log; }

}  // namespace fuzz

bool HostModule::bind() {
  if (module_) return false;
  module_.reset(reinterpret_cast<HMODULE>(&g_module));
  return true;
}

void HostModule::release() {
  for (FARPROC& address : resolved_) address = nullptr;
  module_.reset();
}

FARPROC HostModule::resolve(const char* name) const {
  FARPROC found = nullptr;
  if (module_) {
    if (std::strcmp(name, "REGEX_COMPILE") == 0) found = service(regex_compile);
    if (std::strcmp(name, "REGEX_MATCH") == 0) found = service(regex_match);
    if (std::strcmp(name, "REGEX_GETMATCHSTR") == 0) found = service(regex_getmatchstr);
    if (std::strcmp(name, "REGEX_GETMATCHPOS") == 0) found = service(regex_getmatchpos);
    if (std::strcmp(name, "REGEX_GETMATCHLEN") == 0) found = service(regex_getmatchlen);
  }
  if (!found) throw load_function{name};
  return found;
}

void log_line(const orelib::string& text) { g_log.push_back(text); }
