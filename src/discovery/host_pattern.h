#pragma once
// One regular expression of the plug-in, compiled and matched by the host's REGEX_* services.

#include <cstddef>
#include <string_view>

#include "plugin/host_module.h"

namespace GetInfo {

class host_pattern {
 public:
  // The host must stay bound while the pattern is used; the pattern text must outlive it.
  host_pattern(const HostModule& host, const char* pattern) : host_(host), pattern_(pattern) {}

  // One REGEX_MATCH over the NUL-terminated text, anywhere in it; the pattern is compiled at
  // the first search (the host offers no way to release it again).
  bool search(const char* text);
  // Whether search has been called.
  bool searched() const { return compiled_; }

  // Group n of the last match, "" when the host answers nothing. Valid until the next call to
  // the host, which may reuse its buffer.
  std::string_view group(int n) const {
    const char* text = host_.call<host_service::REGEX_GETMATCHSTR>(handle_, n);
    return text ? std::string_view(text) : std::string_view();
  }

  // Searches text[0, length) (NUL-terminated at length) from its start, and again right after
  // each match, calling on_match() for each. False when the host answers a match position or
  // length that does not move forward or leads past the text: the caller stops there rather
  // than read outside the text or loop.
  template <typename OnMatch>
  bool each_match(const char* text, std::size_t length, OnMatch&& on_match) {
    return each_match(text, length, on_match, [](const char*, std::size_t) {});
  }
  // The same; on_placed(begin, length) follows on_match() once the match is known to lie
  // within the text.
  template <typename OnMatch, typename OnPlaced>
  bool each_match(const char* text, std::size_t length, OnMatch&& on_match, OnPlaced&& on_placed) {
    const long long end = static_cast<long long>(length);
    long long offset = 0;
    while (offset < end && search(text + offset)) {
      on_match();
      const long long pos = host_.call<host_service::REGEX_GETMATCHPOS>(handle_);
      const long long len = host_.call<host_service::REGEX_GETMATCHLEN>(handle_);
      const long long next = offset + pos + len;
      if (pos < 0 || len < 0 || next <= offset || next > end) return false;
      on_placed(text + offset + pos, static_cast<std::size_t>(len));
      offset = next;
    }
    return true;
  }
  // The whole last match, placed in the text just searched: false when the host's answer
  // does not lie within text[0, length).
  bool placed(std::size_t length, std::size_t& begin, std::size_t& match_length) const {
    const long long pos = host_.call<host_service::REGEX_GETMATCHPOS>(handle_);
    const long long len = host_.call<host_service::REGEX_GETMATCHLEN>(handle_);
    if (pos < 0 || len <= 0 || pos + len > static_cast<long long>(length)) return false;
    begin = static_cast<std::size_t>(pos);
    match_length = static_cast<std::size_t>(len);
    return true;
  }

 private:
  const HostModule& host_;
  const char* pattern_;
  int handle_ = 0;
  bool compiled_ = false;
};

}  // namespace GetInfo
