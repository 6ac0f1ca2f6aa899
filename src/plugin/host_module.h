#pragma once
// Binding to the host installer: its services are exported by name from its own executable.

#include <windows.h>

#include "plugin/plugin_abi.h"
#include "support/handles.h"
#include "support/orelib_string.h"

// Raised when a host service cannot be resolved; carries the service's name.
struct load_function {
  orelib::string name;
};

// Services answering a bool are read on their low byte only.
inline bool host_true(int answer) { return (answer & 0xFF) != 0; }

class HostModule {
 public:
  HostModule() = default;
  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  // Loads the process's main executable as a library. False on failure or when already bound.
  bool bind();
  void release();
  bool bound() const { return static_cast<bool>(module_); }

  // Calls a service with exactly the parameters the service list gives it. The address is
  // looked up by name at the first call in this binding (the host's exports cannot change
  // while it is loaded); a service the host lacks raises load_function at every call.
  template <host_service Service, typename... Args>
  auto call(Args... args) const {
    return function<Service>()(args...);
  }

  template <host_service Service, typename... Args>
  bool call_bool(Args... args) const {
    return host_true(call<Service>(args...));
  }

  // Services answering a text: copied at once; a null answer gives the empty text.
  template <host_service Service, typename... Args>
  orelib::string call_text(Args... args) const {
    const char* text = call<Service>(args...);
    return text ? orelib::string(text) : orelib::string();
  }

 private:
  template <host_service Service>
  typename host_service_traits<Service>::function function() const {
    FARPROC& address = resolved_[static_cast<int>(Service)];
    if (!address) address = resolve(host_service_traits<Service>::name);
    // Through a generic function pointer: FARPROC itself has a different signature.
    return reinterpret_cast<typename host_service_traits<Service>::function>(
        reinterpret_cast<void (*)()>(address));
  }

  // The service's address; raises load_function when there is none.
  FARPROC resolve(const char* name) const;

  orelib::module_handle module_;
  mutable FARPROC resolved_[static_cast<int>(host_service::count)] = {};
};
