#include "plugin/host_module.h"

#include <cstring>

bool HostModule::bind() {
  if (module_) return false;
  char path[4095] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  module_.reset(LoadLibraryA(path));
  return bound();
}

void HostModule::release() {
  resolved_count_ = 0;
  module_.reset();
}

namespace {

bool same_name(const char* a, const char* b) {
  while (*a == *b) {
    if (*a == '\0') return true;
    ++a;
    ++b;
  }
  return false;
}

}  // namespace

FARPROC HostModule::resolve(const char* name) const {
  // Callers name services with literals: the entry last reached through the same address is
  // nearly always the one, and is still checked by its text, since a buffer may change.
  for (std::size_t i = 0; i < resolved_count_; ++i) {
    if (resolved_[i].key == name && same_name(resolved_[i].name, name)) {
      return resolved_[i].address;
    }
  }
  for (std::size_t i = 0; i < resolved_count_; ++i) {
    if (same_name(resolved_[i].name, name)) {
      resolved_[i].key = name;
      return resolved_[i].address;
    }
  }
  FARPROC service = module_ ? GetProcAddress(module_.get(), name) : nullptr;
  if (!service) throw load_function{name};
  // A name too long for the table, or one more than it holds, is simply looked up each time.
  const std::size_t length = std::strlen(name);
  if (resolved_count_ < kResolvedCapacity && length < sizeof resolved_[0].name) {
    Resolved& entry = resolved_[resolved_count_++];
    std::memcpy(entry.name, name, length + 1);
    entry.key = name;
    entry.address = service;
  }
  return service;
}
