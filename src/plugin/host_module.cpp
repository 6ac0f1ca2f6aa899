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

FARPROC HostModule::resolve(const char* name) const {
  for (std::size_t i = 0; i < resolved_count_; ++i) {
    if (std::strcmp(resolved_[i].name, name) == 0) return resolved_[i].address;
  }
  FARPROC service = module_ ? GetProcAddress(module_.get(), name) : nullptr;
  if (!service) throw load_function{name};
  // A name too long for the table, or one more than it holds, is simply looked up each time.
  const std::size_t length = std::strlen(name);
  if (resolved_count_ < kResolvedCapacity && length < sizeof resolved_[0].name) {
    Resolved& entry = resolved_[resolved_count_++];
    std::memcpy(entry.name, name, length + 1);
    entry.address = service;
  }
  return service;
}
