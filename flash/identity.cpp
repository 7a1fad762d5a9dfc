// Portable side: identity read, printing and hardware type table.
#include "identity.h"

#include "console.h"
#include "driver.h"
#include "platform.h"

namespace flash {

namespace {

struct hardware_type {
    std::uint32_t ean_lo;
    const char* text;
};

// Types of the maker's own EAN range (hi word 0x00073000), looked up by the lo word.
constexpr std::uint32_t maker_ean_hi = 0x00073000;
constexpr hardware_type hardware_types[] = {
    {0x99003105, "Varnik Tavi Prototype\n"},  {0x99003112, "Varnik Tavi Prototype B\n"},
    {0x99003129, "Varnik Tavi Noxel HS\n"},   {0x99003136, "Varnik Tavi Dulvo HS\n"},
    {0x99003143, "Varnik Tavi Pelvar HS\n"},  {0x99003150, "Varnik Tavi Dulvo LS\n"},
    {0x99003167, "Varnik Tavi Pelvar LS\n"},  {0x99003174, "Varnik Tavi Dulvo SWC\n"},
    {0x99003181, "Varnik Tavi Pelvar SWC\n"}, {0x99003198, "Varnik Tavi Dulvo LIN\n"},
    {0x99003204, "Varnik Tavi Pelvar LIN\n"},
};

void print_open_failure(std::uint32_t error) {
    char text[4097];
    platform::system_error_text(error, text, sizeof text);
    print_message(
        "Failed to open the device driver.\nError code 0x%08x: %sCheck that the device is "
        "connected and online, and that no other application\nis using the device.\n",
        error, text);
}

} // namespace

std::uint32_t packed_firmware_version(std::uint32_t major, std::uint32_t minor,
                                      std::uint32_t build) {
    return major * (1u << 20) + (minor + 6 * (minor / 10)) * (1u << 12) +
           (build / 100) * (1u << 8) + ((build % 100) / 10) * (1u << 4) + build % 10;
}

void print_hardware_type(ean_words ean) {
    if (ean.hi == maker_ean_hi) {
        for (const hardware_type& type : hardware_types) {
            if (type.ean_lo == ean.lo) {
                print_message("%s", type.text);
                return;
            }
        }
    }
    // The doubled ")" is no slip: the line has always read so.
    print_message("N/A (P/N %08x%08x))\n", ean.hi, ean.lo);
}

int identify_device(int n, card_identity& card) {
    card = card_identity{};
    std::uint32_t error = 0;
    unique_device device = open_device(n, false, error);
    if (!device.valid()) {
        print_open_failure(error);
        return 1;
    }
    card_info info;
    ean_words ean;
    if (!get_card_info(device.get(), info) || !get_card_info2(device.get(), ean)) {
        return 0;
    }
    read_card_parameter(device.get(), ean);

    const std::uint32_t hardware = info.hardware_major * 256 + info.hardware_minor;
    const std::uint32_t firmware =
        packed_firmware_version(info.firmware_major, info.firmware_minor, info.firmware_build);
    print_message("Serial Number:            %07d\nHardware version:         %d.%d\nCurrent "
                  "Firmware Version: %d.%02lx.%03lx\n",
                  info.serial_number, static_cast<int>((hardware >> 8) & 0xFF),
                  static_cast<int>(hardware & 0xFF), static_cast<int>((firmware >> 20) & 0xF),
                  static_cast<unsigned long>((firmware >> 12) & 0xFF),
                  static_cast<unsigned long>(firmware & 0xFFF));
    print_message("Hardware type:            ");
    print_hardware_type(ean);
    card.card_ean = ean;
    card.hardware_version = hardware;
    return 0;
}

} // namespace flash
