// Portable: the updater's text helpers: trimming, splitting and fields, whole-text numbers, and
// UTF-8 to and from its UTF-16 text.
#include "TextUnit.h"

#include "UniversalTypesUnit.h"

#include <limits>

namespace {

// The code point of the UTF-8 sequence at i, which moves past it; nothing for a sequence that
// is not well-formed (cut short, overlong, a surrogate or beyond U+10FFFF), i then past its
// first byte.
std::optional<uint32_t> NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    size_t extra = 0;
    uint32_t cp = 0;
    uint32_t least = 0; // the smallest value that needs this many bytes
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07u, least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (size_t k = 0; k < extra; ++k, ++i) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return cp;
}

// Blanks and control characters, as trimming takes them off.
bool IsTrimmed(wchar_t c) {
    return c <= L' ';
}

} // namespace

// ---- trimming, splitting and fields ------------------------------------------------------------

std::wstring Trim(std::wstring_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsTrimmed(text[first])) {
        ++first;
    }
    while (last > first && IsTrimmed(text[last - 1])) {
        --last;
    }
    return std::wstring(text.substr(first, last - first));
}

int SplitString(const std::wstring& Text, wchar_t Separator, TStrings* List, bool TrimParts) {
    if (!List) {
        return 0;
    }
    const std::wstring_view text(Text);
    auto add = [&](std::wstring_view piece) {
        List->Add(TrimParts ? Trim(piece) : std::wstring(piece));
    };
    size_t start = 0;
    for (size_t sep = text.find(Separator); sep != std::wstring_view::npos;
         sep = text.find(Separator, start)) {
        add(text.substr(start, sep - start));
        start = sep + 1;
    }
    if (start < text.size()) {
        add(text.substr(start));
    }
    return static_cast<int>(List->Count());
}

std::wstring GetField(const std::wstring& Text, int Index, wchar_t Separator) {
    if (Index < 1) {
        return {};
    }
    size_t start = 0;
    for (int field = 1; field < Index; ++field) {
        const size_t sep = Text.find(Separator, start);
        if (sep == std::wstring::npos) {
            return {};
        }
        start = sep + 1;
    }
    const size_t end = Text.find(Separator, start);
    return Text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
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

// ---- numbers -----------------------------------------------------------------------------------

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

bool TryTextToByte(const std::wstring& Text, uint8_t& Value) {
    int64_t number = 0;
    if (TryTextToInt64(Text, number) && number >= 0 && number <= 255) {
        Value = static_cast<uint8_t>(number);
        return true;
    }
    Value = 0;
    return false;
}

// ---- UTF-8 and UTF-16 --------------------------------------------------------------------------

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
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = NextCodePoint(text, i).value_or(0xFFFD);
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

bool IsUtf8(std::string_view Bytes) {
    for (size_t i = 0; i < Bytes.size();) {
        if (!NextCodePoint(Bytes, i)) {
            return false;
        }
    }
    return true;
}
