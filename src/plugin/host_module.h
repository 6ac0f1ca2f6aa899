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

template <typename Result, typename... Args>
class HostService;

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

  // Resolves the service by name on its first use in this binding (the host's exports cannot
  // change while it is loaded) and raises load_function at every call that needs a service
  // the host lacks.
  template <typename Result, typename... Args>
  Result call(const char* name, Args... args) const {
    return HostService<Result, Args...>(*this, name)(args...);
  }

  template <typename... Args>
  bool call_bool(const char* name, Args... args) const {
    return host_true(call<int>(name, args...));
  }

  // Services answering a text: copied at once; a null answer gives the empty text.
  template <typename... Args>
  orelib::string call_text(const char* name, Args... args) const {
    const char* text = call<const char*>(name, args...);
    return text ? orelib::string(text) : orelib::string();
  }

 private:
  template <typename Result, typename... Args>
  friend class HostService;

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

// One service of a bound host for a loop that calls it again and again: resolved on its first
// call (raising load_function there when the host lacks it), then called directly. The name
// and the binding must outlive this object.
template <typename Result, typename... Args>
class HostService {
 public:
  HostService(const HostModule& host, const char* name) : host_(host), name_(name) {}

  Result operator()(Args... args) const {
    if (!address_) address_ = host_.resolve(name_);
    // Through a generic function pointer: FARPROC itself has a different signature.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address_))(args...);
  }

 private:
  using Function = Result(__cdecl*)(Args...);

  const HostModule& host_;
  const char* name_;
  mutable FARPROC address_ = nullptr;
};
