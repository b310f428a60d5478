# GoogleTest and wine for this tree's tests, through the same functions the installed package gives
# other projects (ModuleTest.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/ModuleTest.cmake)
tr_enable_module_tests()
set(VEXLO_TEST_ENVIRONMENT "${TR_TEST_ENVIRONMENT}")

# vexlo_add_test(NAME SOURCES... [LIBS ...]): one GoogleTest program that may load the built VEXLO
# library (VEXLO_LIBRARY_PATH: a path on Linux, the file name in the build folder under wine).
function(vexlo_add_test name)
  tr_add_module_test(${name} ${ARGN})
  target_compile_definitions(${name} PRIVATE
    VEXLO_LIBRARY_PATH="$<IF:$<BOOL:${WIN32}>,$<TARGET_FILE_NAME:vexlo>,$<TARGET_FILE:vexlo>>")
  add_dependencies(${name} vexlo)
endfunction()
