# torvwy_add_test: one GoogleTest program, built with the project's warnings and registered with
# ctest test by test.
#
#   torvwy_add_test(NAME torvwy_tests
#                   SOURCES a_test.cpp b_test.cpp
#                   LIBS torvwy_core GTest::gtest_main
#                   [DEFINITIONS NAME="value" ...]   compile definitions
#                   [DEPENDS torvwy ...]             programs the tests run, built first
#                   [ENVIRONMENT VAR=value]          set for every test of the program
#                   [TIMEOUT seconds])               per test (ctest's default otherwise)
#
# The program links GoogleTest itself; a program without its own main() adds GTest::gtest_main
# to LIBS.
include_guard(GLOBAL)
include(GoogleTest)

function(torvwy_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT;ENVIRONMENT"
                        "SOURCES;LIBS;DEFINITIONS;DEPENDS")
  if(NOT arg_NAME OR NOT arg_SOURCES)
    message(FATAL_ERROR "torvwy_add_test needs NAME and SOURCES")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "torvwy_add_test: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBS} GTest::gtest torvwy_warnings)
  if(arg_DEFINITIONS)
    target_compile_definitions(${arg_NAME} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${arg_NAME} ${arg_DEPENDS})
  endif()

  set(properties)
  if(arg_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT ${arg_ENVIRONMENT})
  endif()
  if(arg_TIMEOUT)
    list(APPEND properties TIMEOUT ${arg_TIMEOUT})
  endif()
  if(properties)
    gtest_discover_tests(${arg_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  else()
    gtest_discover_tests(${arg_NAME} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
