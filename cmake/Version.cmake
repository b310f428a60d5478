# The release's version, set once in project(), reaches the code and the Windows resource through one
# generated header; `vexlo_version` puts it, and the version resource's body, on a target's include
# path.
configure_file(${CMAKE_CURRENT_LIST_DIR}/vexlo_version.h.in ${CMAKE_BINARY_DIR}/generated/vexlo_version.h @ONLY)
add_library(vexlo_version INTERFACE)
target_include_directories(vexlo_version INTERFACE ${CMAKE_BINARY_DIR}/generated ${CMAKE_CURRENT_LIST_DIR})

# The Windows binaries carry the version in a resource that Explorer's file properties show.
if(WIN32)
  enable_language(RC)
endif()

# vexlo_version_resource(TARGET FILE_NAME NAME DESCRIPTION TEXT [PROGRAM])
# The one way a Windows binary of the release gets its version resource: the release's version, the
# file's name (OriginalFilename) and what it is (FileDescription); a DLL unless PROGRAM. Does nothing
# on Linux.
set(VEXLO_VERSION_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version_resource.rc.in)
function(vexlo_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "PROGRAM" "FILE_NAME;DESCRIPTION" "" ${ARGN})
  if(ARG_PROGRAM)
    set(VEXLO_RC_FILE_TYPE VFT_APP)
  else()
    set(VEXLO_RC_FILE_TYPE VFT_DLL)
  endif()
  set(VEXLO_RC_FILE_NAME ${ARG_FILE_NAME})
  set(VEXLO_RC_DESCRIPTION ${ARG_DESCRIPTION})
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${VEXLO_VERSION_RESOURCE_TEMPLATE} ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
  target_link_libraries(${target} PRIVATE vexlo_version)
endfunction()
