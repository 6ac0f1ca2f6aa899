# The MinGW-w64 cross build for the processor the including toolchain file names
# (CMAKE_SYSTEM_PROCESSOR: i686 or x86_64); what it builds runs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_triple "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")

# The -posix variants: GoogleTest needs std::thread and friends.
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# configure_file() of the wrapper happens in the top-level list; the emulator
# path is fixed here so try_run and test discovery use it too.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
