// Windows side: the control tool of the emulated gateways (see Usage in ControlCommand.cpp).
#include "EmulatorControl.h"

#include <iostream>

int main(int argc, char** argv) {
    return vg730emu::RunCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                std::cerr);
}
