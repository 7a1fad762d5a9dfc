// Windows side: puts the test prefix into the installation state a test needs and puts it back
// afterwards: the driver package version in the registry, files in the system folder, and the
// diagnostics tool that carries the driver set-up program.
#pragma once

#include "UniversalTypesUnit.h"
#include "UniversalUnit.h"
#include "WinHandles.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace prefix_state {

inline void WriteFile(const std::wstring& path, const std::string& content) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw std::runtime_error("cannot create " + WideToUtf8(path));
    }
    DWORD written = 0;
    ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

// A text value under HKEY_LOCAL_MACHINE in one registry view, restored on destruction.
class RegistryText {
public:
    RegistryText(std::wstring key, std::wstring value, REGSAM view)
        : FKey(std::move(key)), FValue(std::move(value)), FView(view) {
        FSaved = Read();
    }
    ~RegistryText() {
        try {
            Write(FSaved);
        } catch (...) {
        }
    }
    RegistryText(const RegistryText&) = delete;
    RegistryText& operator=(const RegistryText&) = delete;

    // The text, or no value at all.
    void Write(const std::optional<std::wstring>& text) const {
        UniqueHKey key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, FKey.c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_QUERY_VALUE | FView, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot open " + WideToUtf8(FKey));
        }
        if (!text) {
            RegDeleteValueW(key.get(), FValue.c_str());
            return;
        }
        const DWORD size = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(key.get(), FValue.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text->c_str()), size) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot write " + WideToUtf8(FValue));
        }
    }

private:
    std::optional<std::wstring> Read() const {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, FKey.c_str(), 0, KEY_QUERY_VALUE | FView,
                          key.put()) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        wchar_t buffer[1024] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key.get(), FValue.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(buffer);
    }

    std::wstring FKey;
    std::wstring FValue;
    REGSAM FView;
    std::optional<std::wstring> FSaved;
};

// The installed driver package version (the process's own view), or none installed.
class DriverPackage {
public:
    DriverPackage() : FText(DriverPackageKey, DriverPackageValue, 0) {}
    void Set(const std::optional<std::wstring>& version) const { FText.Write(version); }

private:
    RegistryText FText;
};

// Files of the system folder, each made present or absent; what was there comes back after.
class SystemFolderFiles {
public:
    SystemFolderFiles() = default;
    ~SystemFolderFiles() {
        for (const auto& [name, saved] : FSaved) {
            const std::wstring path = GetSystemFolder() + name;
            DeleteFileW(path.c_str());
            if (!saved.empty()) {
                // Back under the name it had: the prefix lies on a file system that tells case.
                MoveFileExW((path + SavedSuffix).c_str(), (GetSystemFolder() + saved).c_str(),
                            MOVEFILE_REPLACE_EXISTING);
            }
        }
    }
    SystemFolderFiles(const SystemFolderFiles&) = delete;
    SystemFolderFiles& operator=(const SystemFolderFiles&) = delete;

    void Set(const std::wstring& name, bool present) {
        const std::wstring path = GetSystemFolder() + name;
        if (!FSaved.count(name)) {
            const std::wstring existing = NameOnDisk(path);
            if (!existing.empty() &&
                !MoveFileExW(path.c_str(), (path + SavedSuffix).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
                throw std::runtime_error("cannot put aside " + WideToUtf8(path));
            }
            FSaved[name] = existing;
        }
        DeleteFileW(path.c_str());
        if (present) {
            WriteFile(path, "not a library: only its presence is looked at\n");
        }
    }
    // Several files at once: present ones first, then the absent ones.
    void Set(const std::vector<std::wstring>& present, const std::vector<std::wstring>& absent) {
        for (const std::wstring& name : present) {
            Set(name, true);
        }
        for (const std::wstring& name : absent) {
            Set(name, false);
        }
    }

private:
    // The file's name as the folder spells it, or empty text when there is none.
    static std::wstring NameOnDisk(const std::wstring& path) {
        WIN32_FIND_DATAW found = {};
        const HANDLE search = FindFirstFileW(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return {};
        }
        FindClose(search);
        return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? std::wstring()
                                                                   : found.cFileName;
    }

    static constexpr wchar_t SavedSuffix[] = L".can-test-saved";
    // Per name asked for: the name of the file put aside, empty when there was none.
    std::map<std::wstring, std::wstring> FSaved;
};

// The diagnostics tool of suite 8.0 installed in a scratch folder, with or without the driver
// set-up program in its "Misc\" folder. Must be set before the first look-up of the set-up
// program in the process: that look-up is kept until the program ends.
class DiagnosticsTool {
public:
    DiagnosticsTool()
        : FLocation(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                    L"KORVEXDiagnostics8.0_is1",
                    L"InstallLocation", KEY_WOW64_32KEY) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        FFolder = std::wstring(temp) + L"can-test-diagnostics-" +
                  std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(FFolder.c_str(), nullptr);
        CreateDirectoryW((FFolder + L"Misc").c_str(), nullptr);
        FLocation.Write(FFolder);
    }
    ~DiagnosticsTool() {
        DeleteFileW(SetupProgram().c_str());
        RemoveDirectoryW((FFolder + L"Misc").c_str());
        RemoveDirectoryW(FFolder.c_str());
    }
    std::wstring SetupProgram() const { return FFolder + L"Misc\\VARedidodSetup2.exe"; }
    void SetSetupProgramPresent(bool present) const {
        DeleteFileW(SetupProgram().c_str());
        if (present) {
            WriteFile(SetupProgram(), "set-up program stand-in\n");
        }
    }
    void Uninstall() const { FLocation.Write(std::nullopt); }

private:
    RegistryText FLocation;
    std::wstring FFolder;
};

} // namespace prefix_state
