# Cross-compiles for 32-bit Windows with MinGW-w64 and runs what it builds under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
