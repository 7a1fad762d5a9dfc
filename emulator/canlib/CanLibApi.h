// Windows side: the entry points of the emulated CAN library as a caller declares them, for
// test programs that load it by name and resolve its entries with GetProcAddress.
#pragma once

#include "WinApi.h"

#include <cstdint>

namespace vg730emu::canlib {

using Status = std::int32_t;
using canInitializeLibrary_t = Status(WINAPI*)();
using canUnloadLibrary_t = Status(WINAPI*)();
using canLocateHardware_t = Status(WINAPI*)();
using canGetNumberOfChannels_t = Status(WINAPI*)(std::int32_t* count);
using canGetChannelData_t = Status(WINAPI*)(std::int32_t channel, std::int32_t item, void* buffer,
                                            std::uint32_t size);
using canOpenChannel_t = Status(WINAPI*)(std::int32_t channel, std::int32_t flags);
using canOpen_t = Status(WINAPI*)(std::int32_t channel, char* name, std::int32_t flags);
using canClose_t = Status(WINAPI*)(std::int32_t handle);
using canBusOn_t = Status(WINAPI*)(std::int32_t handle);
using canBusOff_t = Status(WINAPI*)(std::int32_t handle);
using canSetBusParams_t = Status(WINAPI*)(std::int32_t handle, std::int32_t bitrate,
                                          std::uint32_t tseg1, std::uint32_t tseg2,
                                          std::uint32_t sjw, std::uint32_t samples,
                                          std::uint32_t syncmode);
using canGetBusParams_t = Status(WINAPI*)(std::int32_t handle, std::int32_t* bitrate,
                                          std::uint32_t* tseg1, std::uint32_t* tseg2,
                                          std::uint32_t* sjw, std::uint32_t* samples,
                                          std::uint32_t* syncmode);
using canSetBusParamsC200_t = Status(WINAPI*)(std::int32_t handle, std::uint8_t btr0,
                                              std::uint8_t btr1);
using canSetBusOutputControl_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t driver);
using canGetBusOutputControl_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t* driver);
using canTranslateBaud_t = Status(WINAPI*)(std::int32_t* bitrate, std::uint32_t* tseg1,
                                           std::uint32_t* tseg2, std::uint32_t* sjw,
                                           std::uint32_t* samples, std::uint32_t* syncmode);
using canSetNotify_t = Status(WINAPI*)(std::int32_t handle, HWND window, std::uint32_t flags);
using canAccept_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t envelope,
                                    std::uint32_t flag);
using canWrite_t = Status(WINAPI*)(std::int32_t handle, std::int32_t id, void* data,
                                   std::uint32_t dlc, std::uint32_t flags);
using canWriteSync_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t timeout);
using canRead_t = Status(WINAPI*)(std::int32_t handle, std::int32_t* id, void* data,
                                  std::uint32_t* dlc, std::uint32_t* flags, std::uint32_t* time);
using canReadWait_t = Status(WINAPI*)(std::int32_t handle, std::int32_t* id, void* data,
                                      std::uint32_t* dlc, std::uint32_t* flags, std::uint32_t* time,
                                      std::uint32_t timeout);
using canReadSpecific_t = Status(WINAPI*)(std::int32_t handle, std::int32_t id, void* data,
                                          std::uint32_t* dlc, std::uint32_t* flags,
                                          std::uint32_t* time);
using canReadSpecificSkip_t = canReadSpecific_t;
using canReadSync_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t timeout);
using canReadSyncSpecific_t = Status(WINAPI*)(std::int32_t handle, std::int32_t id,
                                              std::uint32_t timeout);
using canWaitForEvent_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t timeout);
using canReadStatus_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t* flags);
using canReadErrorCounters_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t* tx,
                                               std::uint32_t* rx, std::uint32_t* overruns);
using canIoCtl_t = Status(WINAPI*)(std::int32_t handle, std::uint32_t function, void* buffer,
                                   std::uint32_t length);
using canReadTimer_t = std::uint32_t(WINAPI*)(std::int32_t handle);
using canGetErrorText_t = Status(WINAPI*)(Status status, char* text, std::uint32_t size);
using canGetVersion_t = std::uint16_t(WINAPI*)();
using canGetVersionEx_t = std::uint32_t(WINAPI*)(std::uint32_t item);

} // namespace vg730emu::canlib
