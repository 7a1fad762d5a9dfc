// Native side (fuzzers): the bytes a fuzzer hands over, served as the one file the programmer
// opens; everything it prints goes nowhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace flash_fuzz {

void serve_file(const std::uint8_t* data, std::size_t size);

} // namespace flash_fuzz
