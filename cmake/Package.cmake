# The framework as a package for module projects outside this tree: `cmake --install BUILD --prefix P
# --component sdk` puts into P
#   include/trframework/      the framework's headers (one include prefix)
#   src/trframework/          its sources, the Windows library entry and the export lists
#   lib/cmake/TRFramework/    the package config, ModuleLibrary.cmake, ModuleTest.cmake and the
#                             mingw toolchain file
#   bin/                      trhost (or trhost.exe)
#   modules/                  VEXLO's library, to patch into a new module
#   README.md, LICENSE, docs/ how to start, and the guide for module developers
# Installing the linux-x86 and the windows-x86 builds into one prefix gives the whole kit: the shared
# files are the same bytes from either build. A project then writes find_package(TRFramework CONFIG).
include(CMakePackageConfigHelpers)

set(TR_PACKAGE_INCLUDE_DIR include/trframework)
set(TR_PACKAGE_SOURCE_DIR src/trframework)
set(TR_PACKAGE_CMAKE_DIR lib/cmake/TRFramework)
set(TR_PACKAGE_MODULE_DIR modules)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TRFrameworkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/TRFrameworkConfig.cmake
  INSTALL_DESTINATION ${TR_PACKAGE_CMAKE_DIR}
  PATH_VARS TR_PACKAGE_INCLUDE_DIR TR_PACKAGE_SOURCE_DIR)
# The version is the release's; a 64-bit project is told the package does not suit it.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/TRFrameworkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_BINARY_DIR}/package/TRFrameworkConfig.cmake
    ${CMAKE_BINARY_DIR}/package/TRFrameworkConfigVersion.cmake
    ${CMAKE_CURRENT_LIST_DIR}/ModuleLibrary.cmake
    ${CMAKE_CURRENT_LIST_DIR}/ModuleTest.cmake
    ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake
  DESTINATION ${TR_PACKAGE_CMAKE_DIR} COMPONENT sdk)

# How to start, and the guide: every page for module developers in docs/.
configure_file(${CMAKE_SOURCE_DIR}/sdk/README.md.in ${CMAKE_BINARY_DIR}/package/README.md @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT sdk)
file(GLOB TR_GUIDE_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
if(NOT TR_GUIDE_PAGES)
  set(TR_GUIDE_PAGES ${CMAKE_SOURCE_DIR}/sdk/guide.md)
endif()
install(FILES ${TR_GUIDE_PAGES} DESTINATION docs COMPONENT sdk)

# tr_install_module(TARGET): a built module library into modules/.
function(tr_install_module target)
  install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${TR_PACKAGE_MODULE_DIR} COMPONENT sdk)
endfunction()
