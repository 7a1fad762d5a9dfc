// The installation environment of the updater: the driver package check, the maker's tool suite
// and its folders, a text-to-byte conversion, and the error catalogue shared by the suite.
// Portable declarations first; the look-ups that read the registry are Windows-only.
#pragma once

#include "UniversalTypesUnit.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// ---- driver package check ----------------------------------------------------------------------

enum TDriverCheckResult : uint8_t {
    dcOk = 0,           // at least the required version, major supported
    dcTooOld = 1,       // older than the required version
    dcTooNew = 2,       // major number above MaxDriverMajor
    dcNotInstalled = 3, // no valid installed version
};

// The required minimum of the driver package, 2.0.4.
const TVersion& MinDriverVersion();
constexpr uint16_t MaxDriverMajor = 2;

// Compares majors, minors and releases in turn; Build and the Valid flags are not looked at.
// Never dcNotInstalled.
TDriverCheckResult CompareDriverVersion(const TVersion& Installed, const TVersion& Required);

// ---- the maker's tool suite --------------------------------------------------------------------

// Tools of the suite; only these three have an uninstall key.
enum TKorvexProduct : uint8_t {
    kpZedit = 0,       // development tool
    kpDiagnostics = 2, // diagnostics tool, which carries the driver set-up program
    kpBase = 14,       // base installation
};

struct TKXVersion {
    TVersion Version;
    std::wstring VersionString;
    std::wstring MajMinStr;
};

// 8.0.1: the suite whose diagnostics tool holds the driver set-up program.
TKXVersion GetSuiteVersion();

inline constexpr wchar_t DriverSetupProgramName[] = L"VARedidodSetup2.exe";
inline constexpr wchar_t MiscFolderName[] = L"Misc\\";

// ---- error catalogue ---------------------------------------------------------------------------

// One catalogue entry; after formatting, templateStr holds the finished message.
struct TKXError {
    int32_t ErrorCode = 0;
    std::wstring templateStr;

    // An argument of a template: text for "%s"/"%S", a number for "%d", "%u" and "%x".
    using Arg = std::variant<std::wstring, int64_t>;

    static TKXError Create(const TKXError& aError, const std::vector<Arg>& aArgs);
    static TKXError Create(const TKXError& aError);
    static TKXError Create(int32_t aErrorCode, const std::wstring& aMessage);
};

// The named entries, one per code.
#define KX_ERROR(Name, Code, Template) extern const TKXError Name;
#include "UniversalUnitCatalogue.inc"
#undef KX_ERROR

// A copy of the entry of Code; code 460 with its fixed text; the fallback entry 1 (with the
// code filled in) for any code the catalogue does not hold.
TKXError LookupError(int32_t Code);
// The template filled with the arguments in order; raises EConvertError when a placeholder has
// no argument or one of the wrong kind.
std::wstring FormatError(const TKXError& Entry, const std::vector<TKXError::Arg>& Args);
// The finished message of Code, with Params a comma-separated list of texts (no quoting).
std::wstring GetErrorText(int32_t Code, const std::wstring& Params);

#ifdef _WIN32
// ---- Windows-only look-ups ---------------------------------------------------------------------

// The installation folder of a suite tool with a trailing delimiter, or empty text.
std::wstring GetInstallLocation(TKorvexProduct Product, const std::wstring& Suffix);
// The installed driver package version from the registry; invalid when not readable.
TVersion ReadInstalledDriverVersion();
TDriverCheckResult CheckInstalledDriverVersion(const TVersion& Required);
TDriverCheckResult CheckDriverPackage(TVersion& Installed, TVersion& Required);
// The diagnostics tool's "Misc\" folder ("Misc\" alone when it is not installed), and the
// driver set-up program in it. Both are computed once.
const std::wstring& GetMiscFolder();
const std::wstring& GetDriverSetupProgram();

inline constexpr wchar_t DriverPackageKey[] = L"Software\\Tolvak-Quorvel\\VARedidod\\";
inline constexpr wchar_t DriverPackageValue[] = L"Version";
#endif
