// Portable side of UniversalTypesUnit: the error class, TVersion, TCanMsg and text conversions.
#include "UniversalTypesUnit.h"

#include <algorithm>
#include <limits>

Exception::Exception(std::wstring message)
    : FMessage(std::move(message)), FNarrow(WideToUtf8(FMessage)) {}

// ---- text conversions --------------------------------------------------------------------------

bool TryTextToInt64(const std::wstring& text, int64_t& value) {
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }
    if (pos == text.size()) {
        return false;
    }
    // Accumulate as a negative number so that the most negative value fits as well.
    int64_t result = 0;
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    for (; pos < text.size(); ++pos) {
        const wchar_t c = text[pos];
        if (c < L'0' || c > L'9') {
            return false;
        }
        const int digit = c - L'0';
        if (result < (lowest + digit) / 10) {
            return false;
        }
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == lowest) {
            return false;
        }
        result = -result;
    }
    value = result;
    return true;
}

bool TryTextToInt32(const std::wstring& text, int32_t& value) {
    int64_t wide = 0;
    if (!TryTextToInt64(text, wide) || wide < std::numeric_limits<int32_t>::min() ||
        wide > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = static_cast<int32_t>(wide);
    return true;
}

int32_t StrToInt(const std::wstring& text) {
    int32_t value = 0;
    if (!TryTextToInt32(text, value)) {
        throw EConvertError(L"'" + text + L"' is not a valid integer value");
    }
    return value;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            // Join surrogate pairs; a lone surrogate becomes U+FFFD.
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() &&
                static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
                static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
                cp =
                    0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
                ++i;
            } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = 0xFFFD;
            }
        }
        if (cp > 0x10FFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        }
        ++i;
        bool ok = lead < 0x80 || extra > 0;
        for (size_t k = 0; ok && k < extra; ++k, ++i) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = 0xFFFD;
        }
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::vector<std::wstring> SplitAtEvery(const std::wstring& Text, wchar_t Separator) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    for (;;) {
        const size_t at = Text.find(Separator, start);
        if (at == std::wstring::npos) {
            pieces.push_back(Text.substr(start));
            return pieces;
        }
        pieces.push_back(Text.substr(start, at - start));
        start = at + 1;
    }
}

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
