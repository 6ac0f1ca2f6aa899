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
    const long long end = static_cast<long long>(length);
    long long offset = 0;
    while (offset < end && search(text + offset)) {
      on_match();
      const long long pos = host_.call<host_service::REGEX_GETMATCHPOS>(handle_);
      const long long len = host_.call<host_service::REGEX_GETMATCHLEN>(handle_);
      const long long next = offset + pos + len;
      if (pos < 0 || len < 0 || next <= offset || next > end) return false;
      offset = next;
    }
    return true;
  }

 private:
  const HostModule& host_;
  const char* pattern_;
  int handle_ = 0;
  bool compiled_ = false;
};

}  // namespace GetInfo
