# add_wine_gtest(NAME <name> SOURCES <files...>
#                [LIBS <targets...>]          extra libraries to link
#                [HOST_WITHOUT <services...>] host services the test executable does not export
#                                             (by default it exports every one of the list)
#                [NO_HOST_SERVICES]           it exports none
#                [TIMEOUT <seconds>] [LABELS <labels...>] [FIXTURES_REQUIRED <fixtures...>]
#                [RESOURCE_LOCK <locks...>] [ENVIRONMENT <VAR=value...>] [RUN_SERIAL]
#                [WESTERN <filter>]           the cases matching the GoogleTest filter run again
#                                             on a Western system (code page 1252), as
#                                             <name>.cp1252.<Suite>.<Test>)
#
# Builds a GoogleTest executable for Windows that carries the reference host's services
# and the plug-in's core, and registers each of its test cases with CTest as
# <name>.<Suite>.<Test>, to run under Wine. The cases are found by listing them
# (--gtest_list_tests) when CTest starts, so a new suite or case runs without being named
# anywhere. Every case needs the Wine prefix (fixture wine_prefix).
include(GoogleTest)

# The prefix is made once, before any test and outside their time limits (a minute or so the
# first time), and Wine's desktop is opened before any test makes a window (see the script).
if(NOT TEST wine_prefix)
  set(wine_prefix_script "${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh")
  add_test(NAME wine_prefix COMMAND bash "${wine_prefix_script}" "${CMAKE_BINARY_DIR}/wine-run" "${WINE_PREFIX}" start)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 600)
  add_test(NAME wine_prefix_close COMMAND bash "${wine_prefix_script}" "${CMAKE_BINARY_DIR}/wine-run" "${WINE_PREFIX}" stop)
  set_tests_properties(wine_prefix_close PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
endif()

function(add_wine_gtest)
  cmake_parse_arguments(T "RUN_SERIAL;NO_HOST_SERVICES" "NAME;TIMEOUT;WESTERN"
                        "SOURCES;LIBS;HOST_WITHOUT;LABELS;FIXTURES_REQUIRED;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  if(NOT T_NAME OR NOT T_SOURCES)
    message(FATAL_ERROR "add_wine_gtest needs NAME and SOURCES")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(exe "test_${T_NAME}")
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE host_services ispell_core test_support test_main GTest::gtest GTest::gmock ${T_LIBS})
  if(NOT T_NO_HOST_SERVICES)
    set(def "${CMAKE_CURRENT_BINARY_DIR}/${exe}_services.def")
    host_services_def("${def}" WITHOUT ${T_HOST_WITHOUT})
    target_link_options(${exe} PRIVATE "${def}")
    set_property(TARGET ${exe} APPEND PROPERTY LINK_DEPENDS "${def}")
  endif()
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  add_dependencies(${exe} ispell)

  set(scalar_properties TIMEOUT ${T_TIMEOUT})
  if(T_RUN_SERIAL)
    list(APPEND scalar_properties RUN_SERIAL TRUE)
  endif()
  # Listing the cases starts Wine, which is slow the first time in a fresh prefix. Parameterised
  # cases are named by their parameter's name, without the printed value.
  gtest_discover_tests(${exe}
                       DISCOVERY_MODE PRE_TEST
                       NO_PRETTY_VALUES
                       DISCOVERY_TIMEOUT 120
                       TEST_PREFIX "${T_NAME}."
                       TEST_LIST ${exe}_TESTS
                       WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/bin"
                       PROPERTIES ${scalar_properties})
  # Wine takes a program's code page from its locale when the program starts, so the same
  # executable and prefix serve both; wine-run passes the locale on.
  if(T_WESTERN)
    gtest_discover_tests(${exe}
                         DISCOVERY_MODE PRE_TEST
                         NO_PRETTY_VALUES
                         DISCOVERY_TIMEOUT 120
                         TEST_PREFIX "${T_NAME}.cp1252."
                         TEST_FILTER "${T_WESTERN}"
                         TEST_LIST ${exe}_CP1252_TESTS
                         WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/bin"
                         PROPERTIES ${scalar_properties})
  endif()

  # gtest_discover_tests flattens list values among its PROPERTIES, so the list-valued ones are
  # set by a file that CTest reads after the discovered cases, on the list the discovery left.
  set(fixtures wine_prefix ${T_FIXTURES_REQUIRED})
  set(arguments " FIXTURES_REQUIRED [==[${fixtures}]==]")
  foreach(property LABELS RESOURCE_LOCK)
    if(T_${property})
      string(APPEND arguments " ${property} [==[${T_${property}}]==]")
    endif()
  endforeach()
  set(properties_932 "${arguments}")
  if(T_ENVIRONMENT)
    string(APPEND properties_932 " ENVIRONMENT [==[${T_ENVIRONMENT}]==]")
  endif()
  set(environment_1252 ${T_ENVIRONMENT} WINE_RUN_LC_ALL=C.UTF-8)
  set(properties_1252 "${arguments} ENVIRONMENT [==[${environment_1252}]==]")
  set(properties_file "${CMAKE_CURRENT_BINARY_DIR}/${exe}_properties.cmake")
  file(WRITE "${properties_file}"
       "if(${exe}_TESTS)\n"
       "  set_tests_properties(\${${exe}_TESTS} PROPERTIES${properties_932})\n"
       "endif()\n"
       "if(${exe}_CP1252_TESTS)\n"
       "  set_tests_properties(\${${exe}_CP1252_TESTS} PROPERTIES${properties_1252})\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${properties_file}")
endfunction()
