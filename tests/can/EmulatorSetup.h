// Windows side: test steps that set the emulated gateway up with its control tool and fail the
// test when the tool does not succeed.
#pragma once

#include "EmulatorTool.h"

#include <gtest/gtest.h>

namespace emulator_tool {

// Runs a command that must succeed.
inline void Must(const std::wstring& arguments) {
    const Result r = Run(arguments);
    ASSERT_EQ(r.ExitCode, 0u) << "vg730emu " << WideToUtf8(arguments) << ": " << r.Failure << "\n"
                              << r.Output;
}

// The known state a test starts from: no gateways, faults or virtual channels, the files and
// driver package version of a default install. Installs the emulator first when its driver is
// not running in this Wine session.
inline void StartFromKnownState() {
    if (Run(L"reset").ExitCode == 0) {
        return;
    }
    Must(L"install");
    Must(L"reset");
}

} // namespace emulator_tool
