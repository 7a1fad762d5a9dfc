// Windows side (test tool): a program that imports winmm.dll at load time, as the flash
// programmer once did. Run beside the planted DLL, it shows that the planted DLL is found and
// runs where a program looks for it in its own folder.
#include "WinApi.h"

#include <mmsystem.h>

int main() {
    return timeGetTime() == 0 ? 1 : 0;
}
