#include "timed_network.h"

#include <wininet.h>

#include <cstring>

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

struct Replacement {
  const char* name;
  void* function;
};

const Replacement kReplacements[] = {
    {"InternetOpenA", reinterpret_cast<void*>(&timed_InternetOpenA)},
    {"InternetConnectA", reinterpret_cast<void*>(&timed_InternetConnectA)},
    {"HttpOpenRequestA", reinterpret_cast<void*>(&timed_HttpOpenRequestA)},
    {"HttpSendRequestA", reinterpret_cast<void*>(&timed_HttpSendRequestA)},
    {"HttpQueryInfoA", reinterpret_cast<void*>(&timed_HttpQueryInfoA)},
    {"InternetReadFile", reinterpret_cast<void*>(&timed_InternetReadFile)},
    {"InternetSetOptionA", reinterpret_cast<void*>(&timed_InternetSetOptionA)},
    {"InternetCloseHandle", reinterpret_cast<void*>(&timed_InternetCloseHandle)},
};

void* replacement_for(const char* name) {
  for (const Replacement& entry : kReplacements) {
    if (std::strcmp(entry.name, name) == 0) return entry.function;
  }
  return nullptr;
}

}  // namespace

bool time_network_imports(HMODULE module) {
  auto* const base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int replaced = 0;
  for (auto* library =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name; ++library) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + library->Name), "wininet.dll") != 0)
      continue;
    const auto* names =
        reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      void* const function = replacement_for(reinterpret_cast<const char*>(by_name->Name));
      if (!function) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                          &protection))
        return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(function);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      ++replaced;
    }
  }
  return replaced == static_cast<int>(sizeof kReplacements / sizeof kReplacements[0]);
}

std::uint64_t network_ticks() { return g_network.ticks; }
std::uint64_t network_calls() { return g_network.calls; }
void reset_network_counters() { g_network = call_count(); }

}  // namespace bench
