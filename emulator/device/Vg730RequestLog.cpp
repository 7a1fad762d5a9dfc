// Portable: the log of the driver requests the emulated gateways received.
#include "Vg730RequestLog.h"

#include "Vg730Bytes.h"
#include "Vg730Requests.h"

namespace {

// Where the request's status word lies, or -1 when it has none; the size it must come with.
struct StatusWord {
    int32_t offset;
    uint32_t size;
};

StatusWord status_word(uint32_t kind) {
    switch (kind) {
    case VG730_REQ_FLASH_COMMAND:
        return {VG730_FC_STATUS, VG730_FLASH_COMMAND_SIZE};
    case VG730_REQ_DOWNLOAD:
    case VG730_REQ_UPLOAD:
        return {VG730_TR_STATUS, VG730_TRANSFER_SIZE};
    case VG730_REQ_READ_CARD_PARAMETER:
        return {VG730_CP_STATUS, VG730_CARD_PARAMETER_SIZE};
    default:
        return {-1, 0};
    }
}

Vg730Request& slot(Vg730RequestLog* log, uint32_t number) {
    return log->requests[(number - 1) % VG730_REQUEST_LOG_SIZE];
}

const Vg730Request& slot(const Vg730RequestLog* log, uint32_t number) {
    return log->requests[(number - 1) % VG730_REQUEST_LOG_SIZE];
}

} // namespace

void vg730_request_log_clear(Vg730RequestLog* log) {
    log->cleared_at = log->next;
}

void vg730_request_describe(Vg730Request* request, uint32_t number, uint32_t object,
                            uint32_t control_code, const void* buffer, uint32_t size) {
    vg730_fill(request, 0, sizeof(*request));
    request->number = number;
    request->object = object;
    request->kind = vg730_request_kind_of(control_code);
    request->control_code = control_code;
    request->size = size;
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    if (bytes == nullptr) {
        return;
    }
    if (request->kind == VG730_REQ_FLASH_COMMAND && size == VG730_FLASH_COMMAND_SIZE) {
        request->command = vg730_get32(bytes + VG730_FC_COMMAND);
        request->major = vg730_get32(bytes + VG730_FC_MAJOR);
        request->minor = vg730_get32(bytes + VG730_FC_MINOR);
        request->build = vg730_get32(bytes + VG730_FC_BUILD);
    } else if ((request->kind == VG730_REQ_DOWNLOAD || request->kind == VG730_REQ_UPLOAD) &&
               size == VG730_TRANSFER_SIZE) {
        request->address = vg730_get32(bytes + VG730_TR_ADDRESS);
        request->length = vg730_get32(bytes + VG730_TR_LENGTH);
    }
}

void vg730_request_log_record(Vg730RequestLog* log, Vg730Request* request, Vg730Result result,
                              const void* buffer) {
    request->result = result;
    request->status = 0;
    const StatusWord word = status_word(request->kind);
    if (result == VG730_OK && buffer != nullptr && word.offset >= 0 && request->size == word.size) {
        request->status =
            static_cast<int32_t>(vg730_get32(static_cast<const uint8_t*>(buffer) + word.offset));
    }
    // 2^32 requests are out of a test's reach; the numbers wrap as the slots do.
    log->next += 1;
    request->sequence = log->next;
    slot(log, log->next) = *request;
}

void vg730_request_log_read(const Vg730RequestLog* log, Vg730RequestsRequest* page) {
    const uint32_t first = page->first;
    vg730_fill(page, 0, sizeof(*page));
    const uint32_t total = log->next - log->cleared_at;
    page->total = total;
    const uint32_t oldest = total > VG730_REQUEST_LOG_SIZE ? total - VG730_REQUEST_LOG_SIZE + 1 : 1;
    for (uint32_t seen = first < oldest ? oldest : first;
         seen <= total && page->count < VG730_REQUEST_PAGE; ++seen) {
        Vg730Request& copy = page->requests[page->count++];
        copy = slot(log, log->cleared_at + seen);
        copy.sequence = seen;
    }
}
