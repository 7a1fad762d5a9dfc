// Fuzzer: any bytes as a command line (arguments split at zero bytes).
#include "settings.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"vessa_flash.exe"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(a.c_str());
    }
    const flash::parse_result result =
        flash::parse_command_line(static_cast<int>(argv.size()), argv.data());
    // Whatever was accepted fits its fields.
    if (result == flash::parse_result::ok &&
        (std::strlen(flash::settings.image_path) >= flash::image_path_capacity ||
         flash::settings.device_number < 0 || flash::settings.device_number > 127 ||
         flash::settings.image_path[0] == '\0')) {
        __builtin_trap();
    }
    return 0;
}
