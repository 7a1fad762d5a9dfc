// Portable: the call log shared by the driver and the processes that load the CAN library.
#include "Vg730CallLog.h"

#include "Vg730Bytes.h"

namespace {

uint32_t load(const uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

void store(uint32_t* word, uint32_t value) {
    __atomic_store_n(word, value, __ATOMIC_RELEASE);
}

Vg730Call& slot(Vg730CallLog* log, uint32_t number) {
    return log->calls[(number - 1) % VG730_CALL_LOG_SIZE];
}

const Vg730Call& slot(const Vg730CallLog* log, uint32_t number) {
    return log->calls[(number - 1) % VG730_CALL_LOG_SIZE];
}

} // namespace

void vg730_call_log_init(Vg730CallLog* log) {
    vg730_fill(log, 0, sizeof(*log));
    log->size = sizeof(*log);
}

void vg730_call_log_clear(Vg730CallLog* log) {
    for (uint32_t& count : log->counts) {
        store(&count, 0);
    }
    store(&log->cleared_at, load(&log->next));
}

bool vg730_call_log_record(Vg730CallLog* log, const Vg730Call* call) {
    if (call->entry >= VG730_CAN_ENTRY_COUNT || call->arg_count > VG730_CALL_ARGS ||
        call->data_length > VG730_CALL_DATA) {
        return false;
    }
    __atomic_add_fetch(&log->counts[call->entry], 1, __ATOMIC_ACQ_REL);
    // 2^32 calls are out of a test's reach; the numbers wrap as the slots do.
    const uint32_t number = __atomic_add_fetch(&log->next, 1, __ATOMIC_ACQ_REL);
    Vg730Call& target = slot(log, number);
    store(&target.sequence, 0); // not whole while it is written
    target.entry = call->entry;
    target.arg_count = call->arg_count;
    target.data_length = call->data_length;
    vg730_copy(target.args, call->args, sizeof(target.args));
    vg730_copy(target.data, call->data, sizeof(target.data));
    store(&target.sequence, number);
    return true;
}

void vg730_call_log_read(const Vg730CallLog* log, Vg730CallsRequest* request) {
    const uint32_t first = request->first;
    vg730_fill(request, 0, sizeof(*request));
    const uint32_t cleared = load(&log->cleared_at);
    const uint32_t next = load(&log->next);
    for (uint32_t i = 0; i < VG730_CAN_ENTRY_COUNT; ++i) {
        request->counts[i] = load(&log->counts[i]);
    }
    const uint32_t total = next - cleared;
    request->total = total;
    const uint32_t oldest = total > VG730_CALL_LOG_SIZE ? total - VG730_CALL_LOG_SIZE + 1 : 1;
    for (uint32_t seen = first < oldest ? oldest : first;
         seen <= total && request->count < VG730_CALL_PAGE; ++seen) {
        const uint32_t number = cleared + seen;
        const Vg730Call& source = slot(log, number);
        if (load(&source.sequence) != number) {
            continue; // still being written, or already written over
        }
        Vg730Call& copy = request->calls[request->count];
        vg730_copy(&copy, &source, sizeof(copy));
        if (load(&source.sequence) != number) {
            continue; // written over while it was copied
        }
        copy.sequence = seen;
        request->count += 1;
    }
}
