// Windows side of the CAN channel: the calls into the library and the hidden window that
// receives its notifications.
#include "CanChanEx.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const wchar_t NotifyWindowClass[] = L"TCanChannelExNotifyWindow";

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void ShowNotifyErrorBox(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    const std::wstring text = own ? own->Message() : Utf8ToWide(error.what());
    MessageBoxW(nullptr, text.c_str(), L"", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

TCanNotifyErrorHandler& NotifyErrorHandler() {
    static TCanNotifyErrorHandler handler = ShowNotifyErrorBox;
    return handler;
}

// 8-bit text in the system code page, up to its first zero byte.
std::wstring TextOfAnsi(const char* text) {
    const int bytes = static_cast<int>(strlen(text));
    if (bytes == 0) {
        return {};
    }
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    if (chars <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, bytes, wide.data(), chars);
    return wide;
}

void Fire(const TNotifyEvent& event, TObject* sender) {
    if (event) {
        // A copy: the handler may replace itself.
        const TNotifyEvent handler = event;
        handler(sender);
    }
}

} // namespace

void SetCanNotifyErrorHandler(TCanNotifyErrorHandler Handler) {
    NotifyErrorHandler() =
        Handler ? std::move(Handler) : TCanNotifyErrorHandler(ShowNotifyErrorBox);
}

// ---- life cycle --------------------------------------------------------------------------------

TCanChannelEx::TCanChannelEx(TComponent* AOwner) : TComponent(AOwner) {
    try {
        LoadCanDll();
        CreateNotifyWindow();
        FDllFailed = false;
    } catch (...) {
        // A library that cannot be used is a state of the channel, not an error of its creator.
        FDllFailed = true;
    }
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        FDllFailed = true;
        return;
    }
    int32_t count = 0;
    if (lib->canGetNumberOfChannels(&count) != 0 || count < 1) {
        FDllFailed = true;
    }
}

TCanChannelEx::~TCanChannelEx() {
    Destroying();
    if (FWinHandle == FNotifyWindow.get()) {
        FWinHandle = nullptr;
    }
    if (FNotifyWindow) {
        SetWindowLongPtrW(FNotifyWindow.get(), GWLP_USERDATA, 0);
        FNotifyWindow.reset();
    }
    if (FActive && !FDllFailed) {
        Close();
    }
}

void TCanChannelEx::CreateNotifyWindow() {
    static const bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &TCanChannelEx::NotifyWindowProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = NotifyWindowClass;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw Exception(L"Cannot register the CAN notification window class (error " +
                            std::to_wstring(GetLastError()) + L")");
        }
        return true;
    }();
    (void)registered;
    // A message-only window: it is never shown and gets only what is posted to it.
    FNotifyWindow.reset(CreateWindowExW(0, NotifyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, ThisModule(), this));
    if (!FNotifyWindow) {
        throw Exception(L"Cannot create the CAN notification window (error " +
                        std::to_wstring(GetLastError()) + L")");
    }
    FWinHandle = FNotifyWindow.get();
}

// ---- open, close, bus --------------------------------------------------------------------------

void TCanChannelEx::Open() {
    if (FActive || FDllFailed) {
        return;
    }
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return;
    }
    // A negative handle is no error here: the back-end reads CanHnd to tell.
    const TCanHandle handle = lib->canOpenChannel(FChannel, OpenFlagsOf(FOptions));
    FCanHnd = handle;
    uint8_t one = 1;
    lib->canIoCtl(handle, CanLib::IoCtlOpenSetting, &one, 1);
    // Bus parameters the library refuses cost the handle: it is closed then, and CanHnd stays -1
    // so that nothing uses or closes it again.
    ApplyBusParameters();
    lib->canSetNotify(FCanHnd, FWinHandle, NotifyBitsOf(FNotifyFlags));
    FActive = true;
    FBusActive = false;
    StateChanged();
}

void TCanChannelEx::ApplyBusParameters() {
    const TCanEntries* lib = UsableCanEntries();
    if (FDllFailed || !lib) {
        return;
    }
    if (lib->canSetBusParams(FCanHnd, FBitRate, static_cast<uint32_t>(FTseg1),
                             static_cast<uint32_t>(FTseg2), static_cast<uint32_t>(FSjw),
                             static_cast<uint32_t>(FNoSamp), 0) < 0) {
        lib->canClose(FCanHnd);
        FCanHnd = -1;
    }
    const uint32_t driverType = FDriver == ccSilent ? CanLib::DriverSilent : CanLib::DriverNormal;
    if (lib->canSetBusOutputControl(FCanHnd, driverType) < 0) {
        lib->canClose(FCanHnd);
        FCanHnd = -1;
    }
}

void TCanChannelEx::Close() {
    if (!FActive || FDllFailed) {
        return;
    }
    if (const TCanEntries* lib = UsableCanEntries()) {
        lib->canClose(FCanHnd);
    }
    if (IsDestroying()) {
        return;
    }
    FCanHnd = -1;
    FActive = false;
    FBusActive = false;
    StateChanged();
}

void TCanChannelEx::SetActive(bool Value) {
    if (Value) {
        Open();
    } else {
        Close();
    }
    StateChanged();
}

void TCanChannelEx::SetBusActive(bool Value) {
    if (Value == FBusActive || !FActive) {
        return;
    }
    if (const TCanEntries* lib = UsableCanEntries()) {
        if (Value) {
            ApplyBusParameters();
            if (!FNotifyFlags.Empty()) {
                lib->canSetNotify(FCanHnd, FWinHandle, NotifyBitsOf(FNotifyFlags));
            }
            lib->canBusOn(FCanHnd);
        } else {
            lib->canBusOff(FCanHnd);
        }
    }
    FBusActive = Value;
    StateChanged();
}

void TCanChannelEx::StateChanged() {
    Fire(FOnStateChanged, this);
}

// ---- properties --------------------------------------------------------------------------------

void TCanChannelEx::SetWinHandle(HWND Value) {
    FWinHandle = Value;
    if (FBusActive) {
        if (const TCanEntries* lib = UsableCanEntries()) {
            lib->canSetNotify(FCanHnd, FWinHandle, NotifyBitsOf(FNotifyFlags));
        }
    }
}

void TCanChannelEx::SetChannel(int32_t Value) {
    if (FActive) {
        throw ECanChan(L"Channel is active");
    }
    FChannel = Value;
    StateChanged();
}

void TCanChannelEx::SetOptions(TCanChanOptions Value) {
    if (FActive) {
        throw ECanChan(L"Channel is active");
    }
    FOptions = Value;
}

void TCanChannelEx::SetDriver(TCanChanDrivers Value) {
    if (FBusActive) {
        throw ECanChan(L"Channel is on-bus");
    }
    FDriver = Value;
}

void TCanChannelEx::SetBitRate(int32_t Value) {
    if (FBusActive) {
        throw ECanChan(L"Channel is on-bus");
    }
    if (Value < 0) {
        if (const TCanEntries* lib = UsableCanEntries()) {
            // Values the library leaves unwritten stay as they are.
            uint32_t tseg1 = static_cast<uint32_t>(FTseg1);
            uint32_t tseg2 = static_cast<uint32_t>(FTseg2);
            uint32_t sjw = static_cast<uint32_t>(FSjw);
            uint32_t samples = static_cast<uint32_t>(FNoSamp);
            uint32_t syncMode = 0;
            lib->canTranslateBaud(&Value, &tseg1, &tseg2, &sjw, &samples, &syncMode);
            FTseg1 = static_cast<int32_t>(tseg1);
            FTseg2 = static_cast<int32_t>(tseg2);
            FSjw = static_cast<int32_t>(sjw);
            FNoSamp = static_cast<int32_t>(samples);
        }
    }
    FBitRate = Value;
    StateChanged();
}

int32_t TCanChannelEx::GetTiming(int Index) const {
    switch (Index) {
    case 1:
        return FTseg1;
    case 2:
        return FTseg2;
    case 3:
        return FSjw;
    case 4:
        return FNoSamp;
    default:
        throw ECanChan(L"Illegal index");
    }
}

void TCanChannelEx::SetTiming(int Index, int32_t Value) {
    if (FBusActive) {
        throw ECanChan(L"Channel is on-bus");
    }
    switch (Index) {
    case 1:
        FTseg1 = Value;
        break;
    case 2:
        FTseg2 = Value;
        break;
    case 3:
        FSjw = Value;
        break;
    case 4:
        FNoSamp = Value;
        break;
    default:
        break;
    }
    StateChanged();
}

TNotifyEvent TCanChannelEx::GetEvent(int Index) const {
    switch (Index) {
    case 1:
        return FOnCanRx;
    case 2:
        return FOnCanTx;
    case 3:
        return FOnStateChanged;
    case 4:
        return FOnCanErr;
    default:
        return {};
    }
}

void TCanChannelEx::SetEvent(int Index, TNotifyEvent Handler) {
    TCanChanNotifyFlags flags = FNotifyFlags;
    const bool assigned = static_cast<bool>(Handler);
    switch (Index) {
    case 1:
        FOnCanRx = std::move(Handler);
        flags.Set(ccNotifyRx, assigned);
        break;
    case 2:
        FOnCanTx = std::move(Handler);
        flags.Set(ccNotifyTx, assigned);
        break;
    case 3:
        FOnStateChanged = std::move(Handler);
        flags.Set(ccNotifyStatus, assigned);
        break;
    case 4:
        FOnCanErr = std::move(Handler);
        flags.Set(ccNotifyError, assigned);
        break;
    default:
        return;
    }
    ChangeNotifyFlags(flags);
}

void TCanChannelEx::ChangeNotifyFlags(TCanChanNotifyFlags Flags) {
    FNotifyFlags = Flags;
    if (FBusActive) {
        if (const TCanEntries* lib = UsableCanEntries()) {
            lib->canSetNotify(FCanHnd, FWinHandle, NotifyBitsOf(FNotifyFlags));
        }
    }
}

// ---- pass-through operations -------------------------------------------------------------------

int32_t TCanChannelEx::write(int32_t id, const void* msg, int32_t dlc, int32_t flags) {
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return canStatusBindingNotUsable;
    }
    const TCanStatus status =
        lib->canWrite(FCanHnd, id, msg, static_cast<uint32_t>(dlc), static_cast<uint32_t>(flags));
    if (status == 0 && FOnWrite) {
        const TCanWriteEvent handler = FOnWrite;
        handler(this, id, msg, dlc, flags);
    }
    return status;
}

int32_t TCanChannelEx::WriteSync(uint32_t timeout) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canWriteSync(FCanHnd, timeout) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::read(int32_t& id, void* msg, uint32_t& dlc, uint32_t& flags,
                            uint32_t& Time) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canRead(FCanHnd, &id, msg, &dlc, &flags, &Time) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::ReadWait(int32_t& id, void* msg, uint32_t& dlc, uint32_t& flags,
                                uint32_t& Time, uint32_t timeout) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadWait(FCanHnd, &id, msg, &dlc, &flags, &Time, timeout)
               : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::ReadSpecific(int32_t id, void* msg, uint32_t& dlc, uint32_t& flags,
                                    uint32_t& Time) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadSpecific(FCanHnd, id, msg, &dlc, &flags, &Time)
               : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::ReadSync(uint32_t timeout) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadSync(FCanHnd, timeout) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::ReadSyncSpecific(int32_t id, uint32_t timeout) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadSyncSpecific(FCanHnd, id, timeout) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::ReadSpecificSkip(int32_t id, void* msg, uint32_t& dlc, uint32_t& flags,
                                        uint32_t& Time) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadSpecificSkip(FCanHnd, id, msg, &dlc, &flags, &Time)
               : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::WaitForEvent(uint32_t timeout) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canWaitForEvent(FCanHnd, timeout) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::SetHardwareFilters(int32_t id, uint32_t flag) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canAccept(FCanHnd, id, flag) : canStatusBindingNotUsable;
}

int32_t TCanChannelEx::IoCtl(uint32_t func, void* buf, uint32_t buflen) {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canIoCtl(FCanHnd, func, buf, buflen) : canStatusBindingNotUsable;
}

void TCanChannelEx::FlushTxBufferIfNecessary() {
    if (!GatewayMode() || !BootModeForced()) {
        return;
    }
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return;
    }
    uint32_t waiting = 0;
    if (lib->canIoCtl(FCanHnd, CanLib::IoCtlTxBufferLevel, &waiting, sizeof(waiting)) == 0 &&
        waiting >= 2) {
        lib->canIoCtl(FCanHnd, CanLib::IoCtlFlushTxBuffer, nullptr, 0);
    }
}

// ---- channel information -----------------------------------------------------------------------

uint32_t TCanChannelEx::ChannelCount() const {
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return 0;
    }
    int32_t count = 0;
    // A negative count would read as billions of channels to a caller that loops over them.
    if (lib->canGetNumberOfChannels(&count) != 0 || count < 0) {
        return 0;
    }
    return static_cast<uint32_t>(count);
}

std::wstring TCanChannelEx::GetChannelNames(int32_t idx) const {
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return {};
    }
    // One byte more than the library is told, so the name always ends in a zero byte.
    std::vector<char> buffer(CanLib::ChannelNameBufferSize + 1, 0);
    lib->canGetChannelData(idx, CanLib::ItemChannelName, buffer.data(),
                           CanLib::ChannelNameBufferSize);
    const std::wstring name = TextOfAnsi(buffer.data());
    if (!GatewayMode() || !IsGatewayChannelName(name)) {
        return name;
    }
    // A library that delivers no EAN must read as zeros, not as the first bytes of the name.
    std::fill_n(buffer.begin(), 8, 0);
    lib->canGetChannelData(idx, CanLib::ItemEan, buffer.data(), CanLib::ChannelNameBufferSize);
    std::array<uint8_t, 8> ean{};
    memcpy(ean.data(), buffer.data(), ean.size());
    return GatewayChannelName(name, EanTextOfBytes(ean));
}

std::wstring TCanChannelEx::GetChannelFirmware(int32_t idx) const {
    const TCanEntries* lib = UsableCanEntries();
    if (!lib) {
        return {};
    }
    std::array<uint8_t, 8> words{};
    lib->canGetChannelData(idx, CanLib::ItemFirmware, words.data(),
                           static_cast<uint32_t>(words.size()));
    return FirmwareTextOfWords(words);
}

uint32_t TCanChannelEx::ChannelStatus() const {
    const TCanEntries* lib = UsableCanEntries();
    uint32_t bits = 0;
    if (!lib || lib->canReadStatus(FCanHnd, &bits) != 0) {
        return 0;
    }
    return bits;
}

uint32_t TCanChannelEx::Now() const {
    const TCanEntries* lib = UsableCanEntries();
    return lib ? lib->canReadTimer(FCanHnd) : 0;
}

uint32_t TCanChannelEx::ErrorCounter(int Which) const {
    const TCanEntries* lib = UsableCanEntries();
    uint32_t counters[3] = {};
    if (!lib || lib->canReadErrorCounters(FCanHnd, &counters[0], &counters[1], &counters[2]) != 0) {
        return 0;
    }
    return counters[Which];
}

// ---- notifications -----------------------------------------------------------------------------

void TCanChannelEx::HandleNotification(LPARAM lParam) {
    switch (LOWORD(lParam)) {
    case CanLib::EventRx:
        Fire(FOnCanRx, this);
        break;
    case CanLib::EventTx:
        Fire(FOnCanTx, this);
        FlushTxBufferIfNecessary();
        break;
    case CanLib::EventError:
        Fire(FOnCanErr, this);
        break;
    case CanLib::EventStatus: {
        const TCanEntries* lib = UsableCanEntries();
        uint32_t bits = 0;
        if (!lib || lib->canReadStatus(FCanHnd, &bits) != 0) {
            bits = 0;
        }
        if ((bits & CanLib::StatusFlushAndOffBus) == CanLib::StatusFlushAndOffBus) {
            lib->canIoCtl(FCanHnd, CanLib::IoCtlFlushTxBuffer, nullptr, 0);
            SetBusActive(false);
        }
        if (bits & CanLib::StatusOffBus) {
            SetBusActive(false);
        }
        StateChanged();
        break;
    }
    default:
        break;
    }
}

LRESULT CALLBACK TCanChannelEx::NotifyWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto* channel = reinterpret_cast<TCanChannelEx*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!channel || message != CanLib::NotifyMessage || !channel->FActive) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // Handlers run here, inside the system's dispatch: their errors are reported, not thrown.
    try {
        channel->HandleNotification(lParam);
    } catch (const std::exception& error) {
        NotifyErrorHandler()(error);
    } catch (...) {
        NotifyErrorHandler()(Exception(L"Unknown error in a CAN notification handler"));
    }
    return 0;
}
