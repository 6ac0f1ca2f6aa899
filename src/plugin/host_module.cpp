#include "plugin/host_module.h"

bool HostModule::bind() {
  if (module_) return false;
  char path[4095] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  module_ = LoadLibraryA(path);
  return module_ != nullptr;
}

void HostModule::release() {
  if (module_) {
    FreeLibrary(module_);
    module_ = nullptr;
  }
}

FARPROC HostModule::resolve(const char* name) const {
  FARPROC service = module_ ? GetProcAddress(module_, name) : nullptr;
  if (!service) throw load_function{name};
  return service;
}
