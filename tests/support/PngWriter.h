// Portable, tests only: writes an RGB picture as a PNG file (uncompressed deflate blocks), so
// screenshots taken by the tests can be looked at with any viewer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace png {

// Rows top to bottom, each Width pixels of red, green and blue bytes.
std::vector<std::uint8_t> Encode(int Width, int Height, const std::vector<std::uint8_t>& Rgb);
// False when the file cannot be written.
bool WriteFile(const std::string& Path, int Width, int Height,
               const std::vector<std::uint8_t>& Rgb);

} // namespace png
