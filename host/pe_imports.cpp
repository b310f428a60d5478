#include "pe_imports.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>

namespace trhost {

namespace {

// The PE format's constants: where the headers lie and what the optional header of a PE32 image holds.
constexpr uint32_t kPeHeaderOffsetField = 0x3c;  // in the DOS header
constexpr uint32_t kCoffHeaderSize = 20;         // after the "PE\0\0" signature
constexpr uint16_t kPe32Magic = 0x10b;           // the optional header of a 32-bit image
constexpr uint32_t kDataDirectoriesOffset = 96;  // in a PE32 optional header
constexpr uint32_t kImportDirectory = 1;         // the data directory of the import table
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kImportDescriptorSize = 20;  // its name RVA lies at offset 12
constexpr uint32_t kMostImports = 4096;         // a bound for a damaged table without its last, empty entry

class Image {
public:
    explicit Image(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}

    bool Has(uint64_t offset, uint64_t size) const { return offset + size <= m_bytes.size(); }
    uint16_t U16(uint32_t at) const { return static_cast<uint16_t>(m_bytes[at] | m_bytes[at + 1] << 8); }
    uint32_t U32(uint32_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }
    // The text at `at`, ending at its nul or the end of the file.
    std::string Text(uint32_t at) const {
        std::string text;
        while (at < m_bytes.size() && m_bytes[at] != 0) text += static_cast<char>(m_bytes[at++]);
        return text;
    }

private:
    std::vector<unsigned char> m_bytes;
};

struct Section {
    uint32_t address;  // RVA of its start in memory
    uint32_t size;     // in memory
    uint32_t offset;   // of its data in the file
};

std::optional<uint32_t> FileOffset(const std::vector<Section>& sections, uint32_t rva) {
    for (const Section& section : sections) {
        if (rva >= section.address && rva - section.address < section.size)
            return rva - section.address + section.offset;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::string>> PeImportNames(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    Image image(std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {}));

    if (!image.Has(0, 64) || image.U16(0) != 0x5a4d) return std::nullopt;  // "MZ"
    uint32_t pe = image.U32(kPeHeaderOffsetField);
    if (!image.Has(pe, 4 + kCoffHeaderSize + kDataDirectoriesOffset + 8 * (kImportDirectory + 1)) ||
        image.U32(pe) != 0x00004550) {  // "PE\0\0"
        return std::nullopt;
    }
    uint32_t coff = pe + 4;
    uint16_t section_count = image.U16(coff + 2);
    uint16_t optional_size = image.U16(coff + 16);
    uint32_t optional = coff + kCoffHeaderSize;
    if (image.U16(optional) != kPe32Magic) return std::nullopt;
    uint32_t directory = optional + kDataDirectoriesOffset + 8 * kImportDirectory;
    uint32_t imports_rva = image.U32(directory);

    std::vector<Section> sections;
    uint32_t table = optional + optional_size;
    if (!image.Has(table, static_cast<uint64_t>(section_count) * kSectionHeaderSize)) return std::nullopt;
    for (uint32_t i = 0; i < section_count; ++i) {
        uint32_t header = table + i * kSectionHeaderSize;
        uint32_t virtual_size = image.U32(header + 8);
        uint32_t raw_size = image.U32(header + 16);
        sections.push_back({image.U32(header + 12), virtual_size ? virtual_size : raw_size, image.U32(header + 20)});
    }

    std::vector<std::string> names;
    if (imports_rva == 0) return names;
    auto descriptor = FileOffset(sections, imports_rva);
    if (!descriptor) return std::nullopt;
    for (uint32_t i = 0; i < kMostImports; ++i, *descriptor += kImportDescriptorSize) {
        if (!image.Has(*descriptor, kImportDescriptorSize)) return std::nullopt;
        uint32_t name_rva = image.U32(*descriptor + 12);
        if (name_rva == 0) return names;
        auto name = FileOffset(sections, name_rva);
        if (!name) return std::nullopt;
        names.push_back(image.Text(*name));
    }
    return std::nullopt;
}

}  // namespace trhost
