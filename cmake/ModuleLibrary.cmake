# tr_add_module_library(TARGET FILE_NAME NAME WINDOWS_NAME NAME SOURCES ... [LIBS ...])
#
# One module library the host loads: build/linux-x86/FILE_NAME.so or build/windows-x86/WINDOWS_NAME.dll.
# Only getModuleProperties and makeModule are visible from it (a version script on Linux, a .def file
# on Windows, everything else compiled hidden); on Windows it carries the library entry and its own
# copy of the C and C++ runtime, so that it needs nothing but system DLLs.
set(TR_MODULE_EXPORTS_DIR ${CMAKE_CURRENT_LIST_DIR}/../framework)

function(tr_add_module_library target)
  cmake_parse_arguments(ARG "" "FILE_NAME;WINDOWS_NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE trframework ${ARG_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_sources(${target} PRIVATE
      ${TR_MODULE_EXPORTS_DIR}/tr_dll_main.cpp
      ${TR_MODULE_EXPORTS_DIR}/module_exports.def)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_WINDOWS_NAME})
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++)
  else()
    set(script ${TR_MODULE_EXPORTS_DIR}/module_exports.version)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_FILE_NAME} SUFFIX ".so")
    target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
  # Everything that runs the build's modules (the manual's recipes) waits for all of them.
  set_property(GLOBAL APPEND PROPERTY VEXLO_MODULE_LIBRARIES ${target})
endfunction()
