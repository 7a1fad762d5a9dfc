// Portable: how the main window recognises one connected VG730 among the channels the CAN
// library lists, and what it then shows. The window reads each channel's name and firmware text;
// everything decided from them lives here.
#pragma once

#include <cstdint>
#include <string>

enum TVG730FirmwareStatus : uint8_t {
    fsUnknown = 0,        // no gateway evaluated, or its channel number was not read
    fsUpToDate = 1,       // passes the up-to-date test
    fsUpdateAvailable = 2 // fails it
};

// The firmware the updater brings: 2.05.177.
inline constexpr uint32_t NewFirmwareMajor = 2;
inline constexpr uint32_t NewFirmwareMinor = 5;
inline constexpr uint32_t NewFirmwareBuild = 177;

// Each part taken as an unsigned 16-bit number (the integer modulo 65536) and tested on its own:
// major above 2, or minor above 5, or build 177 and above. Not an ordering of versions: 2.04.200
// and 1.08.000 pass too.
bool FirmwareIsUpToDate(int32_t Major, int32_t Minor, int32_t Build);

// What one refresh has found so far.
struct TGatewayScan {
    int GatewayCount = 0;
    TVG730FirmwareStatus Status = fsUnknown;
    std::wstring FirmwareVersion; // of the last gateway found
};

// Looks at one channel. A firmware text that is empty or not of three parts hides the channel.
// Its three parts are converted before the name is looked at: a part that is no integer raises
// EConvertError, whatever the channel. A gateway's name begins with "VG730 #" and holds no
// "Virtual"; when the text after "#" up to the first blank is a number from 0 to 255, ChannelId
// becomes that number and Status follows the up-to-date test, else both stay as they were.
void ScanChannel(const std::wstring& Name, const std::wstring& Firmware, TGatewayScan& Scan,
                 std::wstring& ChannelId);

// The two status lines and whether the update may be offered, after a refresh.
struct TGatewayDisplay {
    std::wstring StatusText;
    std::wstring ActionText;
    bool ReadyToUpdate = false;
};
TGatewayDisplay DisplayOf(const TGatewayScan& Scan);
