// Portable: the emulated VG730 gateway as one value in memory. It answers the driver requests a
// real gateway answers (identity, flash programming) in the order a loader accepts them, keeps
// the sharing rules of its two device objects, goes away for a while when it restarts after
// programming and can lose its power at any request. No heap, no exceptions,
// no standard library: the kernel-mode test driver, the emulated CAN library and native tests
// all run this same code. Time is always passed in, as milliseconds of a wrapping clock.
#pragma once

#include "Vg730Requests.h"

#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    VG730_FLASH_SIZE = 0x100000, // 1 MiB at device addresses 0 .. 0xFFFFF
    VG730_BANK_SIZE = 0x10000,
    VG730_PAGE_SIZE = 256,
    VG730_HEADER_SIZE = 24,
    VG730_NAME_SIZE = 64,
    VG730_DEFAULT_RESTART_MS = 2000,
    VG730_MAX_REQUEST_FAULTS = 8,
    VG730_MAX_CORRUPTIONS = 4, // of the uploads, and as many of the flash itself
};

// Why a control call itself fails (0: it succeeded; the status word then tells the rest).
enum Vg730Result : int32_t {
    VG730_OK = 0,
    VG730_FAIL_ABSENT = 1,          // restarting or unplugged
    VG730_FAIL_UNKNOWN_REQUEST = 2, // control code the device does not know
    VG730_FAIL_BAD_SIZE = 3,        // buffer size other than the request's
    VG730_FAIL_INJECTED = 4,        // a fault told the call to fail
    VG730_FAIL_STALE_HANDLE = 5,    // handle opened before the device restarted
    VG730_FAIL_NOT_EXCLUSIVE = 6,   // programming needs the ".exclusive" object
    VG730_FAIL_SHARING = 7,         // open refused by the sharing rules
    VG730_FAIL_BAD_FAULT = 8,       // fault description not valid
    VG730_FAIL_FULL = 9,            // no room for one more fault
    VG730_FAIL_WRONG_OBJECT = 10,   // a hold is put through an ".info" handle
    // Control requests over the set of gateways (Vg730Emulator.h).
    VG730_FAIL_NO_DEVICE = 20,  // no gateway with that number
    VG730_FAIL_EXISTS = 21,     // the number is taken
    VG730_FAIL_BAD_NUMBER = 22, // not 0..127
    VG730_FAIL_TOO_MANY = 23,   // every slot is taken
    VG730_FAIL_BAD_NAME = 24,   // empty name
    VG730_FAIL_BAD_VALUE = 25,  // a field of the request out of its range
    VG730_FAIL_PLUGGED_IN = 26, // plugging in a gateway that is not unplugged
};

// Kinds of request, counted one by one and named in faults.
enum Vg730RequestKind : uint32_t {
    VG730_REQ_FLASH_COMMAND,
    VG730_REQ_DOWNLOAD,
    VG730_REQ_UPLOAD,
    VG730_REQ_GET_CARD_INFO,
    VG730_REQ_GET_CARD_INFO2,
    VG730_REQ_READ_CARD_PARAMETER,
    VG730_REQ_CHANNEL_INFO,
    VG730_REQ_HOLD,
    VG730_REQ_KIND_COUNT,
};

// Programming state. The loader takes each step only from the one before it: start, erase (then
// erase checks), write mode (then downloads), read mode (then uploads); FLASH_END from any of
// them. Anything out of that order is answered VG730_STATUS_BAD_STATE and changes nothing.
enum Vg730FlashState : uint32_t {
    VG730_STATE_IDLE,
    VG730_STATE_STARTED,
    VG730_STATE_ERASED,
    VG730_STATE_WRITE_MODE,
    VG730_STATE_READ_MODE,
};

enum Vg730Presence : uint32_t {
    VG730_PRESENT,
    VG730_RESTARTING, // absent until its restart time has passed
    VG730_UNPLUGGED,  // absent for good
};

enum Vg730Object : uint32_t {
    VG730_OBJECT_INFO,
    VG730_OBJECT_EXCLUSIVE,
};

typedef struct Vg730Version {
    uint32_t major, minor, build;
} Vg730Version;

typedef struct Vg730Identity {
    int32_t serial;
    uint32_t hardware_major, hardware_minor;
    Vg730Version firmware;
    uint32_t ean_hi, ean_lo; // from get_card_info2
    uint32_t has_param_ean;  // the device keeps an EAN of its own in its parameters
    uint32_t param_ean_hi, param_ean_lo;
    uint32_t no_channel_ean;    // its CAN channel delivers no EAN (channel data item 11)
    char name[VG730_NAME_SIZE]; // CAN channel name, zero-ended
} Vg730Identity;

enum Vg730FaultType : uint32_t {
    VG730_FAULT_FAIL_CALL = 1,      // kind, nth, repeat: those control calls fail
    VG730_FAULT_ANSWER_STATUS = 2,  // kind, nth, repeat, status: answered with status, not done
    VG730_FAULT_UNPLUG = 3,         // kind, nth, value (Vg730UnplugMoment): gone at that request
    VG730_FAULT_CORRUPT = 4,        // address, length, mask: uploads read those bytes XOR mask
    VG730_FAULT_REFUSE_START = 5,   // status: every FLASH_START is refused with it
    VG730_FAULT_LATENCY = 6,        // value: microseconds added to every request
    VG730_FAULT_RESTART_TIME = 7,   // value: milliseconds absent after FLASH_END
    VG730_FAULT_BUS_STATUS = 8,     // value: CAN status bits the channel reports
    VG730_FAULT_ERROR_COUNTERS = 9, // tx_errors, rx_errors, overruns
    VG730_FAULT_TX_LEVEL = 10,      // value: frames waiting in its transmit buffer until a flush
    VG730_FAULT_WRITE = 11,         // address, length, mask: downloads leave those bytes XOR mask
                                    // in the flash, answered 0 all the same
};

// When an unplug fault takes the power away: before its request is carried out, right after it
// (the erase done, the chunk written), or halfway through a download (the first half of its bytes
// written, rounded down). The call itself fails in every case: its answer never comes.
enum Vg730UnplugMoment : uint32_t {
    VG730_UNPLUG_BEFORE = 0,
    VG730_UNPLUG_AFTER = 1,
    VG730_UNPLUG_HALF_WRITTEN = 2, // downloads only
};

typedef struct Vg730Fault {
    uint32_t type;   // Vg730FaultType
    uint32_t kind;   // Vg730RequestKind
    uint32_t nth;    // 1: the next request of that kind
    uint32_t repeat; // requests in a row that fail; 0: every one from the nth on
    int32_t status;
    uint32_t address, length, mask;
    uint32_t value;
    uint32_t tx_errors, rx_errors, overruns;
} Vg730Fault;

// What a handle remembers: which object, which life of the device it was opened in, and
// whether it holds the device (as a CAN library does with each gateway it lists).
typedef struct Vg730Handle {
    uint32_t object; // Vg730Object
    uint32_t incarnation;
    uint32_t holding;
} Vg730Handle;

typedef struct Vg730RequestFaultSlot {
    uint32_t used, type, kind;
    uint32_t first, last; // request numbers of that kind; last 0: no end
    int32_t status;
    uint32_t moment; // Vg730UnplugMoment of an unplug
} Vg730RequestFaultSlot;

typedef struct Vg730CorruptionSlot {
    uint32_t used, address, length, mask;
} Vg730CorruptionSlot;

// Fields are the model's own: read them through vg730_device_report.
typedef struct Vg730Device {
    uint32_t number;
    Vg730Identity identity;
    uint32_t presence, state;
    uint32_t incarnation, restart_at_ms, restart_ms;
    uint32_t info_opens, exclusive_opens, holds;
    uint32_t image_ok;
    // Erased or written since it left the factory: from then on its firmware is whatever image
    // the flash holds, checked whenever it starts (after FLASH_END, when plugged in again).
    uint32_t flash_changed;
    uint32_t written_any, written_low, written_high;
    Vg730Version start_version, end_version;
    uint32_t requests[VG730_REQ_KIND_COUNT];
    Vg730RequestFaultSlot request_faults[VG730_MAX_REQUEST_FAULTS];
    Vg730CorruptionSlot corruptions[VG730_MAX_CORRUPTIONS];
    Vg730CorruptionSlot write_faults[VG730_MAX_CORRUPTIONS];
    int32_t refuse_start_status;
    uint32_t latency_us;
    uint32_t bus_status, tx_errors, rx_errors, overruns;
    uint32_t tx_level;
    uint8_t flash[VG730_FLASH_SIZE]; // last: init clears what lies before it
} Vg730Device;

typedef struct Vg730Report {
    uint32_t number, presence, state;
    Vg730Identity identity; // firmware: what the device runs now
    uint32_t image_ok;
    uint32_t flash_start, flash_length, flash_crc; // bytes written since the last erase
    uint32_t requests[VG730_REQ_KIND_COUNT];
    Vg730Version start_version, end_version; // announced with the last FLASH_START / FLASH_END
    uint32_t info_opens, exclusive_opens, holds;
    int32_t refuse_start_status;
    uint32_t latency_us, restart_ms, request_faults, corruptions;
    uint32_t bus_status, tx_errors, rx_errors, overruns;
    uint32_t tx_level;
    uint32_t write_faults;
} Vg730Report;

// The defaults of a new gateway: serial 1234, hardware 1.0, firmware 2.05.176, EAN
// 0007300099001237, no parameter EAN, name "Quorvel VG730 #<number>".
void vg730_identity_default(Vg730Identity* identity, uint32_t number);

// A gateway just plugged in: flash erased, not programming, no faults, present.
void vg730_device_init(Vg730Device* device, uint32_t number, const Vg730Identity* identity);

// Opening one of the device objects. ".info" opens beside other ".info" handles; ".exclusive"
// only when no other handle of the device is open; while ".exclusive" is open nothing else opens.
Vg730Result vg730_device_open(Vg730Device* device, uint32_t now_ms, Vg730Object object,
                              Vg730Handle* handle);
void vg730_device_close(Vg730Device* device, const Vg730Handle* handle);

// Whether the object's name may be found now: the device present, no ".exclusive" open, and for
// ".exclusive" no ".info" handle holding the device (a CAN library holds each gateway it lists).
// A driver that cannot refuse an open by its answer takes the name away while this is false. A
// plain ".info" handle leaves the ".exclusive" name in place, as the driver may learn of its close
// only after the caller has looked the next name up (Wine passes closes on to the driver
// asynchronously): an ".exclusive" open beside it is refused by vg730_device_open instead.
bool vg730_device_visible(Vg730Device* device, uint32_t now_ms, Vg730Object object);

// One driver request as the driver receives it: control code, one buffer in and out and its
// size. Returns VG730_OK when the control call succeeds (bytes_returned is then the size) or the
// reason it fails. handle is the handle the request came through (a hold request changes it);
// null means direct access (native tests), which skips the handle's checks.
Vg730Result vg730_device_ioctl(Vg730Device* device, Vg730Handle* handle, uint32_t now_ms,
                               uint32_t control_code, void* buffer, uint32_t size,
                               uint32_t* bytes_returned);

// Faults, set while the device runs. Request faults count from the requests already seen.
Vg730Result vg730_device_add_fault(Vg730Device* device, const Vg730Fault* fault);
// Every fault and fault setting back to its default (restart time, latency, bus state too).
void vg730_device_clear_faults(Vg730Device* device);
// Unplugged at once (as a fault does in the middle of a run); the flash keeps what it holds.
void vg730_device_unplug(Vg730Device* device);
// Plugged in again after an unplug: it starts as after FLASH_END, with the firmware the image in
// its flash gives (0.00.0 when that image is broken), idle, every old handle stale. Its name,
// identity and faults stay. VG730_FAIL_PLUGGED_IN when it is not unplugged.
Vg730Result vg730_device_plug(Vg730Device* device);

Vg730Presence vg730_device_presence(Vg730Device* device, uint32_t now_ms);
uint32_t vg730_device_latency_us(const Vg730Device* device);
void vg730_device_report(Vg730Device* device, uint32_t now_ms, Vg730Report* report);

// Names used by the control tool: "flash_command", "download", ... ; "idle", "started", ...;
// "present", "restarting", "unplugged". Unknown values give "?".
const char* vg730_request_kind_name(uint32_t kind);
const char* vg730_state_name(uint32_t state);
const char* vg730_presence_name(uint32_t presence);
// "FLASH_START", ...; "?" for a command the device does not know.
const char* vg730_flash_command_name(uint32_t command);
// Why a control call failed, for logs: "absent", "sharing", ...; "ok" for VG730_OK.
const char* vg730_result_name(int32_t result);
// The kind for a name, or VG730_REQ_KIND_COUNT when there is none.
uint32_t vg730_request_kind_from_name(const char* name);
// The kind of a control code, or VG730_REQ_KIND_COUNT for one the device does not know.
uint32_t vg730_request_kind_of(uint32_t control_code);
