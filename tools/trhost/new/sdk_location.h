// The SDK a new module is built against: the installed framework package (its CMake folder, which the
// presets name) and the VEXLO library that the new module's patch plays.
#ifndef TRHOST_NEW_SDK_LOCATION_H
#define TRHOST_NEW_SDK_LOCATION_H

#include <optional>
#include <string>

namespace trhost {

// Paths as the generated files write them: absolute, with '/' between parts on both systems.
struct SdkLocation {
    std::string prefix;         // the SDK's folder
    std::string cmake_dir;      // its package config folder: prefix/lib/cmake/TRFramework
    std::string vexlo_library;  // prefix/modules/vexlo.so
};

// The SDK under `prefix`, when the package config is there.
std::optional<SdkLocation> SdkAt(const std::string& prefix);

// The SDK to build against: `chosen` when it is not empty; else the one this trhost is installed in
// (bin/trhost under the SDK's folder); else the first folder of the environment's CMAKE_PREFIX_PATH
// that holds the package. Without one, `problem` says where it was looked for.
std::optional<SdkLocation> FindSdk(const std::string& chosen, std::string* problem);

}  // namespace trhost

#endif  // TRHOST_NEW_SDK_LOCATION_H
