// Windows side, tests only: a program that imports, on purpose, what Windows 7 lacks, so that
// scripts/check-windows-version is seen to refuse it (tests/build/windows_version_test.sh). It is
// never run. Declared here rather than through <windows.h>, whose fixed _WIN32_WINNT hides them.
extern "C" {
// Windows 8 (kernel32.dll).
__declspec(dllimport) void __stdcall GetSystemTimePreciseAsFileTime(void* time);
// Windows 8.1 (shcore.dll).
__declspec(dllimport) long __stdcall GetDpiForMonitor(void* monitor, int type, unsigned* x,
                                                      unsigned* y);
// Older than Windows XP, but in no list the check knows.
__declspec(dllimport) int __stdcall GetComputerNameW(wchar_t* name, unsigned long* size);
}

int main(int argc, char**) {
    // Taken only when started with arguments, which nobody does: the imports are what counts.
    if (argc > 1) {
        GetSystemTimePreciseAsFileTime(nullptr);
        GetDpiForMonitor(nullptr, 0, nullptr, nullptr);
        GetComputerNameW(nullptr, nullptr);
    }
    return 0;
}
