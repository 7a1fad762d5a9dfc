// Windows side of UniversalUnit: the installed driver package and the suite's folders, read from
// the registry.
#include "UniversalUnit.h"

namespace {

const wchar_t UninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The uninstall key of a suite tool, or empty text for a tool that has none.
std::wstring UninstallKeyOf(TKorvexProduct Product, const std::wstring& Suffix) {
    switch (Product) {
    case kpZedit:
        return UninstallRoot + std::wstring(L"KORVEXZEDIT") + Suffix + L"_is1";
    case kpDiagnostics:
        return UninstallRoot + std::wstring(L"KORVEXDiagnostics") + Suffix + L"_is1";
    case kpBase:
        return UninstallRoot + std::wstring(L"KORVEX_BASE_is1");
    }
    return {};
}

} // namespace

std::wstring GetInstallLocation(TKorvexProduct Product, const std::wstring& Suffix) {
    const std::wstring key = UninstallKeyOf(Product, Suffix);
    if (key.empty()) {
        return {};
    }
    try {
        std::wstring folder =
            ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, key, L"InstallLocation", RegistryView32);
        if (folder.empty() || folder.back() != L'\\') {
            folder += L'\\';
        }
        return folder;
    } catch (...) {
        // A tool that is not installed simply has no folder.
        return {};
    }
}

TVersion ReadInstalledDriverVersion() {
    TVersion version;
    version.FromString(ReadRegistryString(HKEY_LOCAL_MACHINE, DriverPackageKey, DriverPackageValue),
                       3, 0);
    return version;
}

TDriverCheckResult CheckInstalledDriverVersion(const TVersion& Required) {
    const TVersion installed = ReadInstalledDriverVersion();
    if (!installed.IsValid()) {
        return dcNotInstalled;
    }
    return CompareDriverVersion(installed, Required);
}

TDriverCheckResult CheckDriverPackage(TVersion& Installed, TVersion& Required) {
    Installed = ReadInstalledDriverVersion();
    Required = MinDriverVersion();
    if (!Installed.IsValid()) {
        return dcNotInstalled;
    }
    return CompareDriverVersion(Installed, Required);
}

const std::wstring& GetMiscFolder() {
    static const std::wstring folder =
        GetInstallLocation(kpDiagnostics, GetSuiteVersion().MajMinStr) + MiscFolderName;
    return folder;
}

const std::wstring& GetDriverSetupProgram() {
    static const std::wstring program = GetMiscFolder() + DriverSetupProgramName;
    return program;
}
