// The module template of `trhost new`, carried inside trhost: the files under
// tools/trhost/new/template/, embedded at build time, in the order of their paths.
#ifndef TRHOST_NEW_TEMPLATE_FILES_H
#define TRHOST_NEW_TEMPLATE_FILES_H

#include <cstddef>

namespace trhost {

struct TemplateFile {
    const char* path;      // relative to the module folder, '/' between parts, placeholders unfilled
    const char* contents;  // `size` bytes, placeholders unfilled
    std::size_t size;
};

extern const TemplateFile kTemplateFiles[];
extern const std::size_t kTemplateFileCount;

}  // namespace trhost

#endif  // TRHOST_NEW_TEMPLATE_FILES_H
