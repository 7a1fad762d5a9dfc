// Portable: makes a copy of a DLL whose export table lacks chosen names, as a library built
// without those entries would look to GetProcAddress.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vg730emu {

class ImageFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The names of the export directory of a PE image (32 or 64 bit), in table order.
std::vector<std::string> ExportedNames(const std::vector<std::uint8_t>& image);

// Removes each name from the name table (and its ordinal from the ordinal table beside it), so
// the table stays sorted for the loader's binary search. Throws ImageFormatError when the image
// is no PE file with exports or a name is not exported.
std::vector<std::uint8_t> RemoveExportNames(std::vector<std::uint8_t> image,
                                            const std::vector<std::string>& names);

} // namespace vg730emu
