// Shared value types of the updater (versions, CAN messages, the common error class) and the
// installation look-ups every part needs: registry readers, system and program folders, tracing.
// The text helpers they use are in TextUnit.
// Portable declarations first; the Windows-only ones are at the end.
#pragma once

#include "TextUnit.h"

#include <array>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

// The general error class: every error the updater raises derives from it and carries a
// message fit to be shown to the user as it is.
class Exception : public std::exception {
public:
    explicit Exception(std::wstring message);
    const std::wstring& Message() const noexcept { return FMessage; }
    // UTF-8 form of the message, for std::exception users (test output, logs).
    const char* what() const noexcept override { return FNarrow.c_str(); }

private:
    std::wstring FMessage;
    std::string FNarrow;
};

// A text that does not convert to the number asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A four-part version number; compared on its packed 64-bit form.
struct TVersion {
    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
    bool Valid = false;

    constexpr TVersion() = default;
    constexpr TVersion(uint16_t aMajor, uint16_t aMinor, uint16_t aRelease, uint16_t aBuild,
                       bool aValid)
        : Major(aMajor), Minor(aMinor), Release(aRelease), Build(aBuild), Valid(aValid) {}
    // The implicit conversion from text: FromString(text, 3, 0) on a fresh record.
    TVersion(const std::wstring& text); // NOLINT(google-explicit-constructor)
    TVersion(const wchar_t* text);      // NOLINT(google-explicit-constructor)

    void FromString(const std::wstring& Data, int32_t RequiredPartsCount,
                    uint16_t ValueToUseForMissingParts);
    std::wstring ToString(int32_t PartsCount) const;
    uint64_t ToU64() const;
    bool GreaterThan(const TVersion& OtherVersion, bool AllowEqual) const;
    bool LessThan(const TVersion& OtherVersion, bool AllowEqual) const;
    bool InRange(const TVersion& LowVersion, const TVersion& HighVersion, bool AllowEqual) const;
    bool IsValid() const { return Valid; }
};

// The data field of one CAN frame.
using TSdCanData = std::array<uint8_t, 8>;
using U8Array = std::vector<uint8_t>;

// One CAN message as the back-ends exchange it. Len never exceeds 8.
struct TCanMsg {
    uint32_t ID = 0;
    bool Ext = false;
    bool Echo = false;
    uint32_t Len = 0;
    TSdCanData Data{};
    uint32_t TimeStamp = 0;
    float TimeStampF32 = 0.0f;

    static TCanMsg Create(uint32_t aID, std::span<const uint8_t> aData, bool aExt, bool aEcho,
                          uint32_t aTimeStamp);
    U8Array GetData() const;
    void SetData(std::span<const uint8_t> aValue);
};

// The text as it comes back from the system's 8-bit (ANSI) code page: characters that code page
// cannot hold do not survive.
std::wstring ThroughAnsiCodePage(const std::wstring& text);

#ifdef _WIN32
#include "WinApi.h"

// A registry look-up failure of ReadRegistryStringStrict.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// Registry views of ReadRegistryStringStrict.
constexpr uint8_t RegistryView64 = 1;
constexpr uint8_t RegistryView32 = 2;

// A text value in the process's own view; empty text on any failure. Never raises.
std::wstring ReadRegistryString(HKEY Root, const std::wstring& KeyPath,
                                const std::wstring& ValueName);
// A text value in the given view; raises ERegistryException when key or value are missing or the
// value is not text.
std::wstring ReadRegistryStringStrict(HKEY Root, const std::wstring& KeyPath,
                                      const std::wstring& ValueName, uint8_t View);

// Folders, each computed on first use and kept until the program ends.
const std::wstring& GetSystemFolder(); // with a trailing path delimiter
const std::wstring& GetExeFileName();
const std::wstring& GetExeFolder(); // with a trailing path delimiter
// Whether a file (not a folder) of this name exists.
bool FileExists(const std::wstring& Path);

// "(Quorvel) hh:mm:ss.zzz Text" to the debugger output when Enabled.
void DebugTrace(const std::wstring& Text, bool Enabled);
// The line DebugTrace sends, for the given local time (hours, minutes, seconds, milliseconds).
std::wstring FormatDebugTraceLine(const std::wstring& Text, const SYSTEMTIME& LocalTime);
#endif
