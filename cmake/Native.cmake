# Native (Linux) builds of the host's portable code, under AddressSanitizer and
# UndefinedBehaviorSanitizer. ISPELL_FUZZ selects the libFuzzer targets
# (clang) instead of the GoogleTest suites.
option(ISPELL_FUZZ "Build the fuzz targets (needs clang) instead of the tests" OFF)

add_compile_options(-Wall -Wextra -g -fno-omit-frame-pointer)
if(ISPELL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer); use the fuzz preset")
  endif()
  # The code under test gets coverage instrumentation; the targets link libFuzzer's main.
  add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
  add_subdirectory(host)
  add_subdirectory(tests/fuzz)
else()
  add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
  add_subdirectory(host)
  enable_testing()
  add_subdirectory(tests/native)
endif()
