# Release builds that give the same bytes wherever and whenever they are built: no build folder,
# clone path or link time inside a shipped binary, and no symbols to carry them. Off for everyday
# builds, whose debug information should name the real source paths.
option(VEXLO_REPRODUCIBLE "Byte-identical, stripped binaries for a release" OFF)
if(VEXLO_REPRODUCIBLE)
  # The source tree, then the build folder that lies inside it in the presets: the later map wins.
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
  add_link_options(-s)
  if(WIN32)
    # A PE header holds the link time unless told not to.
    add_link_options(-Wl,--no-insert-timestamp)
  else()
    # The build id is a hash of the contents, not random.
    add_link_options(-Wl,--build-id=sha1)
  endif()
endif()
