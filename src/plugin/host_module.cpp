#include "plugin/host_module.h"

bool HostModule::bind() {
  if (module_) return false;
  char path[4095] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  module_.reset(LoadLibraryA(path));
  return bound();
}

void HostModule::release() {
  for (FARPROC& address : resolved_) address = nullptr;
  module_.reset();
}

FARPROC HostModule::resolve(const char* name) const {
  FARPROC service = module_ ? GetProcAddress(module_.get(), name) : nullptr;
  if (!service) throw load_function{name};
  return service;
}
