// Portable side: the programmer's entry and the procedure run for each device.
#pragma once

namespace flash {

// Runs the whole program on the arguments (argv[0] is the program) and returns its exit code;
// some paths end the process from inside instead (usage, assertion, guard, declined prompt).
int run_programmer(int argc, const char* const* argv);

// Identify, check, open exclusively, choose the image, program: 0 when device n was programmed
// and compared without error, 1 otherwise. Ends the process itself when the EAN assertion, the
// bootstrap guard or a declined prompt ends the run, after ending the devices handled before.
int process_device(int n);

} // namespace flash
