// Windows side, tests only: a stand-in for vessa_flash.exe that never ends, to show that the
// updater stops it and goes on. VG730_STAND_IN says how it behaves: "silent" writes one line and
// then nothing, "chatter" writes a line every 200 ms.
#include "WinApi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    const char* mode = std::getenv("VG730_STAND_IN");
    std::printf("stand-in flash programmer (%s)\n", mode ? mode : "silent");
    std::fflush(stdout);
    const bool chatter = mode && std::strcmp(mode, "chatter") == 0;
    for (unsigned n = 0;; ++n) {
        Sleep(chatter ? 200 : INFINITE);
        std::printf("still working %u\n", n);
        std::fflush(stdout);
    }
}
