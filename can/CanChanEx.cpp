// Portable part of the CAN channel: firmware text, gateway channel naming, flag translation.
#include "CanChanEx.h"

#include <cstdio>

std::wstring FormatFirmwareVersion(uint32_t Major, uint32_t Minor, uint32_t Build) {
    wchar_t text[48] = {};
    swprintf(text, 48, L"%u.%02u.%u", static_cast<unsigned>(Major), static_cast<unsigned>(Minor),
             static_cast<unsigned>(Build));
    return text;
}

std::wstring FirmwareTextOfWords(const std::array<uint8_t, 8>& Words) {
    const auto word = [&](size_t at) { return uint32_t{Words[at]} | uint32_t{Words[at + 1]} << 8; };
    return FormatFirmwareVersion(word(6), word(4), word(0));
}

std::wstring EanTextOfBytes(const std::array<uint8_t, 8>& Bytes) {
    static constexpr wchar_t Hex[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(16);
    for (size_t i = Bytes.size(); i-- > 0;) {
        text += Hex[Bytes[i] >> 4];
        text += Hex[Bytes[i] & 0x0F];
    }
    return text;
}

bool IsGatewayChannelName(const std::wstring& Name) {
    return Name.find(L"VG730") != std::wstring::npos;
}

std::wstring GatewayChannelName(const std::wstring& Name, const std::wstring& Ean) {
    const size_t hash = Name.find(L" #");
    const std::wstring suffix = hash == std::wstring::npos ? std::wstring() : Name.substr(hash);
    if (Ean == GatewayEan) {
        return L"VG730" + suffix;
    }
    if (Ean == Gateway2Ean) {
        return L"VG730-2" + suffix;
    }
    if (Name.find(L"Virtual") != std::wstring::npos) {
        return Name;
    }
    return Name + L" EAN: " + Ean;
}

int32_t OpenFlagsOf(TCanChanOptions Options) {
    int32_t flags = CanLib::OpenExclusive | CanLib::OpenAcceptVirtual | CanLib::OpenAlways;
    if (Options.Contains(ccNotExclusive)) {
        flags &= ~CanLib::OpenExclusive;
    }
    if (Options.Contains(ccNoVirtual)) {
        flags &= ~CanLib::OpenAcceptVirtual;
    }
    return flags;
}

uint32_t NotifyBitsOf(TCanChanNotifyFlags Flags) {
    uint32_t bits = 0;
    if (Flags.Contains(ccNotifyRx)) {
        bits |= CanLib::NotifyRx;
    }
    if (Flags.Contains(ccNotifyTx)) {
        bits |= CanLib::NotifyTx;
    }
    if (Flags.Contains(ccNotifyStatus)) {
        bits |= CanLib::NotifyStatus;
    }
    if (Flags.Contains(ccNotifyError)) {
        bits |= CanLib::NotifyError;
    }
    return bits;
}
