#pragma once
// Sole owner of one handle of a C interface: closes it exactly once, and never closes the
// kind's invalid value. Traits name the kind:
//
//   struct Traits {
//     using handle_type = ...;                  // what the interface hands out
//     static handle_type invalid() noexcept;    // the value that owns nothing
//     static void close(handle_type) noexcept;  // gives a valid handle back
//   };
//
// invalid() is a function because some invalid values (INVALID_HANDLE_VALUE) are not constant
// expressions, and close() wraps the interface's closer so that its calling convention
// (__stdcall on 32-bit Windows) stays out of the template.

#include <utility>

namespace orelib {

template <typename Traits>
class unique_handle {
 public:
  using handle_type = typename Traits::handle_type;

  unique_handle() noexcept = default;
  explicit unique_handle(handle_type handle) noexcept : handle_(handle) {}
  ~unique_handle() { reset(); }

  unique_handle(unique_handle&& other) noexcept : handle_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    reset(other.release());  // releasing first makes moving onto itself harmless
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;

  handle_type get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  // Takes handle and closes what was owned before.
  void reset(handle_type handle = Traits::invalid()) noexcept {
    const handle_type previous = handle_;
    handle_ = handle;
    if (previous != Traits::invalid()) Traits::close(previous);
  }

  // Hands the handle to the caller, who closes it from now on.
  handle_type release() noexcept {
    const handle_type handle = handle_;
    handle_ = Traits::invalid();
    return handle;
  }

  // For functions that answer a handle through a pointer: closes what is owned first.
  handle_type* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  handle_type handle_ = Traits::invalid();
};

}  // namespace orelib
