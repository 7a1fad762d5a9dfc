// The CAN channel: TCanChannelEx, the system's object for one channel of the vendor CAN library,
// with the channel naming the gateway detection matches and the firmware version text.
// Portable declarations first (types, naming and firmware text); the channel itself, which
// calls the library and owns a window, is Windows-only and declared at the end.
#pragma once

#include "Can.h"
#include "Component.h"
#include "EnumSet.h"
#include "UniversalTypesUnit.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Misuse of a channel: "Channel is active", "Channel is on-bus", "Illegal index".
class ECanChan : public Exception {
public:
    using Exception::Exception;
};

enum TCanChanOption : uint8_t { ccNotExclusive = 0, ccNoVirtual = 1 };
using TCanChanOptions = TSet<TCanChanOption>;

enum TCanChanDrivers : uint8_t { ccNormal = 0, ccSilent = 1 };

enum TCanChanNotifyFlag : uint8_t {
    ccNotifyRx = 0,
    ccNotifyTx = 1,
    ccNotifyStatus = 2,
    ccNotifyError = 3,
};
using TCanChanNotifyFlags = TSet<TCanChanNotifyFlag>;

// Called after each accepted write with what was written.
using TCanWriteEvent =
    std::function<void(TObject* Sender, int32_t id, const void* msg, int32_t dlc, int32_t flag)>;

// Library constants the channel uses.
namespace CanLib {
constexpr int32_t OpenExclusive = 0x08;
constexpr int32_t OpenAcceptVirtual = 0x20;
constexpr int32_t OpenAlways = 0x80;

constexpr uint32_t NotifyRx = 0x01;
constexpr uint32_t NotifyTx = 0x02;
constexpr uint32_t NotifyError = 0x04;
constexpr uint32_t NotifyStatus = 0x08;

constexpr uint32_t DriverNormal = 4;
constexpr uint32_t DriverSilent = 1;

constexpr uint32_t MsgStandard = 0x02;
constexpr uint32_t MsgExtended = 0x04;
constexpr uint32_t MsgErrorFrame = 0x20;

constexpr uint32_t StatusOffBus = 0x02;
constexpr uint32_t StatusFlushAndOffBus = 0x81; // only both bits together

constexpr int32_t ItemFirmware = 9;
constexpr int32_t ItemEan = 11;
constexpr int32_t ItemChannelName = 13;
constexpr uint32_t ChannelNameBufferSize = 262144;

constexpr uint32_t IoCtlFlushTxBuffer = 11;
constexpr uint32_t IoCtlTxBufferLevel = 9;
constexpr uint32_t IoCtlOpenSetting = 20; // set to 1 at every open

constexpr int32_t Bitrate50K = -7; // predefined bit-rate code of 50 kbit/s

// The window message of the library's notifications, and the event codes in its lParam.
constexpr unsigned NotifyMessage = 17378;
constexpr uint16_t EventRx = 32000;
constexpr uint16_t EventTx = 32001;
constexpr uint16_t EventError = 32002;
constexpr uint16_t EventStatus = 32003;
} // namespace CanLib

// Major, "." and Minor with at least two digits, "." and Build: 2, 5, 177 gives "2.05.177".
std::wstring FormatFirmwareVersion(uint32_t Major, uint32_t Minor, uint32_t Build);
// The firmware text of the 8 bytes the library gives for item 9: build at byte 0, minor at 4,
// major at 6, each an unsigned 16-bit little-endian word.
std::wstring FirmwareTextOfWords(const std::array<uint8_t, 8>& Words);

// The 16 upper-case hexadecimal digits of the 8 EAN bytes, from byte 7 down to byte 0.
std::wstring EanTextOfBytes(const std::array<uint8_t, 8>& Bytes);
// Whether a library channel name is one gateway mode renames: it holds "VG730" (case-sensitive).
bool IsGatewayChannelName(const std::wstring& Name);
// The name a gateway channel is reported under, from the library's name and EAN text:
// "VG730" or "VG730-2" and the name's part from " #" on for the gateway's two EANs; a virtual
// channel's name unchanged; any other name with " EAN: " and the EAN appended.
std::wstring GatewayChannelName(const std::wstring& Name, const std::wstring& Ean);
inline constexpr wchar_t GatewayEan[] = L"0007300099001237";
inline constexpr wchar_t Gateway2Ean[] = L"0007300099002005";

// The flags canOpenChannel is called with for the options.
int32_t OpenFlagsOf(TCanChanOptions Options);
// The library's notification bits for the flags.
uint32_t NotifyBitsOf(TCanChanNotifyFlags Flags);

#ifdef _WIN32
#include "WinApi.h"
#include "WinHandles.h"

// Reports an error raised by an event handler while a notification is handled: no C++ error
// may cross the system's frames. The default shows it in a modal error box; the program
// replaces it with its own error report, tests with a recorder.
using TCanNotifyErrorHandler = std::function<void(const std::exception& Error)>;
void SetCanNotifyErrorHandler(TCanNotifyErrorHandler Handler);

class TCanChannelEx : public TComponent {
public:
    // Loads the library; a library that does not load or reports no channel leaves the channel
    // LoadFailed (never raised).
    explicit TCanChannelEx(TComponent* AOwner);
    // Closes the channel if it is open; the library stays loaded.
    ~TCanChannelEx() override;

    // Opens the channel; it ends open also when the library refuses the open (a negative CanHnd)
    // or the bus parameters (CanHnd -1: the library closed the handle).
    void Open();
    void Close();
    void BusOn() { SetBusActive(true); }
    void BusOff() { SetBusActive(false); }

    // Pass-through operations: the library's status as it comes, with the handle as it is.
    int32_t write(int32_t id, const void* msg, int32_t dlc, int32_t flags);
    int32_t WriteSync(uint32_t timeout);
    int32_t read(int32_t& id, void* msg, uint32_t& dlc, uint32_t& flags, uint32_t& Time);
    int32_t ReadWait(int32_t& id, void* msg, uint32_t& dlc, uint32_t& flags, uint32_t& Time,
                     uint32_t timeout);
    int32_t ReadSpecific(int32_t id, void* msg, uint32_t& dlc, uint32_t& flags, uint32_t& Time);
    int32_t ReadSync(uint32_t timeout);
    int32_t ReadSyncSpecific(int32_t id, uint32_t timeout);
    int32_t ReadSpecificSkip(int32_t id, void* msg, uint32_t& dlc, uint32_t& flags, uint32_t& Time);
    int32_t WaitForEvent(uint32_t timeout);
    int32_t SetHardwareFilters(int32_t id, uint32_t flag);
    int32_t IoCtl(uint32_t func, void* buf, uint32_t buflen);

    // In gateway mode with boot mode forced: flushes a transmit buffer holding 2 or more.
    void FlushTxBufferIfNecessary();

    std::wstring GetChannelNames(int32_t idx) const;
    std::wstring GetChannelFirmware(int32_t idx) const;

    // ---- properties ----
    bool LoadFailed() const { return FDllFailed; }
    HWND WinHandle() const { return FWinHandle; }
    void SetWinHandle(HWND Value);
    TCanHandle CanHnd() const { return FCanHnd; }
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    bool BusActive() const { return FBusActive; }
    void SetBusActive(bool Value);

    TNotifyEvent OnCanRx() const { return GetEvent(1); }
    void SetOnCanRx(TNotifyEvent Handler) { SetEvent(1, std::move(Handler)); }
    TNotifyEvent OnCanTx() const { return GetEvent(2); }
    void SetOnCanTx(TNotifyEvent Handler) { SetEvent(2, std::move(Handler)); }
    TNotifyEvent OnStateChanged() const { return GetEvent(3); }
    void SetOnStateChanged(TNotifyEvent Handler) { SetEvent(3, std::move(Handler)); }
    TNotifyEvent OnCanError() const { return GetEvent(4); }
    void SetOnCanError(TNotifyEvent Handler) { SetEvent(4, std::move(Handler)); }
    // The four events by index: 1 OnCanRx, 2 OnCanTx, 3 OnStateChanged, 4 OnCanError. Other
    // indexes read no handler and store nothing.
    TNotifyEvent GetEvent(int Index) const;
    void SetEvent(int Index, TNotifyEvent Handler);

    TCanWriteEvent OnWrite() const { return FOnWrite; }
    void SetOnWrite(TCanWriteEvent Handler) { FOnWrite = std::move(Handler); }

    int32_t channel() const { return FChannel; }
    void SetChannel(int32_t Value);
    TCanChanOptions options() const { return FOptions; }
    void SetOptions(TCanChanOptions Value);
    TCanChanDrivers driver() const { return FDriver; }
    void SetDriver(TCanChanDrivers Value);
    int32_t BitRate() const { return FBitRate; }
    void SetBitRate(int32_t Value);

    int32_t TSeg1() const { return GetTiming(1); }
    void SetTSeg1(int32_t Value) { SetTiming(1, Value); }
    int32_t TSeg2() const { return GetTiming(2); }
    void SetTSeg2(int32_t Value) { SetTiming(2, Value); }
    int32_t SJW() const { return GetTiming(3); }
    void SetSJW(int32_t Value) { SetTiming(3, Value); }
    int32_t Samples() const { return GetTiming(4); }
    void SetSamples(int32_t Value) { SetTiming(4, Value); }
    // The four timing values by index: 1 TSeg1, 2 TSeg2, 3 SJW, 4 Samples. Reading another index
    // raises "Illegal index"; writing one stores nothing.
    int32_t GetTiming(int Index) const;
    void SetTiming(int Index, int32_t Value);

    // The notifications requested from the library.
    TCanChanNotifyFlags NotifyFlags() const { return FNotifyFlags; }

    // Computed on each read.
    uint32_t ChannelCount() const;
    std::wstring ChannelName() const { return GetChannelNames(FChannel); }
    std::wstring ChannelNames(int32_t idx) const { return GetChannelNames(idx); }
    std::wstring ChannelFirmware(int32_t idx) const { return GetChannelFirmware(idx); }
    uint32_t ChannelStatus() const;
    uint32_t Now() const;
    uint32_t TransmitErrors() const { return ErrorCounter(0); }
    uint32_t ReceiveErrors() const { return ErrorCounter(1); }
    uint32_t Overruns() const { return ErrorCounter(2); }

private:
    void ApplyBusParameters();
    void ChangeNotifyFlags(TCanChanNotifyFlags Flags);
    void StateChanged();
    void HandleNotification(LPARAM lParam);
    uint32_t ErrorCounter(int Which) const;
    static LRESULT CALLBACK NotifyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateNotifyWindow();

    bool FDllFailed = false;
    HWND FWinHandle = nullptr;
    TCanHandle FCanHnd = -1;
    bool FActive = false;
    bool FBusActive = false;
    TNotifyEvent FOnCanRx;
    TNotifyEvent FOnCanTx;
    TNotifyEvent FOnCanErr;
    TCanWriteEvent FOnWrite;
    TNotifyEvent FOnStateChanged;
    int32_t FChannel = 0;
    TCanChanOptions FOptions;
    TCanChanDrivers FDriver = ccNormal;
    int32_t FBitRate = 1000000;
    int32_t FTseg1 = 4;
    int32_t FTseg2 = 3;
    int32_t FSjw = 1;
    int32_t FNoSamp = 1;
    TCanChanNotifyFlags FNotifyFlags;
    // The hidden window this channel created; WinHandle may name another one.
    UniqueHwnd FNotifyWindow;
};
#endif
