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
