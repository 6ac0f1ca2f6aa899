#include "timed_network.h"

#include <wininet.h>

#include <utility>

#include "import_slot.h"
#include "timed_services.h"

namespace bench {
namespace {

call_count g_network;

#define TIMED_IMPORT(result, name, params, args) \
  result WINAPI timed_##name params {            \
    timed_call timed(g_network);                 \
    return name args;                            \
  }

TIMED_IMPORT(HINTERNET, InternetOpenA, (LPCSTR a, DWORD t, LPCSTR p, LPCSTR b, DWORD f),
             (a, t, p, b, f))
TIMED_IMPORT(HINTERNET, InternetConnectA,
             (HINTERNET i, LPCSTR h, INTERNET_PORT p, LPCSTR u, LPCSTR w, DWORD s, DWORD f,
              DWORD_PTR c),
             (i, h, p, u, w, s, f, c))
TIMED_IMPORT(HINTERNET, HttpOpenRequestA,
             (HINTERNET c, LPCSTR v, LPCSTR o, LPCSTR n, LPCSTR r, LPCSTR* a, DWORD f, DWORD_PTR x),
             (c, v, o, n, r, a, f, x))
TIMED_IMPORT(BOOL, HttpSendRequestA, (HINTERNET r, LPCSTR h, DWORD l, LPVOID o, DWORD n),
             (r, h, l, o, n))
TIMED_IMPORT(BOOL, HttpQueryInfoA, (HINTERNET r, DWORD i, LPVOID b, LPDWORD l, LPDWORD x),
             (r, i, b, l, x))
TIMED_IMPORT(BOOL, InternetReadFile, (HINTERNET f, LPVOID b, DWORD n, LPDWORD r), (f, b, n, r))
TIMED_IMPORT(BOOL, InternetSetOptionA, (HINTERNET i, DWORD o, LPVOID b, DWORD l), (i, o, b, l))
TIMED_IMPORT(BOOL, InternetCloseHandle, (HINTERNET i), (i))

}  // namespace

bool time_network_imports(HMODULE module) {
  const std::pair<const char*, void*> replacements[] = {
      {"InternetOpenA", reinterpret_cast<void*>(&timed_InternetOpenA)},
      {"InternetConnectA", reinterpret_cast<void*>(&timed_InternetConnectA)},
      {"HttpOpenRequestA", reinterpret_cast<void*>(&timed_HttpOpenRequestA)},
      {"HttpSendRequestA", reinterpret_cast<void*>(&timed_HttpSendRequestA)},
      {"HttpQueryInfoA", reinterpret_cast<void*>(&timed_HttpQueryInfoA)},
      {"InternetReadFile", reinterpret_cast<void*>(&timed_InternetReadFile)},
      {"InternetSetOptionA", reinterpret_cast<void*>(&timed_InternetSetOptionA)},
      {"InternetCloseHandle", reinterpret_cast<void*>(&timed_InternetCloseHandle)},
  };
  for (const auto& entry : replacements) {
    if (!testing_support::replace_import(module, "wininet.dll", entry.first, entry.second))
      return false;
  }
  return true;
}

std::uint64_t network_ticks() { return g_network.ticks; }
std::uint64_t network_calls() { return g_network.calls; }
void reset_network_counters() { g_network = call_count(); }

}  // namespace bench
