// Windows side: the companion file the gateway's library is installed with. The product only
// checks that it lies beside the library; it does nothing.
#include "WinApi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
