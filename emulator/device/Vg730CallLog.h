// Portable: the emulated CAN library's call log. The driver keeps it in memory it shares with
// every process that loads the library (a section named "Global\Vg730EmuCallLog"), so that a
// call is logged with a few writes to memory rather than a driver request, and the log outlasts
// the library being freed and loaded again. Any number of processes write at once; readers get
// whole records only. Freestanding like the device model: the driver holds it.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    VG730_CAN_ENTRY_COUNT = 34, // entries of the CAN library
    VG730_CALL_ARGS = 7,        // integer arguments kept of a call: the most any entry takes
    VG730_CALL_DATA = 8,        // data bytes kept of a call
    VG730_CALL_LOG_SIZE = 4096, // the newest calls kept
    VG730_CALL_PAGE = 32,       // calls read in one request
};

// One call of a CAN library entry, as the library logs it on entry: which entry (its place in
// the library's table of entry names), its integer arguments in order and the data bytes it was
// given.
typedef struct Vg730Call {
    uint32_t sequence; // 1 for the first call after a reset or clear
    uint32_t entry;
    uint32_t arg_count;
    uint32_t data_length;
    int64_t args[VG730_CALL_ARGS];
    uint8_t data[VG730_CALL_DATA];
} Vg730Call;

// The counts of every entry and a page of the log: the calls from sequence `first` on (from the
// oldest one kept when that one is gone).
typedef struct Vg730CallsRequest {
    int32_t result;
    uint32_t first;                         // in
    uint32_t total;                         // out: calls since the last reset or clear
    uint32_t count;                         // out: calls in this page
    uint32_t counts[VG730_CAN_ENTRY_COUNT]; // out: calls of each entry since then
    Vg730Call calls[VG730_CALL_PAGE];
} Vg730CallsRequest;

// Calls are numbered for good (`next`); what a reader sees counts from the last clear. A record
// is whole once its stored number is the one it was written under.
typedef struct Vg730CallLog {
    uint32_t size; // sizeof(Vg730CallLog): a library of another build does not write into it
    uint32_t next; // the number of the last call logged
    uint32_t cleared_at;
    uint32_t counts[VG730_CAN_ENTRY_COUNT];
    Vg730Call calls[VG730_CALL_LOG_SIZE]; // call n at (n - 1) % VG730_CALL_LOG_SIZE
} Vg730CallLog;

// An empty log, ready to share.
void vg730_call_log_init(Vg730CallLog* log);
void vg730_call_log_clear(Vg730CallLog* log);
// Logs one call (its sequence is set here); false when a field is out of its range.
bool vg730_call_log_record(Vg730CallLog* log, const Vg730Call* call);
// Fills the counts and the page of the calls from request->first on.
void vg730_call_log_read(const Vg730CallLog* log, Vg730CallsRequest* request);

// The log is shared by 32-bit and 64-bit libraries with the 64-bit driver: the same layout in
// every build, or a library of one architecture would misread another's records.
static_assert(sizeof(Vg730Call) == 80 && offsetof(Vg730Call, args) == 16, "Vg730Call layout");
static_assert(sizeof(Vg730CallsRequest) == 2712, "Vg730CallsRequest layout");
static_assert(sizeof(Vg730CallLog) == 327832 && offsetof(Vg730CallLog, calls) == 152,
              "Vg730CallLog layout");
