// The vendor and gateway back-ends: TVnCanApi, the one concrete CAN API, which drives one
// TCanChannelEx, and its two creators, TVarnikCanApiCreator (the generic vendor library) and
// TVg730CanApiCreator (the gateway's copy of it, in gateway mode). Portable declarations first
// (identifiers and texts); the back-end and the creators are Windows-only.
#pragma once

#include "SdCanClassUnit.h"

#include <cstdint>
#include <memory>
#include <string>

constexpr int32_t VarnikCanApiId = 1;
constexpr int32_t Vg730CanApiId = 3;
inline constexpr wchar_t CanApiCapabilities[] =
    L"enable,recover,baudchange,50000,100000,125000,250000,500000,1000000";
inline constexpr wchar_t VarnikHomePage[] = L"https://www.varnik.example/";

// The library files: the generic one (loaded by its bare name), the files that show a generic
// driver, and the gateway's pairs (library and the companion it needs beside it).
inline constexpr wchar_t GenericCanDllName[] = L"VNCOMM32.dll";
inline constexpr wchar_t GenericDriverFiles[2][16] = {L"VNCOMM32.DLL", L"VNGLUE32.DLL"};
inline constexpr wchar_t GatewayDll[] = L"quorvelvncomm32.dll";
inline constexpr wchar_t GatewayCompanionDll[] = L"quorvelvnalapw2.dll";
inline constexpr wchar_t LegacyGatewayDll[] = L"tolvakquorvelvncomm32.dll";
inline constexpr wchar_t LegacyGatewayCompanionDll[] = L"tolvakquorvelvnalapw2.dll";

// Errors of the generic creator when its driver is missing.
std::wstring VarnikDriverNotFoundMessage();
// Errors of the gateway creator when its driver is missing; SetupProgram is the driver set-up
// program's full name, or empty when there is none.
std::wstring Vg730DriverNotFoundMessage(const std::wstring& SetupProgram);

#ifdef _WIN32
#include "CanChanEx.h"

// The gateway library's full path for the installed driver package, or empty text when the
// package is not usable or a file of the pair is missing from the system folder.
std::wstring FindGatewayDll();

class TVnCanApi : public TSdCanApi {
public:
    // Creates the channel, which loads the library under the name set just before.
    TVnCanApi();
    // Releases the channel and its owner component, then unloads the library.
    ~TVnCanApi() override;

    void SetEvent(int Index, TNotifyEvent Handler) override;
    TNotifyEvent GetEvent(int Index) const override;
    std::wstring FGetChannelNames(int32_t idx) const override;
    void SetChannel(int32_t Value) override;
    int32_t channel() const override;
    void SetActive(bool Value) override;
    bool Active() const override;
    void SetBusActive(bool Value) override;
    bool BusActive() const override;
    // 50000 selects the library's predefined 50 kbit/s setting; an open channel ends on the bus.
    void SetBaudrate(uint32_t Value) override;
    uint32_t Baudrate() const override;
    bool DeviceHandleOK() const override { return FValidCanHnd; }
    std::wstring Firmware() const override { return {}; }
    void Open() override;
    void Close() override;
    void BusOn() override;
    void BusOff() override;
    void UnloadDllWhereApplicable() override {}
    void DownloadBaudrateChangeOnOff(bool IsBeforeChange) override;
    void ForceBootMode(bool Enable) override;
    void setEchoEnabled(bool Enabled) override { (void)Enabled; }
    // Off the bus, closed, 500 ms, then the new bit rate and channel, open and on the bus.
    void Reset(uint32_t argBaudrate, uint32_t argChannel) override;
    bool CanRead(TCanMsg& Msg, uint32_t TimeOut) override;
    // Restarts a channel that is not on the bus first, and once more after -10 or -15. Sends at
    // most the 8 data bytes a message holds, whatever its Len.
    bool CanWrite(const TCanMsg& Msg) override;
    uint32_t ChannelCount() override;

    int32_t IoCtl(uint32_t func, void* buf, uint32_t buflen);
    std::wstring GetChannelFirmware(int32_t idx) const;
    std::wstring ChannelFirmware(int32_t idx) const { return GetChannelFirmware(idx); }

    // The channel this back-end drives.
    TCanChannelEx& CanChannel() const { return *FCanHnd; }

private:
    void RestartChannel();

    bool FValidCanHnd = false;
    std::unique_ptr<TComponent> FComponent;
    TCanChannelEx* FCanHnd = nullptr; // owned by FComponent
};

class TVarnikCanApiCreator : public TCanApiCreator {
public:
    TVarnikCanApiCreator();
    std::unique_ptr<TSdCanApi> CreateCanApi() override;
    // "VNCOMM32.DLL" or "VNGLUE32.DLL" in the system folder.
    bool DriverFound() override;
    void SetApiSettings(const TApiSettings& ApiSettings) override { (void)ApiSettings; }
};

class TVg730CanApiCreator : public TCanApiCreator {
public:
    TVg730CanApiCreator();
    std::unique_ptr<TSdCanApi> CreateCanApi() override;
    // FindGatewayDll finds the library.
    bool DriverFound() override;
    void SetApiSettings(const TApiSettings& ApiSettings) override { (void)ApiSettings; }
    // A gateway back-end, always; with no gateway library it shows no channel.
    static std::unique_ptr<TVnCanApi> CreateCanApiInternal();
};

// Start-up of this module: creates and registers the generic creator, then the gateway one.
void InitializeVarnikCanClassUnit();
// Start-up of the CAN modules, in module order: the binding's defaults, the empty registry, the
// two creators. The program entry calls it first, before anything uses the CAN layer.
void InitializeCanModules();
#endif
