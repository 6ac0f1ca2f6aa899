#include "discovery/selection.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "discovery/discovery_state.h"
#include "discovery/url.h"
#include "plugin/host_module.h"
#include "plugin/log.h"

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

namespace {

bool starts_with(const orelib::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool ends_with(const orelib::string& text, const char* suffix) {
  const std::size_t length = std::char_traits<char>::length(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

}  // namespace

listed_target resolve_listed_name(const url_parts& listing, const orelib::string& name,
                                  listed_names kind) {
  listed_target target;
  if (kind == listed_names::file_names) {
    target.url = listing.text() + name;
    target.own_name = name;
    return target;
  }
  const url_parts resolved = resolve_reference(listing, decode_html_references(name));
  if (resolved.host.empty() ||
      (resolved.scheme != "http" && resolved.scheme != "https" && resolved.scheme != "ftp")) {
    return target;
  }
  target.url = resolved.text();
  const std::string_view path = std::string_view(resolved.path).substr(0, resolved.path.find('?'));
  target.own_name = decode_percent_escapes(path.substr(path.rfind('/') + 1));
  return target;
}

archive_choice select_archive(const HostModule& host, const file_list& listing,
                              const url_parts& where, listed_names kind) {
  const int handle = host.call<host_service::REGEX_COMPILE>(kArchivePattern);
  // The same choice as pick_newest over the archives (the largest key, the earliest among
  // equals), without copying every match of a long listing first.
  const file_info* chosen = nullptr;
  std::int32_t chosen_key = 0;
  orelib::string refused;  // the scheme of the first link an https page may not lead to
  for (const file_info& entry : listing) {
    if (!host.call_bool<host_service::REGEX_MATCH>(handle, entry.name.c_str())) continue;
    // A name without a reference, an escape, a scheme, a path, a query or a fragment is its
    // own name, and a link within the directory: such a page's names need no resolving.
    const bool plain = kind == listed_names::file_names ||
                       entry.name.find_first_of("&%:/?#") == orelib::string::npos;
    listed_target target;
    if (!plain) target = resolve_listed_name(where, entry.name, kind);
    const orelib::string& own_name = plain ? entry.name : target.own_name;
    // A checksum, a signature or a partial download beside the archive is not the archive.
    if ((!plain && target.url.empty()) || !ends_with(own_name, ".tar.xz")) continue;
    if (!plain && where.scheme == "https" && !starts_with(target.url, "https://")) {
      if (refused.empty()) refused = target.url.substr(0, target.url.find(':'));
      continue;
    }
    const std::int32_t key = version_key(own_name);
    if (!chosen || key > chosen_key) {
      chosen = &entry;
      chosen_key = key;
    }
  }
  if (!refused.empty()) log_line("httpsのページから" + refused + "へのリンクは拒否しました．");
  archive_choice choice;
  if (chosen) {
    choice.file = *chosen;
    choice.url = resolve_listed_name(where, chosen->name, kind).url;
  }
  return choice;
}

orelib::string local_archive_path(const HostModule& host) {
  const char* directory = host.call<host_service::GETHOZONDIR>();
  if (!directory || !directory[0]) return orelib::string();
  return orelib::string(directory) + kLocalArchiveName;
}

void decide_freshness(const HostModule& host, const archive_choice& chosen) {
  const orelib::string path = local_archive_path(host);
  const date_time local = path.empty() ? date_time{} : local_file_time(path);
  g_discovery.default_selected =
      !date_time_less(chosen.file.time, local) && !date_time_equal(chosen.file.time, local);
  g_discovery.remote_size = chosen.file.size;
  g_discovery.archive_found = !chosen.file.name.empty();
  g_discovery.download_url = chosen.url;
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
