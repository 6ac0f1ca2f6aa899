#pragma once
// The two regular expressions the plug-in hands to the host's REGEX_COMPILE: the tests run the
// plug-in's own, never a copy typed again. Under Wine they come from the discovery headers and
// the plug-in's core; the native build, which cannot compile that code, gets the same
// definitions copied out of its sources when it is configured (cmake/Native.cmake).

#ifdef _WIN32
#include "discovery/http.h"
#include "discovery/selection.h"
#else
namespace GetInfo {
extern const char* const kIndexEntryPattern;
extern const char* const kArchivePattern;
}  // namespace GetInfo
#endif
