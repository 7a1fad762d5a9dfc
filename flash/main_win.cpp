// Windows side: the console program's entry. The arguments are taken as the system holds them,
// in UTF-16, and handed on in UTF-8: the 8-bit arguments would turn every character outside the
// code page, as in a user's folder named in another script, into "?".
#include "flow.h"

#include "SystemDlls.h"
#include "platform.h"
#include "utf16_win.h"
#include "utf8.h"

namespace {

// Room for the longest command line the system takes, in UTF-8, and for one argument per
// character of it.
constexpr int max_command_line = 32768;
char argument_text[flash::utf8_bytes_for(max_command_line) + max_command_line];
const char* arguments[max_command_line];

} // namespace

int wmain(int argc, wchar_t** argv) {
    RestrictDllSearchToSystemFolder();
    std::size_t used = 0;
    int count = 0;
    for (; count < argc && count < max_command_line; ++count) {
        arguments[count] = argument_text + used;
        used += flash::platform::to_utf8(argv[count], -1, argument_text + used,
                                         sizeof argument_text - used) +
                1;
    }
    flash::platform::exit_process(flash::run_programmer(count, arguments));
}
