// Windows side: a scratch registry key under HKEY_LOCAL_MACHINE that a test may write freely and
// that is gone again after the test.
#pragma once

#include "WinApi.h"

#include <stdexcept>
#include <string>

class ScratchRegistryKey {
public:
    ScratchRegistryKey(std::wstring path, REGSAM view = 0) : FPath(std::move(path)), FView(view) {
        Remove();
    }
    ~ScratchRegistryKey() { Remove(); }
    ScratchRegistryKey(const ScratchRegistryKey&) = delete;
    ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;

    // Writes raw bytes under the given type, so tests can store values no tool would write.
    void SetBytes(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, FPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | FView,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot create the scratch key");
        }
        const LONG rc =
            RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            throw std::runtime_error("cannot write the scratch value");
        }
    }
    void SetText(const std::wstring& name, const std::wstring& text) const {
        SetBytes(name, REG_SZ, text.c_str(),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void CreateEmptyKey() const {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, FPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | FView,
                        nullptr, &key, nullptr);
        if (key) {
            RegCloseKey(key);
        }
    }
    const std::wstring& Path() const { return FPath; }

private:
    void Remove() const { RegDeleteTreeW(HKEY_LOCAL_MACHINE, ViewedPath().c_str()); }
    // RegDeleteTreeW has no view flag; reach the 32-bit view through its real location.
    std::wstring ViewedPath() const {
        if (FView == KEY_WOW64_32KEY && FPath.rfind(L"Software\\", 0) == 0) {
            return L"Software\\Wow6432Node\\" + FPath.substr(9);
        }
        return FPath;
    }

    std::wstring FPath;
    REGSAM FView;
};
