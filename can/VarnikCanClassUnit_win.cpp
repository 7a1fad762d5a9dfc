// Windows side of the back-ends: the library files in the system folder, the back-end over the
// channel, the creators and their registration at start-up.
#include "VarnikCanClassUnit.h"

#include "UniversalUnit.h"

#include <algorithm>

namespace {

// Driver package 2.1.0 and newer ship the gateway library under its newer name.
constexpr TVersion NewGatewayDllPackage{2, 1, 0, 0, true};

// The write statuses after which the channel is reopened.
bool ReopensChannel(int32_t status) {
    return status == -10 || status == -15;
}
constexpr uint32_t Bitrate50K = 50000;
constexpr DWORD ResetPauseMs = 500;

TCanApiOfflineInfo Description(int32_t id, const wchar_t* name, std::wstring errors) {
    TCanApiOfflineInfo info;
    info.id = id;
    info.name = name;
    info.Capabilities = CanApiCapabilities;
    info.Errors = std::move(errors);
    return info;
}

} // namespace

std::wstring FindGatewayDll() {
    TVersion installed;
    TVersion required;
    if (CheckDriverPackage(installed, required) != dcOk) {
        return {};
    }
    const bool newer = CheckInstalledDriverVersion(NewGatewayDllPackage) == dcOk;
    const std::wstring& folder = GetSystemFolder();
    const std::wstring library = folder + (newer ? GatewayDll : LegacyGatewayDll);
    const std::wstring companion =
        folder + (newer ? GatewayCompanionDll : LegacyGatewayCompanionDll);
    if (FileExists(library) && FileExists(companion)) {
        return library;
    }
    return {};
}

// ---- TVnCanApi ---------------------------------------------------------------------------------

TVnCanApi::TVnCanApi() : FComponent(std::make_unique<TComponent>(nullptr)) {
    FCanHnd = new TCanChannelEx(FComponent.get());
    TVnCanApi::SetBaudrate(250000);
    FCanHnd->SetOptions({ccNotExclusive});
    // No receive or transmit handler yet: those notifications stay off.
    FCanHnd->SetOnCanRx(FOnCanRx);
    FCanHnd->SetOnCanTx(FOnCanTx);
    // Handlers that do nothing ask the library for status and error notifications.
    FCanHnd->SetOnStateChanged([](TObject*) {});
    FCanHnd->SetOnCanError([](TObject*) {});
    FValidCanHnd = true;
}

TVnCanApi::~TVnCanApi() {
    delete FCanHnd;
    FCanHnd = nullptr;
    FComponent.reset();
    UnloadCanDll();
}

void TVnCanApi::SetEvent(int Index, TNotifyEvent Handler) {
    if (Index == 1) {
        FCanHnd->SetOnCanRx(std::move(Handler));
    } else if (Index == 2) {
        FCanHnd->SetOnCanTx(std::move(Handler));
    }
}

TNotifyEvent TVnCanApi::GetEvent(int Index) const {
    if (Index == 1) {
        return FCanHnd->OnCanRx();
    }
    if (Index == 2) {
        return FCanHnd->OnCanTx();
    }
    return {};
}

std::wstring TVnCanApi::FGetChannelNames(int32_t idx) const {
    return FCanHnd->GetChannelNames(idx);
}

void TVnCanApi::SetChannel(int32_t Value) {
    FCanHnd->SetChannel(Value);
}
int32_t TVnCanApi::channel() const {
    return FCanHnd->channel();
}

void TVnCanApi::SetActive(bool Value) {
    FCanHnd->SetActive(Value);
    FValidCanHnd = FCanHnd->CanHnd() >= 0;
}
bool TVnCanApi::Active() const {
    return FCanHnd->Active();
}

void TVnCanApi::SetBusActive(bool Value) {
    FCanHnd->SetBusActive(Value);
}
bool TVnCanApi::BusActive() const {
    return FCanHnd->BusActive();
}

void TVnCanApi::SetBaudrate(uint32_t Value) {
    const bool wasOpen = FCanHnd->Active();
    const bool wasOnBus = FCanHnd->BusActive();
    if (wasOpen) {
        FCanHnd->SetActive(false);
    }
    if (wasOnBus) {
        FCanHnd->SetBusActive(false);
    }
    FCanHnd->SetBitRate(Value == Bitrate50K ? CanLib::Bitrate50K : static_cast<int32_t>(Value));
    if (wasOpen) {
        FCanHnd->SetActive(true);
        FCanHnd->SetBusActive(true);
    }
}

uint32_t TVnCanApi::Baudrate() const {
    return static_cast<uint32_t>(FCanHnd->BitRate());
}

void TVnCanApi::Open() {
    FCanHnd->Open();
    FValidCanHnd = FCanHnd->CanHnd() >= 0;
}

void TVnCanApi::Close() {
    FCanHnd->Close();
}
void TVnCanApi::BusOn() {
    FCanHnd->BusOn();
}
void TVnCanApi::BusOff() {
    FCanHnd->BusOff();
}

void TVnCanApi::DownloadBaudrateChangeOnOff(bool IsBeforeChange) {
    if (IsBeforeChange) {
        BusOff();
    } else {
        BusOn();
    }
}

void TVnCanApi::ForceBootMode(bool Enable) {
    SetBootModeForced(Enable);
}

void TVnCanApi::Reset(uint32_t argBaudrate, uint32_t argChannel) {
    SetBusActive(false);
    SetActive(false);
    Sleep(ResetPauseMs);
    SetBaudrate(argBaudrate);
    SetChannel(static_cast<int32_t>(argChannel));
    SetActive(true);
    SetBusActive(true);
}

void TVnCanApi::RestartChannel() {
    FCanHnd->SetActive(false);
    FCanHnd->SetBusActive(false);
    FCanHnd->SetActive(true);
    FCanHnd->SetBusActive(true);
}

bool TVnCanApi::CanRead(TCanMsg& Msg, uint32_t TimeOut) {
    if (!FCanHnd->Active() || !FCanHnd->BusActive()) {
        Sleep(TimeOut);
        return false;
    }
    int32_t id = static_cast<int32_t>(Msg.ID);
    uint32_t flags = 0;
    const int32_t status =
        FCanHnd->ReadWait(id, Msg.Data.data(), Msg.Len, flags, Msg.TimeStamp, TimeOut);
    Msg.ID = static_cast<uint32_t>(id);
    // The message holds 8 data bytes at most, whatever length the library reports.
    if (Msg.Len > Msg.Data.size()) {
        Msg.Len = static_cast<uint32_t>(Msg.Data.size());
    }
    Msg.Ext = (flags & CanLib::MsgExtended) != 0;
    return status == 0 && (flags & CanLib::MsgErrorFrame) == 0;
}

bool TVnCanApi::CanWrite(const TCanMsg& Msg) {
    if (!FCanHnd->Active() || !FCanHnd->BusActive()) {
        RestartChannel();
    }
    if (!FCanHnd->Active() || !FCanHnd->BusActive()) {
        return false;
    }
    const int32_t flags = static_cast<int32_t>(Msg.Ext ? CanLib::MsgExtended : CanLib::MsgStandard);
    // The message holds 8 data bytes: a larger length would make the library read past them.
    const uint32_t length = std::min<uint32_t>(Msg.Len, static_cast<uint32_t>(Msg.Data.size()));
    const int32_t status = FCanHnd->write(static_cast<int32_t>(Msg.ID), Msg.Data.data(),
                                          static_cast<int32_t>(length), flags);
    const bool ok = status == 0;
    FCanHnd->FlushTxBufferIfNecessary();
    FValidCanHnd = ok;
    if (!ok && ReopensChannel(status)) {
        RestartChannel();
    }
    return ok;
}

uint32_t TVnCanApi::ChannelCount() {
    return FCanHnd->ChannelCount();
}

int32_t TVnCanApi::IoCtl(uint32_t func, void* buf, uint32_t buflen) {
    return FCanHnd->IoCtl(func, buf, buflen);
}

std::wstring TVnCanApi::GetChannelFirmware(int32_t idx) const {
    return FCanHnd->GetChannelFirmware(idx);
}

// ---- creators ----------------------------------------------------------------------------------

TVarnikCanApiCreator::TVarnikCanApiCreator() {
    OwnData = Description(VarnikCanApiId, L"Varnik",
                          DriverFound() ? std::wstring() : VarnikDriverNotFoundMessage());
}

std::unique_ptr<TSdCanApi> TVarnikCanApiCreator::CreateCanApi() {
    SetCanDllName(GenericCanDllName);
    SetGatewayMode(false);
    return std::make_unique<TVnCanApi>();
}

bool TVarnikCanApiCreator::DriverFound() {
    const std::wstring& folder = GetSystemFolder();
    for (const wchar_t* file : GenericDriverFiles) {
        if (FileExists(folder + file)) {
            return true;
        }
    }
    return false;
}

TVg730CanApiCreator::TVg730CanApiCreator() {
    std::wstring errors;
    if (!DriverFound()) {
        const std::wstring& setup = GetDriverSetupProgram();
        errors = Vg730DriverNotFoundMessage(FileExists(setup) ? setup : std::wstring());
    }
    OwnData = Description(Vg730CanApiId, L"VG730", std::move(errors));
}

std::unique_ptr<TSdCanApi> TVg730CanApiCreator::CreateCanApi() {
    return CreateCanApiInternal();
}

bool TVg730CanApiCreator::DriverFound() {
    return !FindGatewayDll().empty();
}

std::unique_ptr<TVnCanApi> TVg730CanApiCreator::CreateCanApiInternal() {
    // With no gateway library the name is empty, which fails to load: the back-end then shows
    // no channel.
    SetCanDllName(FindGatewayDll());
    SetGatewayMode(true);
    return std::make_unique<TVnCanApi>();
}

// ---- start-up ----------------------------------------------------------------------------------

void InitializeVarnikCanClassUnit() {
    RegisterCanApiCreator(std::make_unique<TVarnikCanApiCreator>());
    RegisterCanApiCreator(std::make_unique<TVg730CanApiCreator>());
}

void InitializeCanModules() {
    InitializeCanUnit();
    InitializeSdCanClassUnit();
    InitializeVarnikCanClassUnit();
}
