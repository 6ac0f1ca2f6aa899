#pragma once
// Binding to the host installer: its services are exported by name from its own executable.

#include <windows.h>

#include <cstddef>

#include "support/handles.h"
#include "support/orelib_string.h"

// Raised when a host service cannot be resolved; carries the service's name.
struct load_function {
  orelib::string name;
};

class HostModule {
 public:
  HostModule() = default;
  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  // Loads the process's main executable as a library. False on failure or when already bound.
  bool bind();
  void release();
  bool bound() const { return static_cast<bool>(module_); }

  // Resolves the service by name on its first use in this binding (the host's exports cannot
  // change while it is loaded) and raises load_function at every call that needs a service
  // the host lacks.
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

  // The same into a string the caller keeps, so that its buffer is reused.
  template <typename... Args>
  void call_text_into(orelib::string& out, const char* name, Args... args) const {
    const char* text = call<const char*>(name, args...);
    if (text) {
      out.assign(text);
    } else {
      out.clear();
    }
  }

 private:
  FARPROC resolve(const char* name) const;

  // The services found so far; names are copied, as a caller's buffer may change.
  struct Resolved {
    char name[24];
    const char* key;  // the address the name last came from
    FARPROC address;
  };
  static constexpr std::size_t kResolvedCapacity = 16;

  orelib::module_handle module_;
  mutable Resolved resolved_[kResolvedCapacity] = {};
  mutable std::size_t resolved_count_ = 0;
};
