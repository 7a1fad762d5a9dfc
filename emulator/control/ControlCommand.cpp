// Portable: parsing the control tool's command line and formatting what it prints.
#include "ControlCommand.h"

#include "CanBus.h"
#include "CanLibEntries.h"

#include <cstdio>
#include <cstring>

namespace vg730emu {

const char* const Usage =
    "usage: vg730emu COMMAND ...\n"
    "  install [--driver-version TEXT | --no-driver-package] [--legacy-dll] [--no-gateway-dll]\n"
    "          [--missing-entry NAME]...\n"
    "                      copy the driver and the CAN library into the system folder (and\n"
    "                      the 32-bit library from x86\\ into syswow64), start the driver,\n"
    "                      write the driver package version (default 2.1.0)\n"
    "  uninstall           stop the driver and remove every installed file\n"
    "  reset               no gateways, faults, virtual channels or logged calls; files and\n"
    "                      version of a default install\n"
    "  add N [--ean HEX16] [--param-ean HEX16] [--no-ean] [--firmware M.mm.bbb]\n"
    "        [--hardware MAJ.MIN] [--serial S] [--name TEXT]\n"
    "                      --no-ean: its CAN channel delivers no EAN (item 11 writes nothing);\n"
    "                      --name: any text of 1 to 63 characters, \" #N\" or not\n"
    "  add-virtual [--name TEXT]\n"
    "  remove N\n"
    "  plug N              plug an unplugged gateway in again: it starts with the firmware its\n"
    "                      flash holds (0.00.0 when that image is broken), as after FLASH_END\n"
    "  fault N fail REQUEST [--nth K] [--repeat R]     the control call fails\n"
    "  fault N status REQUEST STATUS [--nth K] [--repeat R]\n"
    "                                                  answered with STATUS, not carried out\n"
    "  fault N refuse-start STATUS                     every FLASH_START refused (0: accepted)\n"
    "  fault N corrupt ADDRESS [--length L] [--mask M] uploads read those bytes XOR M\n"
    "  fault N write-fault ADDRESS [--length L] [--mask M]\n"
    "                                                  downloads leave those bytes XOR M in the\n"
    "                                                  flash, answered 0 all the same\n"
    "  fault N unplug [--at REQUEST [--nth K] [--after | --half]]\n"
    "                      gone now, or at that request: before it is carried out, after it\n"
    "                      (--after), or with the first half of a download's bytes written "
    "(--half)\n"
    "  fault N latency MICROSECONDS                    added to every request\n"
    "  fault N restart-ms MILLISECONDS                 absence after FLASH_END (default 2000)\n"
    "  fault N bus-status BITS                         CAN status bits of its channel\n"
    "  fault N error-counters TX RX OVERRUNS\n"
    "  fault N tx-level FRAMES                         frames canIoCtl 9 reports waiting in the\n"
    "                                                  gateway until canIoCtl 11 flushes them\n"
    "  clear N             every fault of gateway N back to normal\n"
    "  show N              the state of gateway N, one key=value a line\n"
    "  list                the channels the CAN library lists\n"
    "  entry-fault NAME STATUS|normal   a CAN library entry answers STATUS\n"
    "  notify N rx|tx|error|status   post that notification (message 17378) to every window\n"
    "                      a CAN library was given for a handle on gateway N that asked for\n"
    "                      it, as the library would; prints windows=COUNT\n"
    "  calls [--clear]     the CAN library's calls since the last reset or clear: calls=N,\n"
    "                      count.ENTRY=N for every entry, then call=SEQ ENTRY ARGS [data=..]\n"
    "                      for each of the newest 4096 calls; --clear empties the log\n"
    "  requests [--clear]  every driver request to a gateway's objects since the last reset or\n"
    "                      clear: requests=N, then request=SEQ #GATEWAY OBJECT REQUEST [what it\n"
    "                      carries] status=S|failed=WHY for each of the newest 16384\n"
    "REQUEST: flash_command download upload get_card_info get_card_info2 read_card_parameter\n"
    "         channel_info hold. Numbers are decimal or hexadecimal with 0x; --repeat 0: for "
    "good.\n";

namespace {

// Walks the arguments after the command word.
class Arguments {
public:
    Arguments(const std::vector<std::string>& args, std::size_t first)
        : FArgs(args), FNext(first) {}

    bool done() const { return FNext >= FArgs.size(); }
    const std::string& peek() const { return FArgs[FNext]; }
    const std::string& next(const std::string& what) {
        if (done()) {
            throw UsageError("missing " + what);
        }
        return FArgs[FNext++];
    }
    // The value of the option just read.
    const std::string& value(const std::string& option) { return next("value of " + option); }
    void expectEnd() const {
        if (!done()) {
            throw UsageError("unexpected argument '" + FArgs[FNext] + "'");
        }
    }

private:
    const std::vector<std::string>& FArgs;
    std::size_t FNext;
};

// base 0 takes 0x for hexadecimal (and a leading 0 for octal), as C does.
unsigned long long parse_unsigned(const std::string& what, const std::string& text,
                                  unsigned long long max, int base = 0) {
    unsigned long long value = 0;
    std::size_t used = 0;
    try {
        value = std::stoull(text, &used, base);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ' || used != text.size() ||
        value > max) {
        throw UsageError("bad value for " + what + ": '" + text + "'");
    }
    return value;
}

std::uint32_t parse_u32(const std::string& what, const std::string& text) {
    return static_cast<std::uint32_t>(parse_unsigned(what, text, 0xFFFFFFFFull));
}

std::int32_t parse_i32(const std::string& what, const std::string& text) {
    long long value = 0;
    std::size_t used = 0;
    try {
        value = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || text[0] == ' ' || text[0] == '+' || used != text.size() ||
        value < INT32_MIN || value > INT32_MAX) {
        throw UsageError("bad value for " + what + ": '" + text + "'");
    }
    return static_cast<std::int32_t>(value);
}

std::uint32_t parse_device_number(const std::string& text) {
    return static_cast<std::uint32_t>(
        parse_unsigned("device number (0..127)", text, VG730_MAX_DEVICE_NUMBER));
}

std::uint32_t parse_request_kind(const std::string& text) {
    const std::uint32_t kind = vg730_request_kind_from_name(text.c_str());
    if (kind == VG730_REQ_KIND_COUNT) {
        throw UsageError("unknown request '" + text + "'");
    }
    return kind;
}

std::vector<std::uint32_t> parse_dotted(const std::string& option, const std::string& text,
                                        std::size_t parts, unsigned long long max) {
    std::vector<std::uint32_t> values;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? dot : dot - start);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) {
            throw UsageError("bad value for " + option + ": '" + text + "'");
        }
        // Decimal: a version's parts have leading zeros ("1.08.000"), which are no octal.
        values.push_back(static_cast<std::uint32_t>(parse_unsigned(option, part, max, 10)));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    if (values.size() != parts) {
        throw UsageError("bad value for " + option + ": '" + text + "'");
    }
    return values;
}

void parse_name(const std::string& option, const std::string& text, char* target) {
    if (text.empty() || text.size() >= VG730_NAME_SIZE) {
        throw UsageError("bad value for " + option + ": a name of 1 to " +
                         std::to_string(VG730_NAME_SIZE - 1) + " characters");
    }
    std::memset(target, 0, VG730_NAME_SIZE);
    std::memcpy(target, text.data(), text.size());
}

Command parse_add(Arguments& args) {
    Command command;
    command.kind = CommandKind::Add;
    command.number = parse_device_number(args.next("device number"));
    vg730_identity_default(&command.identity, command.number);
    Vg730Identity& id = command.identity;
    while (!args.done()) {
        const std::string option = args.next("option");
        if (option == "--ean") {
            ParseEan(option, args.value(option), id.ean_hi, id.ean_lo);
        } else if (option == "--param-ean") {
            ParseEan(option, args.value(option), id.param_ean_hi, id.param_ean_lo);
            id.has_param_ean = 1;
        } else if (option == "--no-ean") {
            id.no_channel_ean = 1;
        } else if (option == "--firmware") {
            id.firmware = ParseFirmware(option, args.value(option));
        } else if (option == "--hardware") {
            const auto parts = parse_dotted(option, args.value(option), 2, 255);
            id.hardware_major = parts[0];
            id.hardware_minor = parts[1];
        } else if (option == "--serial") {
            id.serial = parse_i32(option, args.value(option));
        } else if (option == "--name") {
            parse_name(option, args.value(option), id.name);
        } else {
            throw UsageError("unknown option '" + option + "' of add");
        }
    }
    return command;
}

void parse_nth_repeat(Arguments& args, Vg730Fault& fault) {
    fault.nth = 1;
    fault.repeat = 1;
    while (!args.done()) {
        const std::string option = args.next("option");
        if (option == "--nth") {
            fault.nth = parse_u32(option, args.value(option));
            if (fault.nth == 0) {
                throw UsageError("bad value for --nth: requests count from 1");
            }
        } else if (option == "--repeat") {
            fault.repeat = parse_u32(option, args.value(option));
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
    }
}

Command parse_fault(Arguments& args) {
    Command command;
    command.kind = CommandKind::Fault;
    command.number = parse_device_number(args.next("device number"));
    Vg730Fault& fault = command.fault;
    const std::string kind = args.next("fault kind");
    if (kind == "fail") {
        fault.type = VG730_FAULT_FAIL_CALL;
        fault.kind = parse_request_kind(args.next("request"));
        parse_nth_repeat(args, fault);
    } else if (kind == "status") {
        fault.type = VG730_FAULT_ANSWER_STATUS;
        fault.kind = parse_request_kind(args.next("request"));
        fault.status = parse_i32("status", args.next("status"));
        if (fault.status == 0) {
            throw UsageError("bad value for status: 0 is no fault");
        }
        parse_nth_repeat(args, fault);
    } else if (kind == "refuse-start") {
        fault.type = VG730_FAULT_REFUSE_START;
        fault.status = parse_i32("status", args.next("status"));
    } else if (kind == "corrupt" || kind == "write-fault") {
        fault.type = kind == "corrupt" ? VG730_FAULT_CORRUPT : VG730_FAULT_WRITE;
        fault.address = parse_u32("address", args.next("address"));
        fault.length = 1;
        fault.mask = 0xFF;
        while (!args.done()) {
            const std::string option = args.next("option");
            if (option == "--length") {
                fault.length = parse_u32(option, args.value(option));
            } else if (option == "--mask") {
                fault.mask =
                    static_cast<std::uint32_t>(parse_unsigned(option, args.value(option), 0xFF));
            } else {
                throw UsageError("unknown option '" + option + "' of " + kind);
            }
        }
        if (fault.length == 0 || fault.mask == 0) {
            throw UsageError(kind + " needs a length and a mask above 0");
        }
    } else if (kind == "unplug") {
        fault.type = VG730_FAULT_UNPLUG;
        fault.nth = 0; // now
        bool at = false;
        while (!args.done()) {
            const std::string option = args.next("option");
            if (option == "--at") {
                fault.kind = parse_request_kind(args.value(option));
                at = true;
                fault.nth = fault.nth == 0 ? 1 : fault.nth;
            } else if (option == "--nth") {
                fault.nth = parse_u32(option, args.value(option));
                if (fault.nth == 0) {
                    throw UsageError("bad value for --nth: requests count from 1");
                }
            } else if (option == "--after" || option == "--half") {
                if (fault.value != VG730_UNPLUG_BEFORE) {
                    throw UsageError("--after and --half exclude each other");
                }
                fault.value = option == "--after" ? VG730_UNPLUG_AFTER : VG730_UNPLUG_HALF_WRITTEN;
            } else {
                throw UsageError("unknown option '" + option + "' of unplug");
            }
        }
        if (!at && (fault.nth != 0 || fault.value != VG730_UNPLUG_BEFORE)) {
            throw UsageError("--nth, --after and --half of unplug need --at REQUEST");
        }
        if (fault.value == VG730_UNPLUG_HALF_WRITTEN && fault.kind != VG730_REQ_DOWNLOAD) {
            throw UsageError("--half needs --at download");
        }
    } else if (kind == "latency") {
        fault.type = VG730_FAULT_LATENCY;
        fault.value = parse_u32("latency", args.next("microseconds"));
    } else if (kind == "restart-ms") {
        fault.type = VG730_FAULT_RESTART_TIME;
        fault.value = static_cast<std::uint32_t>(
            parse_unsigned("restart time", args.next("milliseconds"), 0x3FFFFFFF));
    } else if (kind == "bus-status") {
        fault.type = VG730_FAULT_BUS_STATUS;
        fault.value = parse_u32("status bits", args.next("status bits"));
    } else if (kind == "tx-level") {
        fault.type = VG730_FAULT_TX_LEVEL;
        fault.value = parse_u32("transmit level", args.next("frames"));
    } else if (kind == "error-counters") {
        fault.type = VG730_FAULT_ERROR_COUNTERS;
        fault.tx_errors = parse_u32("transmit errors", args.next("transmit errors"));
        fault.rx_errors = parse_u32("receive errors", args.next("receive errors"));
        fault.overruns = parse_u32("overruns", args.next("overruns"));
    } else {
        throw UsageError("unknown fault kind '" + kind + "'");
    }
    args.expectEnd();
    return command;
}

Command parse_install(Arguments& args) {
    Command command;
    command.kind = CommandKind::Install;
    InstallOptions& options = command.install;
    bool versionGiven = false;
    bool noPackage = false;
    while (!args.done()) {
        const std::string option = args.next("option");
        if (option == "--driver-version") {
            const std::string version = args.value(option);
            if (version.empty()) {
                throw UsageError("bad value for --driver-version: empty");
            }
            options.driverVersion = version;
            versionGiven = true;
        } else if (option == "--no-driver-package") {
            options.driverVersion.reset();
            noPackage = true;
        } else if (option == "--legacy-dll") {
            options.legacyDll = true;
        } else if (option == "--no-gateway-dll") {
            options.gatewayDll = false;
        } else if (option == "--missing-entry") {
            const std::string name = args.value(option);
            if (!IsCanLibEntry(name)) {
                throw UsageError("no CAN library entry '" + name + "'");
            }
            options.missingEntries.push_back(name);
        } else {
            throw UsageError("unknown option '" + option + "' of install");
        }
    }
    if (versionGiven && noPackage) {
        throw UsageError("--driver-version and --no-driver-package exclude each other");
    }
    if (options.legacyDll && !options.gatewayDll) {
        throw UsageError("--legacy-dll and --no-gateway-dll exclude each other");
    }
    return command;
}

} // namespace

void ParseEan(const std::string& option, const std::string& text, std::uint32_t& hi,
              std::uint32_t& lo) {
    if (text.size() != 16 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        throw UsageError("bad value for " + option + ": '" + text + "' (16 hex digits)");
    }
    hi = static_cast<std::uint32_t>(std::stoul(text.substr(0, 8), nullptr, 16));
    lo = static_cast<std::uint32_t>(std::stoul(text.substr(8), nullptr, 16));
}

Vg730Version ParseFirmware(const std::string& option, const std::string& text) {
    const auto parts = parse_dotted(option, text, 3, 0xFFFF);
    return Vg730Version{parts[0], parts[1], parts[2]};
}

NotifyEvent ParseNotifyEvent(const std::string& name) {
    if (name == "rx") {
        return {CAN_EVENT_RX, CAN_NOTIFY_RX};
    } else if (name == "tx") {
        return {CAN_EVENT_TX, CAN_NOTIFY_TX};
    } else if (name == "error") {
        return {CAN_EVENT_ERROR, CAN_NOTIFY_ERROR};
    } else if (name == "status") {
        return {CAN_EVENT_STATUS, CAN_NOTIFY_STATUS};
    }
    throw UsageError("unknown event '" + name + "' (rx, tx, error or status)");
}

Command ParseCommand(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        return Command{};
    }
    Arguments rest(args, 1);
    const std::string& word = args[0];
    Command command;
    if (word == "install") {
        return parse_install(rest);
    } else if (word == "uninstall") {
        command.kind = CommandKind::Uninstall;
    } else if (word == "reset") {
        command.kind = CommandKind::Reset;
    } else if (word == "add") {
        return parse_add(rest);
    } else if (word == "add-virtual") {
        command.kind = CommandKind::AddVirtual;
        while (!rest.done()) {
            const std::string option = rest.next("option");
            if (option != "--name") {
                throw UsageError("unknown option '" + option + "' of add-virtual");
            }
            char name[VG730_NAME_SIZE];
            parse_name(option, rest.value(option), name);
            command.virtualName = name;
        }
    } else if (word == "remove" || word == "plug" || word == "clear" || word == "show") {
        command.kind = word == "remove"  ? CommandKind::Remove
                       : word == "plug"  ? CommandKind::Plug
                       : word == "clear" ? CommandKind::Clear
                                         : CommandKind::Show;
        command.number = parse_device_number(rest.next("device number"));
    } else if (word == "fault") {
        return parse_fault(rest);
    } else if (word == "list") {
        command.kind = CommandKind::List;
    } else if (word == "notify") {
        command.kind = CommandKind::Notify;
        command.number = parse_device_number(rest.next("device number"));
        command.notifyEvent = ParseNotifyEvent(rest.next("event"));
    } else if (word == "calls" || word == "requests") {
        command.kind = word == "calls" ? CommandKind::Calls : CommandKind::Requests;
        if (!rest.done() && rest.peek() == "--clear") {
            rest.next("option");
            command.clearLog = true;
        }
    } else if (word == "entry-fault") {
        command.kind = CommandKind::EntryFault;
        command.entry = rest.next("entry name");
        if (!IsCanLibEntry(command.entry)) {
            throw UsageError("no CAN library entry '" + command.entry + "'");
        }
        const std::string status = rest.next("status");
        if (status != "normal") {
            command.entryStatus = parse_i32("status", status);
        }
    } else {
        throw UsageError("unknown command '" + word + "'");
    }
    rest.expectEnd();
    return command;
}

std::string FormatFirmware(const Vg730Version& version) {
    char text[40];
    std::snprintf(text, sizeof(text), "%u.%02u.%u", version.major, version.minor, version.build);
    return text;
}

std::string FormatEan(std::uint32_t hi, std::uint32_t lo) {
    char text[20];
    std::snprintf(text, sizeof(text), "%08x%08x", hi, lo);
    return text;
}

std::vector<std::string> ReportLines(const Vg730Report& report) {
    const Vg730Identity& id = report.identity;
    auto hex = [](std::uint32_t value, int digits) {
        char text[16];
        std::snprintf(text, sizeof(text), "0x%0*x", digits, value);
        return std::string(text);
    };
    auto version = [](const Vg730Version& v) {
        return std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
               std::to_string(v.build);
    };
    const char* state = report.presence == VG730_PRESENT ? vg730_state_name(report.state)
                                                         : vg730_presence_name(report.presence);
    std::vector<std::string> lines = {
        "device=" + std::to_string(report.number),
        "name=" + std::string(id.name),
        "presence=" + std::string(vg730_presence_name(report.presence)),
        "state=" + std::string(state),
        "firmware=" + FormatFirmware(id.firmware),
        "hardware=" + std::to_string(id.hardware_major) + "." + std::to_string(id.hardware_minor),
        "serial=" + std::to_string(id.serial),
        "ean=" + FormatEan(id.ean_hi, id.ean_lo),
        "param_ean=" +
            (id.has_param_ean ? FormatEan(id.param_ean_hi, id.param_ean_lo) : std::string("none")),
        "channel_ean=" + (id.no_channel_ean  ? std::string("none")
                          : id.has_param_ean ? FormatEan(id.param_ean_hi, id.param_ean_lo)
                                             : FormatEan(id.ean_hi, id.ean_lo)),
        "image_ok=" + std::to_string(report.image_ok),
        "flash_start=" + hex(report.flash_start, 8),
        "flash_length=" + std::to_string(report.flash_length),
        "flash_crc=" + hex(report.flash_crc, 4),
    };
    for (std::uint32_t kind = 0; kind < VG730_REQ_KIND_COUNT; ++kind) {
        lines.push_back("requests." + std::string(vg730_request_kind_name(kind)) + "=" +
                        std::to_string(report.requests[kind]));
    }
    lines.insert(lines.end(), {
                                  "start_version=" + version(report.start_version),
                                  "end_version=" + version(report.end_version),
                                  "info_opens=" + std::to_string(report.info_opens),
                                  "exclusive_opens=" + std::to_string(report.exclusive_opens),
                                  "holds=" + std::to_string(report.holds),
                                  "refuse_start=" + std::to_string(report.refuse_start_status),
                                  "latency_us=" + std::to_string(report.latency_us),
                                  "restart_ms=" + std::to_string(report.restart_ms),
                                  "request_faults=" + std::to_string(report.request_faults),
                                  "corruptions=" + std::to_string(report.corruptions),
                                  "write_faults=" + std::to_string(report.write_faults),
                                  "bus_status=" + hex(report.bus_status, 8),
                                  "tx_errors=" + std::to_string(report.tx_errors),
                                  "rx_errors=" + std::to_string(report.rx_errors),
                                  "overruns=" + std::to_string(report.overruns),
                                  "tx_level=" + std::to_string(report.tx_level),
                              });
    return lines;
}

std::string ResultText(std::int32_t result, std::uint32_t number) {
    const std::string device = "gateway " + std::to_string(number);
    switch (result) {
    case VG730_OK:
        return "done";
    case VG730_FAIL_NO_DEVICE:
        return "no " + device;
    case VG730_FAIL_EXISTS:
        return device + " exists already";
    case VG730_FAIL_BAD_NUMBER:
        return "device number " + std::to_string(number) + " is not in 0..127";
    case VG730_FAIL_TOO_MANY:
        return "no room for more (at most " + std::to_string(VG730_MAX_DEVICES) + " gateways and " +
               std::to_string(VG730_MAX_VIRTUAL_CHANNELS) + " virtual channels)";
    case VG730_FAIL_BAD_NAME:
        return "empty name";
    case VG730_FAIL_BAD_VALUE:
        return "a value of the request is out of its range";
    case VG730_FAIL_BAD_FAULT:
        return "this fault cannot be set (a request without a status word, or a bad value)";
    case VG730_FAIL_FULL:
        return "too many faults on " + device + " (clear it first)";
    case VG730_FAIL_PLUGGED_IN:
        return device + " is plugged in (unplug it first: fault " + std::to_string(number) +
               " unplug)";
    default:
        return "the driver answered " + std::to_string(result);
    }
}

} // namespace vg730emu
