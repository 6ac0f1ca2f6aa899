#include "discovery/host_pattern.h"

namespace GetInfo {

bool host_pattern::search(const char* text) {
  if (!compiled_) {
    handle_ = host_.call<host_service::REGEX_COMPILE>(pattern_);
    compiled_ = true;
  }
  return host_.call_bool<host_service::REGEX_MATCH>(handle_, text);
}

}  // namespace GetInfo
