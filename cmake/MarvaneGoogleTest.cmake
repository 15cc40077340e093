# GoogleTest for the tests: GTest::gtest and GTest::gtest_main, and
# marvane_add_gtests. Included once, by tests/CMakeLists.txt; the test
# directories below it use what it defines.
#
# The MinGW-w64 cross build compiles it from the sources of Debian's
# googletest package (/usr/src/googletest); other builds use the installed
# package.
include_guard(GLOBAL)

if(WIN32)
  set(MARVANE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  if(NOT EXISTS ${MARVANE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${MARVANE_GOOGLETEST_SOURCE_DIR}: "
                        "run scripts/install-windows-deps.sh")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest uses Windows' own threads there.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${MARVANE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Its sources are not held to this project's warning flags; test programs
  # that link it carry their C++ runtime (Wine has no libstdc++ DLL).
  foreach(_target gtest gtest_main)
    target_compile_options(${_target} PRIVATE -w)
    target_link_options(${_target} INTERFACE -static)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
# GoogleTest's own CMakeLists names them GTest::gtest and GTest::gtest_main.
if(TARGET gtest AND NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

include(GoogleTest)

# Registers the tests of a test program with CTest, each with a time limit of
# its own, so that a test that hangs fails alone instead of stalling the
# suite. In the cross build the sources are scanned (nothing runs under Wine
# at build time) and each test starts Wine; a test that exits 77 (no 32-bit
# Wine on this machine) or that GoogleTest skipped counts as skipped. The
# native build asks the test program for its tests, which on a busy machine
# can take longer than GoogleTest's default 5 s; its slowest test takes about
# 11 s under the sanitizers here.
function(marvane_add_gtests target)
  if(CMAKE_CROSSCOMPILING)
    gtest_add_tests(TARGET ${target} TEST_LIST _tests)
    set_tests_properties(${_tests} PROPERTIES SKIP_RETURN_CODE 77 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
                                              TIMEOUT 120)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)
  endif()
endfunction()
