# Module libraries for the Tavrisk host, built one way in this tree and in any project that finds the
# installed package (find_package(TRFramework CONFIG)).
#
# tr_add_module_library(TARGET [FILE_NAME name] [WINDOWS_NAME NAME] SOURCES ... [LIBS ...])
#
# One module library the host loads: FILE_NAME.so on Linux, WINDOWS_NAME.dll on Windows, in the
# build folder of the project (FILE_NAME defaults to TARGET, WINDOWS_NAME to TARGET in capitals).
# The function sets every flag a module needs, whatever the project sets:
# - 32-bit x86 code with SSE2 arithmetic, no x87, no contraction into fused multiply-adds and no
#   fast-math (on the framework, and so on everything that links it);
# - only getModuleProperties and makeModule visible (a version script on Linux, a .def file on
#   Windows, everything else compiled hidden);
# - on Windows the library entry and its own copy of the C, C++ and thread runtimes, so that the DLL
#   imports nothing but system DLLs and loads on any machine.
#
# tr_add_framework() defines the framework itself, `trframework`, a static library compiled from its
# sources with the project's own compiler and flags, so one copy of the package serves both targets.
include_guard(GLOBAL)

# The framework's files. In this tree they lie in framework/; the installed package's config sets
# TR_FRAMEWORK_INCLUDE_DIR and TR_FRAMEWORK_SOURCE_DIR before it includes this file.
if(NOT DEFINED TR_FRAMEWORK_INCLUDE_DIR)
  set(TR_FRAMEWORK_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../framework)
  set(TR_FRAMEWORK_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../framework)
endif()
# Kept as properties, so the functions find them from any folder of a project.
set_property(GLOBAL PROPERTY TR_FRAMEWORK_INCLUDE_DIR ${TR_FRAMEWORK_INCLUDE_DIR})
set_property(GLOBAL PROPERTY TR_FRAMEWORK_SOURCE_DIR ${TR_FRAMEWORK_SOURCE_DIR})

# The framework's headers, its sources, and what a module library adds to them (the Windows library
# entry, the export lists): what the package installs and what tr_add_framework compiles.
set(TR_FRAMEWORK_HEADERS
  trmod_interface.h
  tr_assert.h
  tr_module_base.h
  tr_module_library.h
  tr_pin.h
  tr_pin_table.h
  tr_process_routine.h)
set(TR_FRAMEWORK_SOURCES
  tr_assert.cpp
  tr_module_base.cpp
  tr_module_library.cpp
  tr_pin.cpp
  tr_pin_table.cpp)
set(TR_MODULE_LIBRARY_FILES
  tr_dll_main.cpp
  module_exports.def
  module_exports.version)

# The arithmetic every module is specified in: SSE2 doubles only, no x87, no fused multiply-add, no
# reassociation; and 32-bit code, since the interface's address fields are 32-bit words.
set(TR_MODULE_COMPILE_OPTIONS -msse2 -mfpmath=sse -ffp-contract=off -fno-fast-math)
if(NOT WIN32)
  list(PREPEND TR_MODULE_COMPILE_OPTIONS -m32)
  set(TR_MODULE_LINK_OPTIONS -m32)
endif()

function(tr_add_framework)
  if(TARGET trframework)
    return()
  endif()
  get_property(include_dir GLOBAL PROPERTY TR_FRAMEWORK_INCLUDE_DIR)
  get_property(source_dir GLOBAL PROPERTY TR_FRAMEWORK_SOURCE_DIR)

  # The host-boundary records and codes: the one header both sides of the interface share.
  add_library(trmod_interface INTERFACE)
  target_include_directories(trmod_interface INTERFACE ${include_dir})
  target_compile_features(trmod_interface INTERFACE cxx_std_17)

  # Module base, pins, events, the invariant checks, pin tables and the library exports. The flags
  # are public: a module's own code and its tests are built with the same arithmetic.
  set(sources ${TR_FRAMEWORK_SOURCES})
  list(TRANSFORM sources PREPEND ${source_dir}/)
  add_library(trframework STATIC ${sources})
  target_link_libraries(trframework PUBLIC trmod_interface)
  target_compile_options(trframework PUBLIC ${TR_MODULE_COMPILE_OPTIONS})
  target_link_options(trframework PUBLIC ${TR_MODULE_LINK_OPTIONS})
  set_target_properties(trframework PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

function(tr_add_module_library target)
  cmake_parse_arguments(ARG "" "FILE_NAME;WINDOWS_NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_FILE_NAME)
    set(ARG_FILE_NAME ${target})
  endif()
  if(NOT ARG_WINDOWS_NAME)
    string(TOUPPER ${target} ARG_WINDOWS_NAME)
  endif()
  tr_add_framework()
  get_property(source_dir GLOBAL PROPERTY TR_FRAMEWORK_SOURCE_DIR)

  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE trframework ${ARG_LIBS})
  # The project's own static libraries go into a shared library: their code must be position-independent.
  foreach(lib ${ARG_LIBS})
    if(TARGET ${lib})
      get_target_property(type ${lib} TYPE)
      get_target_property(imported ${lib} IMPORTED)
      get_target_property(aliased ${lib} ALIASED_TARGET)
      if(type STREQUAL "STATIC_LIBRARY" AND NOT imported AND NOT aliased)
        set_target_properties(${lib} PROPERTIES POSITION_INDEPENDENT_CODE ON)
      endif()
    endif()
  endforeach()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_sources(${target} PRIVATE ${source_dir}/tr_dll_main.cpp ${source_dir}/module_exports.def)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_WINDOWS_NAME})
    # -static takes libwinpthread (which libstdc++'s threads need) as well as libgcc and libstdc++.
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -static)
  else()
    set(script ${source_dir}/module_exports.version)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_FILE_NAME} SUFFIX ".so")
    target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
  # Everything that runs a project's modules (this tree's manual) can wait for all of them.
  set_property(GLOBAL APPEND PROPERTY TR_MODULE_LIBRARIES ${target})
endfunction()
