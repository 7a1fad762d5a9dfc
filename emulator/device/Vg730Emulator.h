// Portable: every emulated gateway of one machine, the virtual CAN channels and the CAN library
// faults, with the control requests the kernel-mode test driver answers on its control object
// "\\.\Vg730EmuControl". Freestanding like the device model: the driver holds one of these.
#pragma once

#include "Vg730CallLog.h"
#include "Vg730Device.h"

#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    VG730_MAX_DEVICE_NUMBER = 127,
    VG730_MAX_DEVICES = 16, // gateways at once
    VG730_MAX_VIRTUAL_CHANNELS = 8,
    VG730_MAX_ENTRY_FAULTS = 16,
    VG730_ENTRY_NAME_SIZE = 32,
    VG730_MAX_NOTIFY_TARGETS = 32,
};

// Control codes: device type 0x8003, METHOD_BUFFERED, FILE_ANY_ACCESS.
#define VG730_CONTROL_CODE(function) ((0x8003u << 16) | ((function) << 2))
enum : uint32_t {
    VG730_CTL_RESET = VG730_CONTROL_CODE(0x900),        // Vg730ControlResult
    VG730_CTL_ADD = VG730_CONTROL_CODE(0x901),          // Vg730AddRequest
    VG730_CTL_REMOVE = VG730_CONTROL_CODE(0x902),       // Vg730DeviceRequest
    VG730_CTL_FAULT = VG730_CONTROL_CODE(0x903),        // Vg730FaultRequest
    VG730_CTL_CLEAR = VG730_CONTROL_CODE(0x904),        // Vg730DeviceRequest
    VG730_CTL_REPORT = VG730_CONTROL_CODE(0x905),       // Vg730ReportRequest
    VG730_CTL_ADD_VIRTUAL = VG730_CONTROL_CODE(0x906),  // Vg730VirtualRequest
    VG730_CTL_LIST = VG730_CONTROL_CODE(0x907),         // Vg730ChannelList
    VG730_CTL_ENTRY_FAULT = VG730_CONTROL_CODE(0x908),  // Vg730EntryFaultRequest
    VG730_CTL_ENTRY_FAULTS = VG730_CONTROL_CODE(0x909), // Vg730EntryFaultList
    VG730_CTL_CALL = VG730_CONTROL_CODE(0x90A),         // Vg730CallRequest
    VG730_CTL_CALLS = VG730_CONTROL_CODE(0x90B),        // Vg730CallsRequest
    VG730_CTL_CLEAR_CALLS = VG730_CONTROL_CODE(0x90C),  // Vg730ControlResult
    VG730_CTL_NOTIFY_SET = VG730_CONTROL_CODE(0x90D),   // Vg730NotifyRequest
    VG730_CTL_NOTIFY_DROP = VG730_CONTROL_CODE(0x90E),  // Vg730NotifyDropRequest
    VG730_CTL_NOTIFY_LIST = VG730_CONTROL_CODE(0x90F),  // Vg730NotifyList
};

// Every control buffer begins with the result word the driver answers (a Vg730Result or one of
// the results above). The control call itself fails only for unknown codes and wrong sizes.
typedef struct Vg730ControlResult {
    int32_t result;
} Vg730ControlResult;

typedef struct Vg730AddRequest {
    int32_t result;
    uint32_t number;
    Vg730Identity identity;
} Vg730AddRequest;

typedef struct Vg730DeviceRequest {
    int32_t result;
    uint32_t number;
} Vg730DeviceRequest;

typedef struct Vg730FaultRequest {
    int32_t result;
    uint32_t number;
    Vg730Fault fault;
} Vg730FaultRequest;

typedef struct Vg730ReportRequest {
    int32_t result;
    uint32_t number;
    Vg730Report report; // out
} Vg730ReportRequest;

typedef struct Vg730VirtualRequest {
    int32_t result;
    uint32_t index; // out: position among the virtual channels
    char name[VG730_NAME_SIZE];
} Vg730VirtualRequest;

// What the CAN library lists: the gateways present now, by ascending number, then the virtual
// channels in the order they were added.
typedef struct Vg730ChannelList {
    int32_t result;
    uint32_t gateway_count;
    uint32_t gateways[VG730_MAX_DEVICES];
    uint32_t incarnations[VG730_MAX_DEVICES]; // of each: a handle of another one is stale
    uint32_t virtual_count;
    char virtual_names[VG730_MAX_VIRTUAL_CHANNELS][VG730_NAME_SIZE];
} Vg730ChannelList;

// A CAN library entry that answers a chosen status instead of doing its work. set 0 removes it.
typedef struct Vg730EntryFault {
    char entry[VG730_ENTRY_NAME_SIZE];
    int32_t status;
} Vg730EntryFault;

typedef struct Vg730EntryFaultRequest {
    int32_t result;
    uint32_t set;
    Vg730EntryFault fault;
} Vg730EntryFaultRequest;

typedef struct Vg730EntryFaultList {
    int32_t result;
    uint32_t count;
    Vg730EntryFault faults[VG730_MAX_ENTRY_FAULTS];
} Vg730EntryFaultList;

// A call logged through the driver, by a library that cannot reach the shared log.
typedef struct Vg730CallRequest {
    int32_t result;
    uint32_t reserved;
    Vg730Call call;
} Vg730CallRequest;

// A window a CAN library was told to notify for a handle on a gateway's channel. The library
// posts its own notifications itself; these let the control side post one to that window too,
// as if the library had, when it changes the gateway's state from outside.
typedef struct Vg730NotifyTarget {
    uint32_t process; // id of the process the library runs in
    int32_t handle;   // the library's CAN handle, the message's wParam
    uint64_t window;
    uint32_t
        flags; // the notifications asked for: 0x01 receive, 0x02 transmit, 0x04 error, 0x08 status
    uint32_t number; // the gateway
} Vg730NotifyTarget;

// Sets the target of (process, handle), replacing the one it had; no flags or no window: none.
typedef struct Vg730NotifyRequest {
    int32_t result;
    uint32_t reserved;
    Vg730NotifyTarget target;
} Vg730NotifyRequest;

// Drops the target of one handle of the process, or with every_handle those of all its handles.
typedef struct Vg730NotifyDropRequest {
    int32_t result;
    uint32_t process;
    int32_t handle;
    uint32_t every_handle;
} Vg730NotifyDropRequest;

typedef struct Vg730NotifyList {
    int32_t result;
    uint32_t count;
    Vg730NotifyTarget targets[VG730_MAX_NOTIFY_TARGETS];
} Vg730NotifyList;

typedef struct Vg730Slot {
    uint32_t used;
    Vg730Device device;
} Vg730Slot;

typedef struct Vg730Emulator {
    uint32_t adds; // gives each added gateway handles no earlier gateway of its number had
    uint32_t virtual_count;
    char virtual_names[VG730_MAX_VIRTUAL_CHANNELS][VG730_NAME_SIZE];
    uint32_t entry_fault_count;
    Vg730EntryFault entry_faults[VG730_MAX_ENTRY_FAULTS];
    Vg730CallLog* call_log; // own_call_log, or the log the driver shares with the library
    Vg730CallLog own_call_log;
    uint32_t notify_count;
    Vg730NotifyTarget notify_targets[VG730_MAX_NOTIFY_TARGETS];
    Vg730Slot slots[VG730_MAX_DEVICES];
} Vg730Emulator;

// No gateways, faults or calls; the call log is the emulator's own.
void vg730_emulator_init(Vg730Emulator* emulator);
// The call log lives in the memory given (set up with vg730_call_log_init) from now on, also
// after a reset.
void vg730_emulator_share_call_log(Vg730Emulator* emulator, Vg730CallLog* log);

// The gateway with that number, present or not, or null.
Vg730Device* vg730_emulator_find(Vg730Emulator* emulator, uint32_t number);

// One control request: answers in the buffer's result word and returns VG730_OK, or fails the
// call with VG730_FAIL_UNKNOWN_REQUEST / VG730_FAIL_BAD_SIZE.
Vg730Result vg730_emulator_control(Vg730Emulator* emulator, uint32_t now_ms, uint32_t control_code,
                                   void* buffer, uint32_t size, uint32_t* bytes_returned);

// Control buffers cross from 32-bit and 64-bit programs to the 64-bit driver as they are: the
// same layout in every build, with no pointers in them.
static_assert(sizeof(Vg730ChannelList) == 652, "Vg730ChannelList layout");
static_assert(sizeof(Vg730EntryFaultList) == 584, "Vg730EntryFaultList layout");
static_assert(sizeof(Vg730CallRequest) == 88, "Vg730CallRequest layout");
static_assert(sizeof(Vg730NotifyTarget) == 24 && offsetof(Vg730NotifyTarget, window) == 8,
              "Vg730NotifyTarget layout");
static_assert(sizeof(Vg730NotifyRequest) == 32, "Vg730NotifyRequest layout");
static_assert(sizeof(Vg730NotifyDropRequest) == 16, "Vg730NotifyDropRequest layout");
static_assert(sizeof(Vg730NotifyList) == 776, "Vg730NotifyList layout");
