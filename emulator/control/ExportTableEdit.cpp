// Portable: editing the export directory of a PE image in memory.
#include "ExportTableEdit.h"

#include <algorithm>
#include <cstring>

namespace vg730emu {

namespace {

class PeImage {
public:
    explicit PeImage(std::vector<std::uint8_t>& bytes) : FBytes(bytes) {
        const std::uint32_t pe = u32(0x3C);
        if (u16(0) != 0x5A4D || u32(pe) != 0x00004550) {
            throw ImageFormatError("not a PE image");
        }
        const std::uint32_t coff = pe + 4;
        FSections = u16(coff + 2);
        const std::uint32_t optional = coff + 20;
        const std::uint16_t magic = u16(optional);
        const std::uint32_t directories = optional + (magic == 0x20B ? 112 : 96);
        if (magic != 0x20B && magic != 0x10B) {
            throw ImageFormatError("unknown optional header");
        }
        FSectionTable = optional + u16(coff + 16);
        const std::uint32_t exportRva = u32(directories);
        if (exportRva == 0) {
            throw ImageFormatError("the image exports nothing");
        }
        FExports = offset(exportRva);
    }

    std::uint32_t nameCount() const { return u32(FExports + 24); }
    std::uint32_t namesTable() const { return offset(u32(FExports + 32)); }
    std::uint32_t ordinalsTable() const { return offset(u32(FExports + 36)); }

    std::string name(std::uint32_t index) const {
        std::uint32_t at = offset(u32(namesTable() + 4 * index));
        std::string text;
        while (byte(at) != 0) {
            text.push_back(static_cast<char>(byte(at++)));
        }
        return text;
    }

    void remove(std::uint32_t index) {
        const std::uint32_t count = nameCount();
        const std::uint32_t names = namesTable();
        const std::uint32_t ordinals = ordinalsTable();
        check(names, 4 * count);
        check(ordinals, 2 * count);
        std::memmove(&FBytes[names + 4 * index], &FBytes[names + 4 * (index + 1)],
                     4 * (count - index - 1));
        std::memmove(&FBytes[ordinals + 2 * index], &FBytes[ordinals + 2 * (index + 1)],
                     2 * (count - index - 1));
        std::memset(&FBytes[names + 4 * (count - 1)], 0, 4);
        std::memset(&FBytes[ordinals + 2 * (count - 1)], 0, 2);
        put32(FExports + 24, count - 1);
    }

private:
    void check(std::uint64_t at, std::uint64_t length) const {
        if (at + length > FBytes.size()) {
            throw ImageFormatError("truncated PE image");
        }
    }
    std::uint8_t byte(std::uint32_t at) const {
        check(at, 1);
        return FBytes[at];
    }
    std::uint16_t u16(std::uint32_t at) const {
        check(at, 2);
        return static_cast<std::uint16_t>(FBytes[at] | (FBytes[at + 1] << 8));
    }
    std::uint32_t u32(std::uint32_t at) const {
        check(at, 4);
        return static_cast<std::uint32_t>(FBytes[at]) |
               (static_cast<std::uint32_t>(FBytes[at + 1]) << 8) |
               (static_cast<std::uint32_t>(FBytes[at + 2]) << 16) |
               (static_cast<std::uint32_t>(FBytes[at + 3]) << 24);
    }
    void put32(std::uint32_t at, std::uint32_t value) {
        check(at, 4);
        for (int i = 0; i < 4; ++i) {
            FBytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    // File offset of a relative virtual address, through the section that holds it.
    std::uint32_t offset(std::uint32_t rva) const {
        for (std::uint32_t i = 0; i < FSections; ++i) {
            const std::uint32_t section = FSectionTable + 40 * i;
            const std::uint32_t virtualSize = u32(section + 8);
            const std::uint32_t address = u32(section + 12);
            const std::uint32_t rawSize = u32(section + 16);
            const std::uint32_t raw = u32(section + 20);
            if (rva >= address && rva - address < std::max(virtualSize, rawSize)) {
                if (rva - address >= rawSize) {
                    break;
                }
                return raw + (rva - address);
            }
        }
        throw ImageFormatError("address outside the image's sections");
    }

    std::vector<std::uint8_t>& FBytes;
    std::uint32_t FSections = 0;
    std::uint32_t FSectionTable = 0;
    std::uint32_t FExports = 0;
};

} // namespace

std::vector<std::string> ExportedNames(const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> copy = image;
    PeImage pe(copy);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < pe.nameCount(); ++i) {
        names.push_back(pe.name(i));
    }
    return names;
}

std::vector<std::uint8_t> RemoveExportNames(std::vector<std::uint8_t> image,
                                            const std::vector<std::string>& names) {
    PeImage pe(image);
    for (const std::string& name : names) {
        std::uint32_t index = 0;
        while (index < pe.nameCount() && pe.name(index) != name) {
            ++index;
        }
        if (index == pe.nameCount()) {
            throw ImageFormatError("the library does not export '" + name + "'");
        }
        pe.remove(index);
    }
    return image;
}

} // namespace vg730emu
