#pragma once
// Owns one WinINet handle (session, connection, request or search).

#include "support/handles.h"

namespace GetInfo {

using internet_handle = orelib::internet_handle;

}  // namespace GetInfo
