// Windows side: the control requests to the emulator's driver, and the tool's commands on top.
#include "EmulatorControl.h"

#include "CanBus.h"
#include "WinApi.h"

#include <cstring>

namespace vg730emu {

namespace {

std::string system_error_text(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    char number[16];
    std::snprintf(number, sizeof(number), "0x%08lx", static_cast<unsigned long>(code));
    return message.empty() ? std::string("error ") + number : message + " (error " + number + ")";
}

} // namespace

EmulatorControl::EmulatorControl()
    : FDevice(CreateFileW(L"\\\\.\\Vg730EmuControl", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr)) {
    if (!FDevice) {
        throw EmulatorError("the emulator driver is not running (" +
                            system_error_text(GetLastError()) +
                            "); install it with: vg730emu install");
    }
}

template <typename T>
void EmulatorControl::Send(std::uint32_t code, T& request, std::uint32_t number) {
    DWORD returned = 0;
    if (!DeviceIoControl(FDevice.get(), code, &request, sizeof(request), &request, sizeof(request),
                         &returned, nullptr)) {
        throw EmulatorError("control request to the emulator driver failed: " +
                            system_error_text(GetLastError()));
    }
    if (returned != sizeof(request)) {
        throw EmulatorError("the emulator driver answered " + std::to_string(returned) +
                            " bytes instead of " + std::to_string(sizeof(request)) +
                            " (driver and tool of different builds?)");
    }
    if (request.result != VG730_OK) {
        throw EmulatorError(ResultText(request.result, number));
    }
}

void EmulatorControl::Reset() {
    Vg730ControlResult request{};
    Send(VG730_CTL_RESET, request);
}

void EmulatorControl::AddDevice(std::uint32_t number) {
    Vg730Identity identity;
    vg730_identity_default(&identity, number);
    AddDevice(number, identity);
}

void EmulatorControl::AddDevice(std::uint32_t number, const Vg730Identity& identity) {
    Vg730AddRequest request{};
    request.number = number;
    request.identity = identity;
    Send(VG730_CTL_ADD, request, number);
}

void EmulatorControl::RemoveDevice(std::uint32_t number) {
    Vg730DeviceRequest request{};
    request.number = number;
    Send(VG730_CTL_REMOVE, request, number);
}

void EmulatorControl::PlugDevice(std::uint32_t number) {
    Vg730DeviceRequest request{};
    request.number = number;
    Send(VG730_CTL_PLUG, request, number);
}

std::uint32_t EmulatorControl::AddVirtualChannel(const std::string& name) {
    const std::string chosen = name.empty() ? "Quorvel Virtual channel " +
                                                  std::to_string(List().virtualChannels.size() + 1)
                                            : name;
    if (chosen.size() >= VG730_NAME_SIZE) {
        throw EmulatorError("virtual channel name longer than " +
                            std::to_string(VG730_NAME_SIZE - 1) + " characters");
    }
    Vg730VirtualRequest request{};
    std::memcpy(request.name, chosen.data(), chosen.size());
    Send(VG730_CTL_ADD_VIRTUAL, request);
    return request.index;
}

void EmulatorControl::SetFault(std::uint32_t number, const Vg730Fault& fault) {
    Vg730FaultRequest request{};
    request.number = number;
    request.fault = fault;
    Send(VG730_CTL_FAULT, request, number);
}

void EmulatorControl::ClearFaults(std::uint32_t number) {
    Vg730DeviceRequest request{};
    request.number = number;
    Send(VG730_CTL_CLEAR, request, number);
}

Vg730Report EmulatorControl::Report(std::uint32_t number) {
    Vg730ReportRequest request{};
    request.number = number;
    Send(VG730_CTL_REPORT, request, number);
    return request.report;
}

ChannelListing EmulatorControl::List() {
    Vg730ChannelList request{};
    Send(VG730_CTL_LIST, request);
    ChannelListing listing;
    listing.gateways.assign(request.gateways, request.gateways + request.gateway_count);
    for (std::uint32_t i = 0; i < request.virtual_count; ++i) {
        listing.virtualChannels.emplace_back(request.virtual_names[i]);
    }
    return listing;
}

void EmulatorControl::SetEntryStatus(const std::string& entry, std::optional<std::int32_t> status) {
    if (entry.empty() || entry.size() >= VG730_ENTRY_NAME_SIZE) {
        throw EmulatorError("bad CAN library entry name '" + entry + "'");
    }
    Vg730EntryFaultRequest request{};
    std::memcpy(request.fault.entry, entry.data(), entry.size());
    request.fault.status = status.value_or(0);
    request.set = status.has_value();
    Send(VG730_CTL_ENTRY_FAULT, request);
}

std::vector<Vg730EntryFault> EmulatorControl::EntryFaults() {
    Vg730EntryFaultList request{};
    Send(VG730_CTL_ENTRY_FAULTS, request);
    return std::vector<Vg730EntryFault>(request.faults, request.faults + request.count);
}

std::vector<Vg730NotifyTarget> EmulatorControl::NotifyTargets() {
    Vg730NotifyList request{};
    Send(VG730_CTL_NOTIFY_LIST, request);
    return std::vector<Vg730NotifyTarget>(request.targets, request.targets + request.count);
}

std::uint32_t EmulatorControl::Notify(std::uint32_t number, const NotifyEvent& event) {
    Report(number); // an unknown gateway is an error, not a notification that reaches nobody
    std::uint32_t reached = 0;
    for (const Vg730NotifyTarget& target : NotifyTargets()) {
        if (target.number == number && (target.flags & event.flag) &&
            PostMessageW(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(target.window)),
                         CAN_NOTIFY_MESSAGE, static_cast<WPARAM>(target.handle),
                         static_cast<LPARAM>(CanNotifyLParam(event.code, target.handle)))) {
            reached += 1;
        }
    }
    return reached;
}

CanCallLog EmulatorControl::Calls() {
    return ReadCallLog([this](Vg730CallsRequest& page) { Send(VG730_CTL_CALLS, page); });
}

void EmulatorControl::ClearCalls() {
    Vg730ControlResult request{};
    Send(VG730_CTL_CLEAR_CALLS, request);
}

DriverRequestLog EmulatorControl::Requests() {
    return ReadRequestLog([this](Vg730RequestsRequest& page) { Send(VG730_CTL_REQUESTS, page); });
}

void EmulatorControl::ClearRequests() {
    Vg730ControlResult request{};
    Send(VG730_CTL_CLEAR_REQUESTS, request);
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const Command command = ParseCommand(args);
        switch (command.kind) {
        case CommandKind::Help:
            out << Usage;
            return 0;
        case CommandKind::Install:
            Install(command.install);
            return 0;
        case CommandKind::Uninstall:
            Uninstall();
            return 0;
        case CommandKind::Reset:
            ResetEmulator();
            return 0;
        default:
            break;
        }
        EmulatorControl control;
        switch (command.kind) {
        case CommandKind::Add:
            control.AddDevice(command.number, command.identity);
            break;
        case CommandKind::AddVirtual:
            out << "virtual=" << control.AddVirtualChannel(command.virtualName) << "\n";
            break;
        case CommandKind::Remove:
            control.RemoveDevice(command.number);
            break;
        case CommandKind::Plug:
            control.PlugDevice(command.number);
            break;
        case CommandKind::Fault:
            control.SetFault(command.number, command.fault);
            break;
        case CommandKind::Clear:
            control.ClearFaults(command.number);
            break;
        case CommandKind::Show:
            for (const std::string& line : ReportLines(control.Report(command.number))) {
                out << line << "\n";
            }
            break;
        case CommandKind::List: {
            const ChannelListing listing = control.List();
            for (std::uint32_t number : listing.gateways) {
                out << "gateway=" << number << " " << control.Report(number).identity.name << "\n";
            }
            for (const std::string& name : listing.virtualChannels) {
                out << "virtual=" << name << "\n";
            }
            break;
        }
        case CommandKind::EntryFault:
            control.SetEntryStatus(command.entry, command.entryStatus);
            break;
        case CommandKind::Notify:
            out << "windows=" << control.Notify(command.number, command.notifyEvent) << "\n";
            break;
        case CommandKind::Calls:
            if (command.clearLog) {
                control.ClearCalls();
                break;
            }
            for (const std::string& line : CallLogLines(control.Calls())) {
                out << line << "\n";
            }
            break;
        case CommandKind::Requests:
            if (command.clearLog) {
                control.ClearRequests();
                break;
            }
            for (const std::string& line : RequestLogLines(control.Requests())) {
                out << line << "\n";
            }
            break;
        default:
            break;
        }
        return 0;
    } catch (const UsageError& error) {
        err << "vg730emu: " << error.what() << "\n" << Usage;
    } catch (const std::exception& error) {
        err << "vg730emu: " << error.what() << "\n";
    }
    return 1;
}

} // namespace vg730emu
