// Both sides (tests): what vessa_flash prints, written out once for every test that compares
// its output — the native tests of the console and flow, and the runs of the real program.
#pragma once

#include <string>

namespace flash_expected {

inline const std::string banner =
    "\nFirmware programmer - USB CAN interfaces, (c) Tolvak-Quorvel\n";

inline const std::string usage_text =
    "\n"
    "Usage:\n"
    "vessa_flash [flags] filename\n"
    "  -Cn           Program device number n (0,1,2,...).\n"
    "  -index        Index mode. The specified file is an index file.\n"
    "  -ask          Ask some impertinent questions before programming.\n"
    "  -dont_ask     Skip hardware type test and try to program anyway.\n"
    "                NOTE: May still prompt for input.\n"
    "  -unattended   Don't require user input of any kind.\n"
    "                NOTE: some safety checks are skipped.\n"
    "  -all          Program all available devices.\n"
    "                NOTE: use this with caution.\n"
    "  -vc           Perform a firmware version check where applicable. Index mode req'd.\n"
    "  filename:  File to download; it must have .img format.\n"
    "\n";

inline const std::string warning =
    "\nWARNING: Programming wrong firmware may render the device unusable.\n"
    "ARE YOU SURE YOU WANT TO CONTINUE?\n"
    "Press (upper case)) G to program the device, or any other key to quit.\n";

inline const std::string space_prompt =
    "Press SPACE to start programming, or any other key to quit.\n";

inline const std::string not_updated = "\nThe firmware was NOT updated.\nPress RETURN to quit.\n";
inline const std::string not_updated_unattended = "\nThe firmware was NOT updated.\n";

} // namespace flash_expected
