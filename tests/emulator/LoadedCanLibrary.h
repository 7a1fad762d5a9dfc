// Windows side test helper: the installed CAN library loaded by file name from the system folder
// and its 34 entries resolved by name, as the updater does it.
#pragma once

#include "CanLibApi.h"
#include "CanLibEntries.h"
#include "WinHandles.h"

#include <stdexcept>
#include <string>

class LoadedCanLibrary {
public:
    explicit LoadedCanLibrary(const std::wstring& fileName)
        : FModule(LoadLibraryW(fileName.c_str())) {
        if (!FModule) {
            throw std::runtime_error("cannot load the CAN library, error " +
                                     std::to_string(GetLastError()));
        }
        resolve(initialize, "canInitializeLibrary");
        resolve(unload, "canUnloadLibrary");
        resolve(count, "canGetNumberOfChannels");
        resolve(channelData, "canGetChannelData");
        resolve(openChannel, "canOpenChannel");
        resolve(close, "canClose");
        resolve(busOn, "canBusOn");
        resolve(busOff, "canBusOff");
        resolve(setBusParams, "canSetBusParams");
        resolve(getBusParams, "canGetBusParams");
        resolve(setOutputControl, "canSetBusOutputControl");
        resolve(translateBaud, "canTranslateBaud");
        resolve(setNotify, "canSetNotify");
        resolve(write, "canWrite");
        resolve(readWait, "canReadWait");
        resolve(read, "canRead");
        resolve(readSpecific, "canReadSpecific");
        resolve(readStatus, "canReadStatus");
        resolve(errorCounters, "canReadErrorCounters");
        resolve(ioctl, "canIoCtl");
        resolve(readTimer, "canReadTimer");
        resolve(accept, "canAccept");
        resolve(writeSync, "canWriteSync");
        resolve(readSync, "canReadSync");
    }

    HMODULE Module() const { return FModule.get(); }
    FARPROC Entry(const char* name) const { return GetProcAddress(FModule.get(), name); }
    void Release() { FModule.reset(); }

    // The name of a channel (item 13) as the updater reads it.
    std::string Name(std::int32_t channel) const {
        std::string buffer(262145, '\0');
        channelData(channel, 13, buffer.data(), 262144);
        return buffer.c_str();
    }

    vg730emu::canlib::canInitializeLibrary_t initialize;
    vg730emu::canlib::canUnloadLibrary_t unload;
    vg730emu::canlib::canGetNumberOfChannels_t count;
    vg730emu::canlib::canGetChannelData_t channelData;
    vg730emu::canlib::canOpenChannel_t openChannel;
    vg730emu::canlib::canClose_t close;
    vg730emu::canlib::canBusOn_t busOn;
    vg730emu::canlib::canBusOff_t busOff;
    vg730emu::canlib::canSetBusParams_t setBusParams;
    vg730emu::canlib::canGetBusParams_t getBusParams;
    vg730emu::canlib::canSetBusOutputControl_t setOutputControl;
    vg730emu::canlib::canTranslateBaud_t translateBaud;
    vg730emu::canlib::canSetNotify_t setNotify;
    vg730emu::canlib::canWrite_t write;
    vg730emu::canlib::canReadWait_t readWait;
    vg730emu::canlib::canRead_t read;
    vg730emu::canlib::canReadSpecific_t readSpecific;
    vg730emu::canlib::canReadStatus_t readStatus;
    vg730emu::canlib::canReadErrorCounters_t errorCounters;
    vg730emu::canlib::canIoCtl_t ioctl;
    vg730emu::canlib::canReadTimer_t readTimer;
    vg730emu::canlib::canAccept_t accept;
    vg730emu::canlib::canWriteSync_t writeSync;
    vg730emu::canlib::canReadSync_t readSync;

private:
    template <typename F> void resolve(F& entry, const char* name) {
        entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(FModule.get(), name)));
        if (!entry) {
            throw std::runtime_error(std::string("the CAN library lacks ") + name);
        }
    }

    UniqueModule FModule;
};
