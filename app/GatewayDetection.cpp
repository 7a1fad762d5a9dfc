// Portable: recognising the gateway among the channels (see GatewayDetection.h).
#include "GatewayDetection.h"

#include "TextUnit.h"
#include "UniversalTypesUnit.h"
#include "UniversalUnit.h"

namespace {

const wchar_t GatewayNamePrefix[] = L"VG730 #";
constexpr size_t GatewayNamePrefixLength = sizeof(GatewayNamePrefix) / sizeof(wchar_t) - 1;

uint16_t AsWord(int32_t Part) {
    return static_cast<uint16_t>(static_cast<uint32_t>(Part) & 0xFFFFu);
}

bool IsGatewayName(const std::wstring& Name) {
    return Name.starts_with(GatewayNamePrefix) && Name.find(L"Virtual") == std::wstring::npos;
}

} // namespace

bool FirmwareIsUpToDate(int32_t Major, int32_t Minor, int32_t Build) {
    return AsWord(Major) > NewFirmwareMajor || AsWord(Minor) > NewFirmwareMinor ||
           AsWord(Build) >= NewFirmwareBuild;
}

void ScanChannel(const std::wstring& Name, const std::wstring& Firmware, TGatewayScan& Scan,
                 std::wstring& ChannelId) {
    if (Firmware.empty()) {
        return;
    }
    TStrings parts;
    if (SplitString(Firmware, L'.', &parts, true) != 3) {
        return;
    }
    const int32_t major = StrToInt(parts[0]);
    const int32_t minor = StrToInt(parts[1]);
    const int32_t build = StrToInt(parts[2]);
    if (!IsGatewayName(Name)) {
        return;
    }
    const std::wstring number = GetField(Name.substr(GatewayNamePrefixLength), 1, L' ');
    uint8_t device = 0;
    const bool numberRead = TryTextToByte(number, device);
    ++Scan.GatewayCount;
    Scan.FirmwareVersion = Firmware;
    if (numberRead) {
        ChannelId = std::to_wstring(device);
        Scan.Status = FirmwareIsUpToDate(major, minor, build) ? fsUpToDate : fsUpdateAvailable;
    }
}

TGatewayDisplay DisplayOf(const TGatewayScan& Scan) {
    switch (Scan.GatewayCount) {
    case 0:
        return {L"No VG730 connected", L"", false};
    case 1:
        return {L"VG730 connected", L"Current firmware: " + Scan.FirmwareVersion,
                Scan.Status == fsUpdateAvailable};
    default:
        return {L"Multiple VG730 devices connected", L"Connect a single VG730", false};
    }
}
