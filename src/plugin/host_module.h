#pragma once
// Binding to the host installer: its services are exported by name from its own executable.

#include <windows.h>

#include "support/orelib_string.h"

// Raised when a host service cannot be resolved; carries the service's name.
struct load_function {
  orelib::string name;
};

class HostModule {
 public:
  HostModule() = default;
  ~HostModule() { release(); }
  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  // Loads the process's main executable as a library. False on failure or when already bound.
  bool bind();
  void release();
  bool bound() const { return module_ != nullptr; }

  // Resolves the service by name at every call; raises load_function when it cannot.
  template <typename Result, typename... Args>
  Result call(const char* name, Args... args) const {
    using Service = Result(__cdecl*)(Args...);
    // Through a generic function pointer: FARPROC itself has a different signature.
    return reinterpret_cast<Service>(reinterpret_cast<void (*)()>(resolve(name)))(args...);
  }

  // Services answering a bool are read on their low byte only.
  template <typename... Args>
  bool call_bool(const char* name, Args... args) const {
    return (call<int>(name, args...) & 0xFF) != 0;
  }

  // Services answering a text: copied at once; a null answer gives the empty text.
  template <typename... Args>
  orelib::string call_text(const char* name, Args... args) const {
    const char* text = call<const char*>(name, args...);
    return text ? orelib::string(text) : orelib::string();
  }

 private:
  FARPROC resolve(const char* name) const;

  HMODULE module_ = nullptr;
};
