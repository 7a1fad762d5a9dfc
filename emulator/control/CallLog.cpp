// Portable: reading and printing the emulated CAN library's call log.
#include "CallLog.h"

#include "CanLibEntries.h"

#include <algorithm>
#include <cstdio>

namespace vg730emu {

std::uint32_t CanCallLog::Count(std::string_view entry) const {
    const std::uint32_t index = CanLibEntryIndex(entry);
    return index < counts.size() ? counts[index] : 0;
}

std::vector<CanCall> CanCallLog::Of(std::string_view entry) const {
    std::vector<CanCall> found;
    for (const CanCall& call : calls) {
        if (call.entry == entry) {
            found.push_back(call);
        }
    }
    return found;
}

CanCallLog ReadCallLog(const std::function<void(Vg730CallsRequest&)>& send) {
    CanCallLog log;
    std::uint32_t next = 1;
    for (;;) {
        Vg730CallsRequest page{};
        page.first = next;
        send(page);
        // The counts of the last page are the newest: calls may come in while we read.
        log.total = page.total;
        for (std::size_t i = 0; i < log.counts.size(); ++i) {
            log.counts[i] = page.counts[i];
        }
        for (std::uint32_t i = 0; i < page.count && i < VG730_CALL_PAGE; ++i) {
            const Vg730Call& record = page.calls[i];
            CanCall call;
            call.sequence = record.sequence;
            call.entry = record.entry < VG730_CAN_ENTRY_COUNT
                             ? std::string(CanLibEntryNames[record.entry])
                             : "entry" + std::to_string(record.entry);
            call.args.assign(record.args, record.args + std::min<std::uint32_t>(record.arg_count,
                                                                                VG730_CALL_ARGS));
            call.data.assign(record.data, record.data + std::min<std::uint32_t>(record.data_length,
                                                                                VG730_CALL_DATA));
            next = record.sequence + 1;
            log.calls.push_back(std::move(call));
        }
        if (page.count < VG730_CALL_PAGE) {
            return log;
        }
    }
}

std::string CallText(const CanCall& call) {
    std::string text = call.entry;
    for (std::int64_t arg : call.args) {
        text += " " + std::to_string(arg);
    }
    if (!call.data.empty()) {
        text += " data=";
        for (std::size_t i = 0; i < call.data.size(); ++i) {
            char byte[4];
            std::snprintf(byte, sizeof(byte), "%02x", call.data[i]);
            text += (i == 0 ? "" : " ") + std::string(byte);
        }
    }
    return text;
}

std::vector<std::string> CallLogLines(const CanCallLog& log) {
    std::vector<std::string> lines = {"calls=" + std::to_string(log.total)};
    for (std::size_t i = 0; i < log.counts.size(); ++i) {
        lines.push_back("count." + std::string(CanLibEntryNames[i]) + "=" +
                        std::to_string(log.counts[i]));
    }
    for (const CanCall& call : log.calls) {
        lines.push_back("call=" + std::to_string(call.sequence) + " " + CallText(call));
    }
    return lines;
}

} // namespace vg730emu
