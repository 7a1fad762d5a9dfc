// Portable: how application code sees a CAN back-end. TSdCanApi is the abstract CAN API,
// TCanApiCreator the abstract factory of one kind of back-end, and CanApiCreators the registry
// of creators filled at start-up.
#pragma once

#include "CanMsgFilterUnit.h"
#include "Component.h"
#include "UniversalTypesUnit.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using T_SdCanApiErrorEvent = std::function<void(int32_t Err)>;

// The abstract CAN API. The pure virtual operations are those every back-end must provide; the
// others have the defaults given here.
class TSdCanApi : public TObject {
public:
    ~TSdCanApi() override = default;

    // The events by index: 1 OnCanRx, 2 OnCanTx.
    virtual void SetEvent(int Index, TNotifyEvent Handler);
    virtual TNotifyEvent GetEvent(int Index) const;
    // GatewayCapabilities, whatever the index.
    virtual std::wstring FGetChannelCapabilities(int32_t idx) const;
    virtual std::wstring FGetChannelNames(int32_t idx) const = 0;
    virtual void SetChannel(int32_t Value) = 0;
    virtual int32_t channel() const = 0;
    virtual void SetActive(bool Value) = 0;
    virtual bool Active() const { return false; }
    virtual void SetBusActive(bool Value) = 0;
    virtual bool BusActive() const { return false; }
    virtual void SetBaudrate(uint32_t Value) = 0; // bit/s
    virtual uint32_t Baudrate() const { return 0; }
    virtual void SetOptimizeTx(bool Value) { FOptimizeTx = Value; }
    virtual bool OptimizeTx() const { return FOptimizeTx; }
    virtual bool DeviceHandleOK() const { return true; }
    virtual std::wstring Firmware() const { return {}; }
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void BusOn() = 0;
    virtual void BusOff() = 0;
    virtual void UnloadDllWhereApplicable() = 0;
    virtual void DownloadBaudrateChangeOnOff(bool IsBeforeChange) = 0;
    virtual void ForceBootMode(bool Enable) = 0;
    virtual void setEchoEnabled(bool Enabled) = 0;
    virtual void Reset(uint32_t argBaudrate, uint32_t argChannel) = 0;
    // A received message, or false after TimeOut milliseconds.
    virtual bool CanRead(TCanMsg& Msg, uint32_t TimeOut) = 0;
    virtual bool CanWrite(const TCanMsg& Msg) = 0;
    virtual void EnableKorvexFilters(bool Value) { (void)Value; }
    virtual void EnableLogFile(bool Value) { (void)Value; }
    virtual uint32_t ChannelCount() = 0;
    // Filters are not used by the back-ends of this system: the filter is ignored.
    virtual void AddFilter(const std::shared_ptr<ICanMsgFilter>& aFilter) { (void)aFilter; }

    // ---- properties over the operations above ----
    TNotifyEvent OnCanRx() const { return GetEvent(1); }
    void SetOnCanRx(TNotifyEvent Handler) { SetEvent(1, std::move(Handler)); }
    TNotifyEvent OnCanTx() const { return GetEvent(2); }
    void SetOnCanTx(TNotifyEvent Handler) { SetEvent(2, std::move(Handler)); }
    std::wstring ChannelCapabilities(int32_t idx) const { return FGetChannelCapabilities(idx); }
    std::wstring ChannelNames(int32_t idx) const { return FGetChannelNames(idx); }
    const T_SdCanApiErrorEvent& ErrorEvent() const { return FErrorEvent; }
    void SetErrorEvent(T_SdCanApiErrorEvent Handler) { FErrorEvent = std::move(Handler); }

    // Off the bus, then closed.
    void Offline();
    // Open, then on the bus.
    void Online();
    void OffOn();

protected:
    TSdCanApi() = default;

    TNotifyEvent FOnCanRx;
    TNotifyEvent FOnCanTx;
    bool FOptimizeTx = false;
    T_SdCanApiErrorEvent FErrorEvent;
    // Returned by ChannelCapabilities; no back-end of this system fills it.
    std::wstring GatewayCapabilities;
};

// The description of one kind of back-end.
struct TCanApiOfflineInfo {
    int32_t id = 0;            // key in the registry
    std::wstring name;         // short name
    std::wstring Capabilities; // capability words, then the supported bit rates
    std::wstring Errors;       // why the back-end cannot be used; empty when its driver was found
    std::wstring Warnings;
    std::wstring DetailedName;
};
using TCanApiOfflineInfoArray = std::vector<TCanApiOfflineInfo>;

// Settings a creator can be given; the creators of this system ignore them.
struct TApiSettings {
    std::wstring dllPath;
    std::wstring protAndBaud;
    std::wstring prefix;
    uint32_t devID = 0;
    uint32_t settings = 0;
};

// The abstract factory of one kind of back-end.
class TCanApiCreator : public TObject {
public:
    ~TCanApiCreator() override = default;

    // A new back-end, owned by the caller.
    virtual std::unique_ptr<TSdCanApi> CreateCanApi() = 0;
    // Whether the back-end's library is installed.
    virtual bool DriverFound() = 0;
    virtual void SetApiSettings(const TApiSettings& ApiSettings) = 0;

    TCanApiOfflineInfo OwnData;        // filled by the concrete creator's constructor
    TCanApiOfflineInfoArray ChildData; // empty in this system

protected:
    TCanApiCreator() = default;
};

// The registry of creators by identifier; it owns them.
using TCanApiCreatorMap = std::map<int32_t, std::unique_ptr<TCanApiCreator>>;
TCanApiCreatorMap& CanApiCreators();
// Stores the creator under its OwnData.id; a creator stored there before is destroyed.
void RegisterCanApiCreator(std::unique_ptr<TCanApiCreator> Creator);

// Start-up state of this module: an empty registry.
void InitializeSdCanClassUnit();
