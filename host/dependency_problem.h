// Why a library file that exists could not be loaded, when the reason is a library it needs: loaders
// say "module not found" (Windows, error 126) without naming the missing one, or name it in a text
// that reads as if the module itself were missing (Linux).
#ifndef TRHOST_DEPENDENCY_PROBLEM_H
#define TRHOST_DEPENDENCY_PROBLEM_H

#include <string>

namespace trhost {

// "it needs X, which is not found" for the library at `path` that failed to load with the loader's
// `reason` (through libraries that are found: "it needs A, which needs X, ..."), or empty when no
// library it needs is missing. On Windows it reads the import tables and asks the loader for each DLL
// named there; on Linux the loader's text names the missing library.
std::string DependencyProblem(const std::string& path, const std::string& reason);

}  // namespace trhost

#endif  // TRHOST_DEPENDENCY_PROBLEM_H
