#include "discovery/selection.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/discovery_state.h"
#include "discovery/url.h"
#include "plugin/host_module.h"

namespace GetInfo {

const char* const kArchivePattern = R"(ispell.*-w32\.tar\.xz)";

std::int32_t version_key(const orelib::string& name) {
  // All the digits read as one decimal number, saturating at the largest key as the text
  // conversion of the digit string would.
  std::int64_t key = 0;
  // No code page has a lead byte below 0x80, so ASCII names never ask the system (the call
  // cost more than the rest of the key).
  for (orelib::string::size_type i = 0; i < name.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    if (byte >= '0' && byte <= '9') {
      key = std::min<std::int64_t>(key * 10 + (byte - '0'), INT32_MAX);
    } else if (byte >= 0x80 && IsDBCSLeadByte(byte)) {
      ++i;  // its trail byte is part of the same character
    }
  }
  return static_cast<std::int32_t>(key);
}

file_info pick_newest(const file_list& list) {
  if (list.empty()) return file_info{};
  std::vector<std::int32_t> keys;
  keys.reserve(list.size());
  for (const file_info& entry : list) keys.push_back(version_key(entry.name));
  std::size_t chosen = 0;
  for (std::size_t i = 1; i < keys.size(); ++i) {
    if (keys[i] > keys[chosen]) chosen = i;
  }
  return list[chosen];
}

file_info select_archive(const HostModule& host, const file_list& listing) {
  const int handle = host.call<host_service::REGEX_COMPILE>(kArchivePattern);
  // The same choice as pick_newest over the matches (the largest key, the earliest among
  // equals), without copying every match of a long listing first.
  const file_info* chosen = nullptr;
  std::int32_t chosen_key = 0;
  for (const file_info& entry : listing) {
    if (!host.call_bool<host_service::REGEX_MATCH>(handle, entry.name.c_str())) continue;
    if (!fetchable(entry.name)) continue;
    const std::int32_t key = version_key(entry.name);
    if (!chosen || key > chosen_key) {
      chosen = &entry;
      chosen_key = key;
    }
  }
  return chosen ? *chosen : file_info{};
}

namespace {

bool starts_with(const orelib::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

bool fetchable(const orelib::string& name) {
  return !has_scheme(name) || starts_with(name, "http://") || starts_with(name, "https://") ||
         starts_with(name, "ftp://");
}

orelib::string archive_url(const orelib::string& scheme, const orelib::string& host,
                           const orelib::string& directory, const orelib::string& name) {
  if (has_scheme(name)) return name;
  if (starts_with(name, "//")) return scheme + ":" + name;
  if (starts_with(name, "/")) return scheme + "://" + host + name;
  return scheme + "://" + host + directory + name;
}

orelib::string local_archive_path(const HostModule& host) {
  const char* directory = host.call<host_service::GETHOZONDIR>();
  if (!directory || !directory[0]) return orelib::string();
  return orelib::string(directory) + kLocalArchiveName;
}

void decide_freshness(const HostModule& host, const file_info& selected,
                      const orelib::string& scheme) {
  const orelib::string path = local_archive_path(host);
  const date_time local = path.empty() ? date_time{} : local_file_time(path);
  g_discovery.default_selected =
      !date_time_less(selected.time, local) && !date_time_equal(selected.time, local);
  g_discovery.remote_size = selected.size;
  g_discovery.archive_found = !selected.name.empty();
  g_discovery.download_url =
      archive_url(scheme, g_discovery.remote_host, g_discovery.remote_directory, selected.name);
}

bool check_local_archive(const HostModule& host) {
  const orelib::string path = local_archive_path(host);
  g_discovery.default_selected =
      !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  g_discovery.download_url.clear();
  g_discovery.archive_found = false;
  return true;
}

}  // namespace GetInfo
