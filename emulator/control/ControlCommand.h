// Portable: the command line of the control tool vg730emu, parsed into what to do, and the
// texts it prints. The Windows side (EmulatorControl, Install) carries the commands out.
#pragma once

#include "Vg730Emulator.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vg730emu {

// A command line that makes no sense; what() is the message for the user.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* DefaultDriverPackageVersion = "2.1.0";

struct InstallOptions {
    // Driver package version written into the registry; nullopt: no driver package at all.
    std::optional<std::string> driverVersion = DefaultDriverPackageVersion;
    bool legacyDll = false; // the tolvakquorvel pair instead of the quorvel pair
    bool gatewayDll = true; // false: only the generic VNCOMM32.dll
    // Entries left out of the export table of every installed library copy.
    std::vector<std::string> missingEntries;
};

// A notification of the CAN library: its event code (the low word of lParam) and the flag a
// handle must have asked for it with.
struct NotifyEvent {
    std::uint32_t code = 0, flag = 0;
};

enum class CommandKind {
    Help,
    Install,
    Uninstall,
    Reset,
    Add,
    AddVirtual,
    Remove,
    Plug,
    Fault,
    Clear,
    Show,
    List,
    EntryFault,
    Calls,
    Requests,
    Notify,
};

struct Command {
    CommandKind kind = CommandKind::Help;
    std::uint32_t number = 0;
    Vg730Identity identity{};                // Add
    std::string virtualName;                 // AddVirtual; empty: a name is chosen
    Vg730Fault fault{};                      // Fault
    InstallOptions install;                  // Install
    std::string entry;                       // EntryFault
    std::optional<std::int32_t> entryStatus; // EntryFault; nullopt: back to normal
    bool clearLog = false;                   // Calls, Requests: clear the log, print nothing
    NotifyEvent notifyEvent;                 // Notify
};

Command ParseCommand(const std::vector<std::string>& args);
// "rx", "tx", "error" or "status"; throws UsageError for other names.
NotifyEvent ParseNotifyEvent(const std::string& name);
extern const char* const Usage;

// Value syntax shared with the tests: EAN as 16 hex digits, firmware "M.mm.bbb", hardware
// "MAJ.MIN". Each throws UsageError naming the option on a bad value.
void ParseEan(const std::string& option, const std::string& text, std::uint32_t& hi,
              std::uint32_t& lo);
Vg730Version ParseFirmware(const std::string& option, const std::string& text);

// "2.05.177": major, minor with at least two digits, build.
std::string FormatFirmware(const Vg730Version& version);
std::string FormatEan(std::uint32_t hi, std::uint32_t lo);
// One "key=value" a line, as "vg730emu show" prints it.
std::vector<std::string> ReportLines(const Vg730Report& report);
// The message for a failed control request ("no gateway 5", ...).
std::string ResultText(std::int32_t result, std::uint32_t number);

} // namespace vg730emu
