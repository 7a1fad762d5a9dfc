// Portable side: messages, usage text, prompts and the "NOT updated" ending.
#include "console.h"

#include "platform.h"

#include <cstdarg>
#include <cstdio>

namespace flash {

namespace {

// The usage text, one format with the program name for its "%s"; it starts and ends with an
// empty line.
constexpr const char usage_text[] =
    "\n"
    "Usage:\n"
    "%s [flags] filename\n"
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

// Waits until a key press is available on the console, leaving it unread; without a console
// there is nobody to press one, so it returns at once.
void wait_for_key_press() {
    if (!platform::console_input_attached()) {
        return;
    }
    while (!platform::console_key_pending()) {
        platform::sleep_ms(1);
    }
}

// UTF-8 text onto standard output: a console shows its characters, anything else gets its bytes.
void write_output(const char* text, std::size_t length) {
    std::FILE* out = platform::output_stream();
    std::fflush(out);
    if (!platform::write_console_text(text, length)) {
        std::fwrite(text, 1, length, out);
        std::fflush(out);
    }
}

} // namespace

void print_message(const char* format, ...) {
    // Every message with its longest values (paths, the system's error text) fits; only the
    // tag texts of a hostile image can be longer, and those go to the stream as they are.
    static char text[16384];
    va_list values;
    va_start(values, format);
    va_list again;
    va_copy(again, values);
    const int length = std::vsnprintf(text, sizeof text, format, values);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof text) {
        write_output(text, static_cast<std::size_t>(length));
    } else if (length >= 0) {
        std::FILE* out = platform::output_stream();
        std::vfprintf(out, format, again);
        std::fflush(out);
    }
    va_end(again);
    va_end(values);
}

void print_progress_mark() {
    write_output("#", 1);
}

void print_banner() {
    print_message("\nFirmware programmer - USB CAN interfaces, (c) Tolvak-Quorvel\n");
}

void print_usage() {
    print_message(usage_text, settings.program_name);
    if (settings.unattended == 0) {
        print_message("Press any key to quit.");
        wait_for_key_press();
    }
}

void print_path_too_long() {
    print_message("Error: The file name is longer than %d characters; it is refused.\n",
                  image_path_characters);
}

int read_key() {
    std::fflush(platform::output_stream());
    if (platform::console_input_attached()) {
        return platform::read_console_key();
    }
    return platform::read_input_char();
}

int wait_for_return() {
    std::fflush(platform::output_stream());
    return platform::read_input_char();
}

bool confirm_programming(ean_words card_ean, ean_words image_ean) {
    // A word of 0 in the image never counts as a match: such an image names no hardware.
    int mismatches = 0;
    if (image_ean.lo == 0 || image_ean.lo != card_ean.lo) {
        ++mismatches;
    }
    if (image_ean.hi == 0 || image_ean.hi != card_ean.hi) {
        ++mismatches;
    }
    if (settings.verbose != 0) {
        print_message("Hardware says EAN      %08x%08x\nwhereas the image says %08x%08x\n",
                      card_ean.hi, card_ean.lo, image_ean.hi, image_ean.lo);
    }
    if (settings.dont_ask == 0 && mismatches != 0 && settings.unattended == 0) {
        platform::beep(440, 200);
        platform::beep(554, 200);
        platform::beep(659, 200);
        print_message("\nWARNING: Programming wrong firmware may render the device unusable.\n");
        print_message("ARE YOU SURE YOU WANT TO CONTINUE?\n");
        // The doubled ")" is no slip: the prompt has always read so.
        print_message("Press (upper case)) G to program the device, or any other key to quit.\n");
        if (read_key() != 'G') {
            return false;
        }
    }
    if (settings.ask != 0) {
        print_message("Press SPACE to start programming, or any other key to quit.\n");
        if (read_key() != ' ') {
            return false;
        }
    }
    return true;
}

int end_not_updated(int code) {
    print_message("\nThe firmware was NOT updated.\n");
    if (settings.unattended == 0) {
        print_message("Press RETURN to quit.\n");
        wait_for_return();
    }
    return code;
}

} // namespace flash
