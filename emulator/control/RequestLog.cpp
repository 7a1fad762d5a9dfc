// Portable: reading and printing the log of the driver requests to the emulated gateways.
#include "RequestLog.h"

#include <cstdio>
#include <memory>

namespace vg730emu {

std::vector<Vg730Request> DriverRequestLog::Of(std::uint32_t number) const {
    std::vector<Vg730Request> found;
    for (const Vg730Request& request : requests) {
        if (request.number == number) {
            found.push_back(request);
        }
    }
    return found;
}

DriverRequestLog ReadRequestLog(const std::function<void(Vg730RequestsRequest&)>& send) {
    DriverRequestLog log;
    std::uint32_t next = 1;
    for (;;) {
        // About 3.6 KiB: on the heap, as the log may be read from a thread with a small stack.
        auto page = std::make_unique<Vg730RequestsRequest>();
        page->first = next;
        send(*page);
        log.total = page->total;
        for (std::uint32_t i = 0; i < page->count && i < VG730_REQUEST_PAGE; ++i) {
            log.requests.push_back(page->requests[i]);
            next = page->requests[i].sequence + 1;
        }
        if (page->count < VG730_REQUEST_PAGE) {
            return log;
        }
    }
}

namespace {

std::string hex(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

} // namespace

std::string RequestText(const Vg730Request& request) {
    std::string text = "#" + std::to_string(request.number) +
                       (request.object == VG730_OBJECT_EXCLUSIVE ? " exclusive " : " info ");
    switch (request.kind) {
    case VG730_REQ_FLASH_COMMAND: {
        const std::string name = vg730_flash_command_name(request.command);
        text += "flash_command " + (name == "?" ? std::to_string(request.command) : name) + " " +
                std::to_string(request.major) + "." + std::to_string(request.minor) + "." +
                std::to_string(request.build);
        break;
    }
    case VG730_REQ_DOWNLOAD:
    case VG730_REQ_UPLOAD:
        text += std::string(vg730_request_kind_name(request.kind)) + " " + hex(request.address) +
                " " + std::to_string(request.length);
        break;
    case VG730_REQ_KIND_COUNT:
        text += "request " + hex(request.control_code);
        break;
    default:
        text += vg730_request_kind_name(request.kind);
        break;
    }
    if (request.result == VG730_OK) {
        return text + " status=" + std::to_string(request.status);
    }
    return text + " failed=" + vg730_result_name(request.result);
}

std::vector<std::string> RequestLogLines(const DriverRequestLog& log) {
    std::vector<std::string> lines = {"requests=" + std::to_string(log.total)};
    for (const Vg730Request& request : log.requests) {
        lines.push_back("request=" + std::to_string(request.sequence) + " " + RequestText(request));
    }
    return lines;
}

} // namespace vg730emu
