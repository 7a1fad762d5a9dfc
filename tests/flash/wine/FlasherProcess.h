// Windows side (tests): runs the real vessa_flash.exe as a child process, as a calling program
// or a person would, and collects what it writes. Every wait is bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flash_wine {

enum class input_kind {
    none,    // no standard input at all and no console (as a detached service would run it)
    hidden,  // as the updater runs it: hidden, no standard input and no standard error
    text,    // standard input from a pipe holding the text, then closed
    held,    // standard input from a pipe kept open: the text comes only once the output shows
             // answer_after, as a calling program answers a prompt it has read
    console, // standard input is a console: each of console_answers is typed as key presses
             // once the output shows its prompt, as a person at a command prompt answers
};

// Keys a person types at the console once the output shows the prompt.
struct typed_answer {
    std::string prompt;
    std::string keys; // "\r" is the Enter key
};

struct run_options {
    input_kind input = input_kind::text;
    std::string text;         // what standard input holds (input_kind::text and ::held)
    std::string answer_after; // input_kind::held: the output that the text answers
    std::vector<typed_answer> console_answers; // input_kind::console, in order
    unsigned timeout_ms = 60000;
    std::string working_directory; // UTF-8; empty: the test's own
    // Standard output on the test's console, as by hand at a command prompt; the result's output
    // is then what the screen shows.
    bool output_to_console = false;
};

struct run_result {
    int exit_code = -1;
    bool timed_out = false;
    bool waited_for_answer = false; // still running when the answer was written
    std::string output;             // standard output, CR LF folded to LF
    std::string errors;             // standard error, CR LF folded to LF
};

// The folder of the vessa_flash.exe under test and the default image, with a trailing delimiter:
// the test binary's own, or the 32-bit programs' in a 32-bit run (ProgramsUnderTest.h).
std::string program_folder();

// Runs vessa_flash.exe with the arguments (UTF-8, each quoted as needed).
run_result run_flasher(const std::vector<std::string>& arguments, const run_options& options = {});

// The system's message text for an error code, with its CR LF as LF, as in a folded output.
std::string system_error_text(std::uint32_t code);

// Replaces every "(N bytes/s" by "(<rate> bytes/s" so transcripts compare exactly.
std::string without_rates(const std::string& text);

} // namespace flash_wine
