# add_wine_gtest(NAME <name> SOURCES <files...>
#                [LIBS <targets...>]          extra libraries to link
#                [HOST_DEF <file.def>]        which host services the test executable exports
#                                             (default: all fifteen, host/services.def; NONE exports nothing)
#                [GROUPS <suites...>]         one CTest test per GoogleTest suite (<name>.<suite>);
#                                             without it the whole executable is one CTest test
#                [TIMEOUT <seconds>] [LABELS <labels...>] [FIXTURES_REQUIRED <fixtures...>]
#                [ENVIRONMENT <VAR=value...>] [RUN_SERIAL])
#
# Builds a GoogleTest executable for Windows that carries the reference host's services
# and the plug-in's core, and registers it with CTest to run under Wine.
function(add_wine_gtest)
  cmake_parse_arguments(T "RUN_SERIAL" "NAME;TIMEOUT;HOST_DEF"
                        "SOURCES;LIBS;GROUPS;LABELS;FIXTURES_REQUIRED;ENVIRONMENT" ${ARGN})
  if(NOT T_NAME OR NOT T_SOURCES)
    message(FATAL_ERROR "add_wine_gtest needs NAME and SOURCES")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_HOST_DEF)
    set(T_HOST_DEF "${PROJECT_SOURCE_DIR}/host/services.def")
  endif()

  set(exe "test_${T_NAME}")
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE host_services ispell_core test_support GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
  if(NOT T_HOST_DEF STREQUAL "NONE")
    target_link_options(${exe} PRIVATE "${T_HOST_DEF}")
  endif()
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  add_dependencies(${exe} ispell)

  set(props TIMEOUT ${T_TIMEOUT} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES_REQUIRED)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES_REQUIRED}")
  endif()
  if(T_ENVIRONMENT)
    list(APPEND props ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_RUN_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()

  if(T_GROUPS)
    foreach(suite IN LISTS T_GROUPS)
      add_test(NAME ${T_NAME}.${suite} COMMAND ${exe} --gtest_filter=${suite}.*:${suite}/*)
      set_tests_properties(${T_NAME}.${suite} PROPERTIES ${props})
    endforeach()
  else()
    add_test(NAME ${T_NAME} COMMAND ${exe})
    set_tests_properties(${T_NAME} PROPERTIES ${props})
  endif()
endfunction()
