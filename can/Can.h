// The binding of the vendor CAN library: the file name to load, the two process-wide switches of
// the CAN layer, and (Windows) loading the library, resolving its 34 entry points by name and
// releasing it again. Portable declarations first; the Windows-only ones are at the end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Handles and statuses of the library: signed 32-bit; 0 is success, negative a failure.
using TCanHandle = int32_t;
using TCanStatus = int32_t;

// What a call answers when it cannot reach the library because the binding is not usable.
constexpr TCanStatus canStatusBindingNotUsable = -1000;

// The library file to load next: a bare file name (searched for by the platform's rules) or a
// full path. A library already loaded is not affected.
void SetCanDllName(const std::wstring& Name);
const std::wstring& CanDllName();
inline constexpr wchar_t DefaultCanDllName[] = L"VNCOMM32.DLL";

// True while the gateway back-end is in use: set by the back-end creators, read by the channel
// for its naming and its transmit-buffer flushing.
bool GatewayMode();
void SetGatewayMode(bool Value);
// Set by the back-end's ForceBootMode; read by the channel's transmit-buffer flush.
bool BootModeForced();
void SetBootModeForced(bool Value);

// Start-up state of this module: the default library name, both switches off.
void InitializeCanUnit();

// The entry points in the order they are resolved. Every one is required.
inline constexpr std::array<const char*, 34> CanEntryNames = {
    "canLocateHardware",
    "canInitializeLibrary",
    "canOpen",
    "canClose",
    "canBusOn",
    "canBusOff",
    "canSetBusParams",
    "canGetBusParams",
    "canSetBusOutputControl",
    "canGetBusOutputControl",
    "canAccept",
    "canReadStatus",
    "canReadErrorCounters",
    "canWrite",
    "canWriteSync",
    "canRead",
    "canReadWait",
    "canReadSpecific",
    "canReadSync",
    "canReadSyncSpecific",
    "canReadSpecificSkip",
    "canSetNotify",
    "canTranslateBaud",
    "canGetErrorText",
    "canGetVersion",
    "canIoCtl",
    "canReadTimer",
    "canGetNumberOfChannels",
    "canGetChannelData",
    "canOpenChannel",
    "canWaitForEvent",
    "canSetBusParamsC200",
    "canGetVersionEx",
    "canUnloadLibrary",
};

// The messages of a failed load and of a missing entry point.
std::wstring CanLoadFailedMessage(const std::wstring& Name, uint32_t PlatformError);
std::wstring CanEntryMissingMessage(const char* EntryName);

#ifdef _WIN32
#include "WinApi.h"

// Every entry point: its name (the member's name), its result and its parameters. Counts,
// lengths, flags, times and time-outs are unsigned 32-bit. The order is the resolution order.
#define VG_CAN_ENTRY_LIST(X)                                                                       \
    X(canLocateHardware, TCanStatus, (void))                                                       \
    X(canInitializeLibrary, void, (void))                                                          \
    X(canOpen, TCanHandle, (int32_t channel, int32_t flags))                                       \
    X(canClose, TCanStatus, (TCanHandle handle))                                                   \
    X(canBusOn, TCanStatus, (TCanHandle handle))                                                   \
    X(canBusOff, TCanStatus, (TCanHandle handle))                                                  \
    X(canSetBusParams, TCanStatus,                                                                 \
      (TCanHandle handle, int32_t freq, uint32_t tseg1, uint32_t tseg2, uint32_t sjw,              \
       uint32_t noSamp, uint32_t syncmode))                                                        \
    X(canGetBusParams, TCanStatus,                                                                 \
      (TCanHandle handle, int32_t * freq, uint32_t * tseg1, uint32_t * tseg2, uint32_t * sjw,      \
       uint32_t * noSamp, uint32_t * syncmode))                                                    \
    X(canSetBusOutputControl, TCanStatus, (TCanHandle handle, uint32_t drivertype))                \
    X(canGetBusOutputControl, TCanStatus, (TCanHandle handle, uint32_t * drivertype))              \
    X(canAccept, TCanStatus, (TCanHandle handle, int32_t envelope, uint32_t flag))                 \
    X(canReadStatus, TCanStatus, (TCanHandle handle, uint32_t * flags))                            \
    X(canReadErrorCounters, TCanStatus,                                                            \
      (TCanHandle handle, uint32_t * txErr, uint32_t * rxErr, uint32_t * ovErr))                   \
    X(canWrite, TCanStatus,                                                                        \
      (TCanHandle handle, int32_t id, const void* msg, uint32_t dlc, uint32_t flags))              \
    X(canWriteSync, TCanStatus, (TCanHandle handle, uint32_t timeout))                             \
    X(canRead, TCanStatus,                                                                         \
      (TCanHandle handle, int32_t * id, void* msg, uint32_t* dlc, uint32_t* flags,                 \
       uint32_t* time))                                                                            \
    X(canReadWait, TCanStatus,                                                                     \
      (TCanHandle handle, int32_t * id, void* msg, uint32_t* dlc, uint32_t* flags, uint32_t* time, \
       uint32_t timeout))                                                                          \
    X(canReadSpecific, TCanStatus,                                                                 \
      (TCanHandle handle, int32_t id, void* msg, uint32_t* dlc, uint32_t* flags, uint32_t* time))  \
    X(canReadSync, TCanStatus, (TCanHandle handle, uint32_t timeout))                              \
    X(canReadSyncSpecific, TCanStatus, (TCanHandle handle, int32_t id, uint32_t timeout))          \
    X(canReadSpecificSkip, TCanStatus,                                                             \
      (TCanHandle handle, int32_t id, void* msg, uint32_t* dlc, uint32_t* flags, uint32_t* time))  \
    X(canSetNotify, TCanStatus, (TCanHandle handle, HWND window, uint32_t flags))                  \
    X(canTranslateBaud, TCanStatus,                                                                \
      (int32_t * freq, uint32_t * tseg1, uint32_t * tseg2, uint32_t * sjw, uint32_t * noSamp,      \
       uint32_t * syncMode))                                                                       \
    X(canGetErrorText, TCanStatus, (TCanStatus err, char* buf, uint32_t bufsiz))                   \
    X(canGetVersion, uint16_t, (void))                                                             \
    X(canIoCtl, TCanStatus, (TCanHandle handle, uint32_t func, void* buf, uint32_t buflen))        \
    X(canReadTimer, uint32_t, (TCanHandle handle))                                                 \
    X(canGetNumberOfChannels, TCanStatus, (int32_t * channelCount))                                \
    X(canGetChannelData, TCanStatus,                                                               \
      (int32_t channel, int32_t item, void* buffer, uint32_t bufsize))                             \
    X(canOpenChannel, TCanHandle, (int32_t channel, int32_t flags))                                \
    X(canWaitForEvent, TCanStatus, (TCanHandle handle, uint32_t timeout))                          \
    X(canSetBusParamsC200, TCanStatus, (TCanHandle handle, uint8_t btr0, uint8_t btr1))            \
    X(canGetVersionEx, uint32_t, (uint32_t itemCode))                                              \
    X(canUnloadLibrary, TCanStatus, (void))

// The resolved entry points; an empty one is null.
struct TCanEntries {
#define VG_CAN_ENTRY_MEMBER(Name, Result, Params) Result(WINAPI* Name) Params = nullptr;
    VG_CAN_ENTRY_LIST(VG_CAN_ENTRY_MEMBER)
#undef VG_CAN_ENTRY_MEMBER
};

// If no library is loaded: loads CanDllName, resolves every entry and calls canInitializeLibrary
// once. Raises Exception with the load-failure or missing-entry message; after a missing entry
// the library stays loaded but the binding is not usable until UnloadCanDll.
void LoadCanDll();
// If a library is loaded: calls canUnloadLibrary, releases the library. Returns 0.
int UnloadCanDll();

bool CanDllLoaded();
// The entry table when a library is loaded and every entry was resolved; null otherwise. This
// is the only way to reach the entries, so none is called while the binding is not usable.
const TCanEntries* UsableCanEntries();
// Which entries are filled, in the order of CanEntryNames.
std::array<bool, CanEntryNames.size()> FilledCanEntries();
#endif
