// Portable side: the programmer's entry: the program flow over the devices and its exit code.
#pragma once

namespace flash {

// Runs the whole program on the arguments (argv[0] is the program) and returns its exit code,
// with which the entry ends the process: every way a run can end comes back here.
int run_programmer(int argc, const char* const* argv);

} // namespace flash
