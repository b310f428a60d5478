# GoogleTest programs for module code, on both targets, built one way in this tree and in any project
# that finds the installed package.
#
# tr_add_module_test(NAME SOURCES ... [LIBS ...])
#
# One GoogleTest program, linked with GoogleTest's main. On Linux every case is its own ctest test;
# for windows-x86 ctest runs the program under wine (the toolchain file names it as the emulator), as
# one test, since every start of wine costs seconds, in a wine prefix of the build folder
# (TR_TEST_ENVIRONMENT) that a fixture test makes once before any test needs it, so that tests depend
# neither on HOME nor on state left by earlier runs.
include_guard(GLOBAL)
include(GoogleTest)

set(TR_TEST_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")

# GoogleTest, built from Debian's sources (package googletest) with this target's compiler and flags;
# and, under wine, the fixture `wine` that makes the prefix. Once per project.
function(tr_enable_module_tests)
  get_property(enabled GLOBAL PROPERTY TR_MODULE_TESTS_ENABLED)
  if(enabled)
    return()
  endif()
  set_property(GLOBAL PROPERTY TR_MODULE_TESTS_ENABLED TRUE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(WIN32)
    add_test(NAME wine_prefix COMMAND sh -c "wineboot -i >/dev/null 2>&1; wineserver -w; true")
    set_tests_properties(wine_prefix PROPERTIES
      FIXTURES_SETUP wine ENVIRONMENT "${TR_TEST_ENVIRONMENT}" TIMEOUT 300)
  endif()
endfunction()

function(tr_add_module_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  tr_enable_module_tests()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    # A program carries its runtime with it, so that wine needs only system DLLs.
    target_link_options(${name} PRIVATE -static)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine ENVIRONMENT "${TR_TEST_ENVIRONMENT}" TIMEOUT 600
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
