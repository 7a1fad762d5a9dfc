// Portable side of UniversalTypesUnit: the error class, TVersion and TCanMsg.
#include "UniversalTypesUnit.h"

#include "TextUnit.h"

#include <algorithm>
#include <limits>

Exception::Exception(std::wstring message)
    : FMessage(std::move(message)), FNarrow(WideToUtf8(FMessage)) {}

// ---- TVersion ----------------------------------------------------------------------------------

TVersion::TVersion(const std::wstring& text) {
    FromString(text, 3, 0);
}

TVersion::TVersion(const wchar_t* text) {
    FromString(text ? std::wstring(text) : std::wstring(), 3, 0);
}

void TVersion::FromString(const std::wstring& Data, int32_t RequiredPartsCount,
                          uint16_t ValueToUseForMissingParts) {
    Valid = false;
    Major = Minor = Release = Build = ValueToUseForMissingParts;

    // An empty text has no parts at all.
    std::vector<std::wstring> parts;
    if (!Data.empty()) {
        parts = SplitAtEvery(Data, L'.');
    }

    // Empty parts are dropped unless the very first part is empty: then nothing is dropped and
    // that part fails to convert below.
    for (;;) {
        const auto empty = std::find_if(parts.begin(), parts.end(),
                                        [](const std::wstring& p) { return p.empty(); });
        if (empty == parts.end() || empty == parts.begin()) {
            break;
        }
        parts.erase(empty);
    }

    const auto count = static_cast<int64_t>(parts.size());
    if (count < RequiredPartsCount || count > 4) {
        return;
    }

    Valid = true;
    uint16_t* const fields[4] = {&Major, &Minor, &Release, &Build};
    for (size_t i = 0; i < parts.size(); ++i) {
        int32_t value = 0;
        if (TryTextToInt32(parts[i], value) && value >= 0 && value <= 65535) {
            *fields[i] = static_cast<uint16_t>(value);
        } else {
            Valid = false;
        }
    }
}

std::wstring TVersion::ToString(int32_t PartsCount) const {
    if (!Valid || PartsCount < 1 || PartsCount > 4) {
        return {};
    }
    const uint16_t fields[4] = {Major, Minor, Release, Build};
    std::wstring text = std::to_wstring(fields[0]);
    for (int32_t i = 1; i < PartsCount; ++i) {
        text += L'.';
        text += std::to_wstring(fields[i]);
    }
    return text;
}

uint64_t TVersion::ToU64() const {
    if (!Valid) {
        return 0;
    }
    return (static_cast<uint64_t>(Major) << 48) | (static_cast<uint64_t>(Minor) << 32) |
           (static_cast<uint64_t>(Release) << 16) | static_cast<uint64_t>(Build);
}

bool TVersion::GreaterThan(const TVersion& OtherVersion, bool AllowEqual) const {
    const uint64_t a = ToU64();
    const uint64_t b = OtherVersion.ToU64();
    return a > b || (AllowEqual && a == b);
}

bool TVersion::LessThan(const TVersion& OtherVersion, bool AllowEqual) const {
    const uint64_t a = ToU64();
    const uint64_t b = OtherVersion.ToU64();
    return a < b || (AllowEqual && a == b);
}

bool TVersion::InRange(const TVersion& LowVersion, const TVersion& HighVersion,
                       bool AllowEqual) const {
    return GreaterThan(LowVersion, AllowEqual) && LessThan(HighVersion, AllowEqual);
}

// ---- TCanMsg -----------------------------------------------------------------------------------

TCanMsg TCanMsg::Create(uint32_t aID, std::span<const uint8_t> aData, bool aExt, bool aEcho,
                        uint32_t aTimeStamp) {
    TCanMsg msg;
    msg.ID = aID;
    msg.SetData(aData);
    msg.Ext = aExt;
    msg.Echo = aEcho;
    msg.TimeStamp = aTimeStamp;
    msg.TimeStampF32 = static_cast<float>(static_cast<double>(aTimeStamp) / 1000.0);
    return msg;
}

U8Array TCanMsg::GetData() const {
    const size_t len = std::min<size_t>(Len, Data.size());
    return U8Array(Data.begin(), Data.begin() + static_cast<std::ptrdiff_t>(len));
}

void TCanMsg::SetData(std::span<const uint8_t> aValue) {
    Len = static_cast<uint32_t>(std::min<size_t>(aValue.size(), Data.size()));
    std::copy_n(aValue.begin(), Len, Data.begin());
}
