// Windows side: what the control tool vg730emu does, for test programs to do in-process: talk to
// the emulator's driver (gateways, faults, virtual channels, CAN library faults) and install the
// emulator into the running Wine prefix.
#pragma once

#include "CallLog.h"
#include "ControlCommand.h"
#include "RequestLog.h"
#include "Vg730Emulator.h"
#include "WinHandles.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vg730emu {

// A control request that failed; what() says what and why.
class EmulatorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ChannelListing {
    std::vector<std::uint32_t> gateways; // present now, ascending
    std::vector<std::string> virtualChannels;
};

// An open connection to the driver's control object "\\.\Vg730EmuControl".
class EmulatorControl {
public:
    // Throws EmulatorError when the driver is not running.
    EmulatorControl();

    // No gateways, faults, virtual channels, CAN library faults, logged calls or notify targets
    // (driver state only; see ResetEmulator for the whole known state).
    void Reset();
    void AddDevice(std::uint32_t number); // the defaults of "vg730emu add N"
    void AddDevice(std::uint32_t number, const Vg730Identity& identity);
    void RemoveDevice(std::uint32_t number);
    // An unplugged gateway plugged in again with its flash as it was (see vg730_device_plug).
    void PlugDevice(std::uint32_t number);
    // Returns the channel's place among the virtual channels; an empty name picks one.
    std::uint32_t AddVirtualChannel(const std::string& name = {});
    void SetFault(std::uint32_t number, const Vg730Fault& fault);
    void ClearFaults(std::uint32_t number);
    Vg730Report Report(std::uint32_t number);
    ChannelListing List();
    // A CAN library entry answers status from the next initialisation of the library on;
    // nullopt: back to normal.
    void SetEntryStatus(const std::string& entry, std::optional<std::int32_t> status);
    std::vector<Vg730EntryFault> EntryFaults();
    // Posts the notification to every window a CAN library was given for a handle on the
    // gateway that asked for that event, as the library would; returns how many it reached.
    std::uint32_t Notify(std::uint32_t number, const NotifyEvent& event);
    std::vector<Vg730NotifyTarget> NotifyTargets();
    // The CAN library's calls since the last reset or clear, from every process that loaded it.
    CanCallLog Calls();
    void ClearCalls();
    // Every driver request to the gateways' objects since the last reset or clear.
    DriverRequestLog Requests();
    void ClearRequests();

private:
    template <typename T> void Send(std::uint32_t code, T& request, std::uint32_t number = 0);
    UniqueFileHandle FDevice;
};

// The known state every test may start from: the driver's state reset, the library files of a
// default install in place, driver package version 2.1.0. Needs the driver running.
void ResetEmulator();

// Copies the driver and the library files (from the folder of the running program) into the
// prefix's system folder, registers and starts the driver, writes the package version. Running
// it again with the same options changes nothing.
void Install(const InstallOptions& options);
// Stops and deletes the driver service and removes every file Install put in place.
void Uninstall();
// Writes the driver package version into both registry views; nullopt removes the package key.
void SetDriverPackageVersion(const std::optional<std::string>& version);

// Carries out one vg730emu command line; prints to out and err as the tool does and returns
// its exit code (0 done, 1 failed).
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace vg730emu
