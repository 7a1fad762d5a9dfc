// Portable side of UniversalUnit: version comparison of the driver package, the suite version
// and the error catalogue.
#include "UniversalUnit.h"

#include <algorithm>
#include <array>
#include <cwctype>

// ---- driver package check ----------------------------------------------------------------------

const TVersion& MinDriverVersion() {
    static const TVersion version(L"2.0.4");
    return version;
}

TDriverCheckResult CompareDriverVersion(const TVersion& Installed, const TVersion& Required) {
    // Too new comes first: 3.0.0 is above the minimum but not supported.
    if (Installed.Major > MaxDriverMajor) {
        return dcTooNew;
    }
    if (Installed.Major != Required.Major) {
        return Installed.Major < Required.Major ? dcTooOld : dcOk;
    }
    if (Installed.Minor != Required.Minor) {
        return Installed.Minor < Required.Minor ? dcTooOld : dcOk;
    }
    return Installed.Release < Required.Release ? dcTooOld : dcOk;
}

// ---- suite -------------------------------------------------------------------------------------

TKXVersion GetSuiteVersion() {
    static const TKXVersion suite = [] {
        TKXVersion v;
        v.VersionString = L"8.0.1";
        v.Version = TVersion(v.VersionString);
        v.MajMinStr = v.Version.ToString(2);
        return v;
    }();
    return suite;
}

// ---- error catalogue ---------------------------------------------------------------------------

#define KX_ERROR(Name, Code, Template) const TKXError Name{Code, Template};
#include "UniversalUnitCatalogue.inc"
#undef KX_ERROR

namespace {

// Every entry, in the order of the list, which is ascending by code.
constexpr const TKXError* Catalogue[] = {
#define KX_ERROR(Name, Code, Template) &Name,
#include "UniversalUnitCatalogue.inc"
#undef KX_ERROR
};

constexpr int32_t CodeWithFixedText = 460;
constexpr wchar_t FixedTextOf460[] =
    L"Download buffer size exceeds max size: 300 MB for hardware that lacks multi section support";

[[noreturn]] void ThrowFormatError(const std::wstring& templateText) {
    throw EConvertError(L"Format '" + templateText + L"' invalid or incompatible with argument");
}

std::wstring FormatNumber(const TKXError::Arg& arg, wchar_t kind, int precision,
                          const std::wstring& templateText) {
    const auto* number = std::get_if<int64_t>(&arg);
    if (!number) {
        ThrowFormatError(templateText);
    }
    std::wstring digits;
    bool negative = false;
    if (kind == L'd') {
        negative = *number < 0;
        uint64_t magnitude =
            negative ? 0 - static_cast<uint64_t>(*number) : static_cast<uint64_t>(*number);
        digits = std::to_wstring(magnitude);
    } else {
        // %u and %x show the 32-bit unsigned form, as the suite's 32-bit tools do.
        const auto value = static_cast<uint32_t>(*number);
        if (kind == L'u') {
            digits = std::to_wstring(value);
        } else {
            constexpr wchar_t hex[] = L"0123456789ABCDEF";
            uint32_t rest = value;
            do {
                digits.insert(digits.begin(), hex[rest % 16]);
                rest /= 16;
            } while (rest != 0);
        }
    }
    if (precision > 0 && digits.size() < static_cast<size_t>(precision)) {
        digits.insert(0, static_cast<size_t>(precision) - digits.size(), L'0');
    }
    return negative ? L"-" + digits : digits;
}

} // namespace

std::wstring FormatError(const TKXError& Entry, const std::vector<TKXError::Arg>& Args) {
    const std::wstring& t = Entry.templateStr;
    std::wstring out;
    size_t next = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != L'%') {
            out += t[i];
            continue;
        }
        size_t j = i + 1;
        if (j < t.size() && t[j] == L'%') {
            out += L'%';
            i = j;
            continue;
        }
        bool leftAlign = false;
        if (j < t.size() && t[j] == L'-') {
            leftAlign = true;
            ++j;
        }
        int width = 0;
        while (j < t.size() && t[j] >= L'0' && t[j] <= L'9') {
            width = std::min(width * 10 + (t[j++] - L'0'), 1000);
        }
        int precision = -1;
        if (j < t.size() && t[j] == L'.') {
            precision = 0;
            ++j;
            while (j < t.size() && t[j] >= L'0' && t[j] <= L'9') {
                precision = std::min(precision * 10 + (t[j++] - L'0'), 1000);
            }
        }
        if (j >= t.size() || next >= Args.size()) {
            ThrowFormatError(t);
        }
        const wchar_t kind = static_cast<wchar_t>(towlower(t[j]));
        std::wstring piece;
        if (kind == L's') {
            const auto* text = std::get_if<std::wstring>(&Args[next]);
            if (!text) {
                ThrowFormatError(t);
            }
            piece = precision >= 0 ? text->substr(0, static_cast<size_t>(precision)) : *text;
        } else if (kind == L'd' || kind == L'u' || kind == L'x') {
            piece = FormatNumber(Args[next], kind, precision, t);
        } else {
            ThrowFormatError(t);
        }
        ++next;
        if (piece.size() < static_cast<size_t>(width)) {
            const std::wstring pad(static_cast<size_t>(width) - piece.size(), L' ');
            piece = leftAlign ? piece + pad : pad + piece;
        }
        out += piece;
        i = j;
    }
    return out;
}

TKXError TKXError::Create(const TKXError& aError, const std::vector<Arg>& aArgs) {
    return TKXError{aError.ErrorCode, FormatError(aError, aArgs)};
}

TKXError TKXError::Create(const TKXError& aError) {
    return Create(aError, {});
}

TKXError TKXError::Create(int32_t aErrorCode, const std::wstring& aMessage) {
    return TKXError{aErrorCode, aMessage};
}

TKXError LookupError(int32_t Code) {
    const auto* const* end = std::end(Catalogue);
    const auto* const* found =
        std::lower_bound(std::begin(Catalogue), end, Code, [](const TKXError* entry, int32_t code) {
            return entry->ErrorCode < code;
        });
    if (found == end || (*found)->ErrorCode != Code) {
        return TKXError::Create(ErrInvalidErrorCode, {std::to_wstring(Code)});
    }
    if (Code == CodeWithFixedText) {
        return TKXError{Code, FixedTextOf460};
    }
    return **found;
}

std::wstring GetErrorText(int32_t Code, const std::wstring& Params) {
    // The leading comma makes item 0 always empty; items 1..10 are the parameters.
    const std::vector<std::wstring> items = SplitAtEvery(L"," + Params, L',');
    constexpr size_t ArgumentCount = 10;
    std::vector<TKXError::Arg> args;
    args.reserve(ArgumentCount);
    for (size_t k = 1; k <= ArgumentCount; ++k) {
        args.emplace_back(k < items.size() ? ThroughAnsiCodePage(items[k]) : std::wstring());
    }
    return FormatError(LookupError(Code), args);
}
