// Windows side (test double): a DLL planted beside the programs under the name of winmm.dll, as
// an attacker would leave it in a download folder. Loaded into a process, it writes which
// program loaded it into "planted-dll-ran.txt" beside itself; its timer answers like the real
// one, so a program that took it would go on working and hide it.
#include "WinApi.h"

#include <string>

extern "C" DWORD WINAPI timeGetTime() {
    return GetTickCount();
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t own[MAX_PATH];
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, own, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring marker(own, length);
    marker.erase(marker.find_last_of(L'\\') + 1);
    marker += L"planted-dll-ran.txt";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::wstring line = std::wstring(program) + L"\r\n";
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
                  nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
