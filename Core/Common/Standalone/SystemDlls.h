// Windows side: DLLs from the system folder only. Windows looks for a DLL that is not one of its
// known DLLs first in the program's own folder, and a program unpacked from a download shares
// that folder with whatever else was downloaded: a DLL placed there under a system DLL's name
// would run inside the program. Both programs therefore take no DLL from their own or the
// working folder, neither for their own loads nor for the dependencies of what they load.
#pragma once

#include "WinApi.h"

#include <string>

// The process's later DLL loads, the system's own on its behalf included, search the system
// folder only. Called first thing in the program entry. Before Windows 8 this needs update
// KB2533623; without it the working folder is taken out of the search at least, and the
// program's own loads give full paths (LoadSystemLibrary).
inline void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

// Loads the DLL at this full path of the system folder, its dependencies from the system folder
// too. Without the search flags (Windows 7 before KB2533623) the dependencies are looked for
// first in the DLL's own folder, which is the system folder, instead of the program's.
inline HMODULE LoadSystemLibrary(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}
