# GoogleTest, built from Debian's sources with this target's compiler and flags.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

if(WIN32)
  # Tests run under wine in a prefix of the build tree, made once before any test needs it.
  set(VEXLO_TEST_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
  add_test(NAME wine_prefix COMMAND sh -c "wineboot -i >/dev/null 2>&1; wineserver -w; true")
  set_tests_properties(wine_prefix PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${VEXLO_TEST_ENVIRONMENT}" TIMEOUT 300)
endif()

# vexlo_add_test(NAME SOURCES... [LIBS ...]): one GoogleTest program. On Linux every case is its own
# ctest test; under wine each program is one test, since every start of wine costs seconds.
function(vexlo_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VEXLO_LIBRARY_PATH="$<IF:$<BOOL:${WIN32}>,$<TARGET_FILE_NAME:vexlo>,$<TARGET_FILE:vexlo>>")
  add_dependencies(${name} vexlo)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine ENVIRONMENT "${VEXLO_TEST_ENVIRONMENT}" TIMEOUT 600
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
