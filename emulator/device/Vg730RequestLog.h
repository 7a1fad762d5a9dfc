// Portable: the log of every driver request the emulated gateways received, in the order they
// came: which gateway and object, what was asked (flash command and announced version, transfer
// address and length) and what was answered. Tests read it to see the exact requests of a run.
// Freestanding like the device model: the driver holds it and is its only writer.
#pragma once

#include "Vg730Device.h"

#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    VG730_REQUEST_LOG_SIZE = 16384, // the newest requests kept: a whole run with a 200 KiB image
    VG730_REQUEST_PAGE = 64,        // requests read in one control request
};

// One driver request. Fields the request does not carry are 0.
typedef struct Vg730Request {
    uint32_t sequence; // 1 for the first request after a reset or clear
    uint32_t number;   // the gateway
    uint32_t object;   // Vg730Object of the handle it came through
    uint32_t kind;     // Vg730RequestKind; VG730_REQ_KIND_COUNT: a code the gateway does not know
    uint32_t control_code;
    uint32_t size;                // of its buffer
    uint32_t command;             // flash_command: the command word
    uint32_t major, minor, build; // flash_command: the version words
    uint32_t address, length;     // download, upload
    int32_t result;               // Vg730Result of the control call
    int32_t status;               // the status word answered; 0 when the call failed or has none
} Vg730Request;

// A page of the log: the requests from sequence `first` on (from the oldest one kept when that
// one is gone).
typedef struct Vg730RequestsRequest {
    int32_t result;
    uint32_t first; // in
    uint32_t total; // out: requests since the last reset or clear
    uint32_t count; // out: requests in this page
    Vg730Request requests[VG730_REQUEST_PAGE];
} Vg730RequestsRequest;

typedef struct Vg730RequestLog {
    uint32_t next; // the number of the last request logged
    uint32_t cleared_at;
    Vg730Request requests[VG730_REQUEST_LOG_SIZE]; // request n at (n - 1) % VG730_REQUEST_LOG_SIZE
} Vg730RequestLog;

void vg730_request_log_clear(Vg730RequestLog* log);

// What a request to the object of gateway `number` asks, read from its buffer as it arrives
// (before the device writes into it).
void vg730_request_describe(Vg730Request* request, uint32_t number, uint32_t object,
                            uint32_t control_code, const void* buffer, uint32_t size);
// What the request was answered, read from its buffer after the call; then logs it (its
// sequence is set here).
void vg730_request_log_record(Vg730RequestLog* log, Vg730Request* request, Vg730Result result,
                              const void* buffer);
// Fills the page of the requests from page->first on.
void vg730_request_log_read(const Vg730RequestLog* log, Vg730RequestsRequest* page);

// Read by 32-bit and 64-bit programs from the 64-bit driver: the same layout in every build.
static_assert(sizeof(Vg730Request) == 56, "Vg730Request layout");
static_assert(sizeof(Vg730RequestsRequest) == 16 + 56 * VG730_REQUEST_PAGE,
              "Vg730RequestsRequest layout");
