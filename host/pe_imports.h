// The DLL names in a 32-bit PE image's import table, read from the file itself: what Windows must find
// before it can load the image. Portable code, so that any build can read a Windows DLL.
#ifndef TRHOST_PE_IMPORTS_H
#define TRHOST_PE_IMPORTS_H

#include <optional>
#include <string>
#include <vector>

namespace trhost {

// The imported DLLs in the order of the table, or nullopt when `path` is not a readable PE32 image
// or its import table lies outside the file. An image without imports answers an empty list.
std::optional<std::vector<std::string>> PeImportNames(const std::string& path);

}  // namespace trhost

#endif  // TRHOST_PE_IMPORTS_H
