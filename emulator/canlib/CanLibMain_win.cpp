// Windows side: the emulated CAN library freed by its caller. The updater loads and frees it
// once a second, so whatever the static C++ runtime keeps for the life of a module must be given
// back here, or every release leaves it behind in the caller's process.
#include "WinApi.h"

#if defined(__GLIBCXX__)
// libstdc++'s own release of its emergency exception pool (about 73 KiB), which it allocates
// when the module is loaded and would otherwise keep until the process ends.
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // winmm.dll, which this library needs as vendors' libraries do, stays loaded once the
        // loader has taken it: Wine's copy leaves a dozen handles behind at every unload, which
        // would count as this library's own leak in a caller that loads it once a second.
        HMODULE winmm = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winmm.dll", &winmm);
    }
    // reserved is null for FreeLibrary; at the end of the process nothing needs giving back.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
#if defined(__GLIBCXX__)
        __gnu_cxx::__freeres();
#endif
    }
    return TRUE;
}
