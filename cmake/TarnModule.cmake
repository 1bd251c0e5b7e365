# tarn_library(name folder deps...): a static library of every .cpp below `folder`, except
# program entry points (`*_main.cpp`).
function(tarn_library name folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX ".*_main\\.cpp$")
  if(NOT sources)
    set(sources ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)  # a module not written yet
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The locking rules the headers state, checked in the product's code: what each mutex
    # guards, which functions need it held (framework/ThreadAnnotations.h). Tests, which set
    # up guarded state before any thread runs, are not held to them.
    target_compile_options(${name} PRIVATE -Wthread-safety -Werror=thread-safety)
  endif()
endfunction()

# tarn_test_binary(name folder [LABEL label] deps...): one GoogleTest binary of every .cpp below
# tests/`folder`; its tests carry the label (by default the folder; the ThreadSanitizer run picks suites by label).
function(tarn_test_binary name folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "LABEL" "")
  set(deps ${arg_UNPARSED_ARGUMENTS})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${deps} tarn_test_support GTest::gmock GTest::gtest_main)
  if(NOT arg_LABEL)
    set(arg_LABEL ${folder})
  endif()
  # Parameterised cases carry readable names of their own (tests/support/CaseName.h); the
  # parameter's printed value is left out of the test name.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 120 LABELS ${arg_LABEL})
endfunction()
