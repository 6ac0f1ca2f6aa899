#pragma once
// Time the loaded plug-in spends inside WinINet, counted by wrappers put into its import
// table. GetInfo minus this, minus the host's time, is the plug-in's own work measured
// within the same call, free of the run-to-run swings of the server and the network.

#include <windows.h>

#include <cstdint>

namespace bench {

// Points the module's WinINet imports at the counting wrappers; false when one is missing.
bool time_network_imports(HMODULE module);

// Cycle-counter ticks inside the wrapped WinINet calls and their number since the last reset.
std::uint64_t network_ticks();
std::uint64_t network_calls();
void reset_network_counters();

}  // namespace bench
