// The handler std::terminate calls in the plug-in. The runtime's default one prints the
// demangled type of the pending exception, which links the whole name demangler into the
// DLL; no exception is meant to reach std::terminate here, and the host has no console to
// print to, so ending the process is all that is left to do. Defining the default handler's
// symbol keeps the runtime's version (and the demangler) out of the link.
#include <cstdlib>

#if defined(__GLIBCXX__) && !defined(_MSC_VER)
namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
