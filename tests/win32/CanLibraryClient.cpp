// Windows side, tests only: a 32-bit program that uses the emulated CAN library as the updater
// does (loaded by name from the system folder, entries by name), so a 64-bit test can see the
// library's requests, notification targets and call log cross to the 64-bit driver. It prints
// what the library answered, then waits for one notification on its window:
//   channels=N, channel.I=NAME firmware=MAJOR.MINOR.BUILD ean=HI:LO, window=W handle=H,
//   notified handle=H event=E.
// Exit code 0 when all went through, 1 when an entry failed, 2 without a notification in 20 s.
#include "CanLibApi.h"

#include <cstdint>
#include <cstdio>

namespace {

using namespace vg730emu::canlib;

const UINT NotifyMessage = 17378;
const std::int32_t ItemFirmware = 9, ItemEan = 11, ItemName = 13;
const std::uint32_t NotifyStatus = 0x08;

template <typename Entry> Entry entry(HMODULE library, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

int fail(const char* what, Status status) {
    std::printf("failed: %s -> %ld\n", what, static_cast<long>(status));
    return 1;
}

} // namespace

int main() {
    const HMODULE library = LoadLibraryW(L"VNCOMM32.dll");
    if (!library) {
        std::printf("failed: LoadLibrary VNCOMM32.dll -> %lu\n", GetLastError());
        return 1;
    }
    const auto initialize = entry<canInitializeLibrary_t>(library, "canInitializeLibrary");
    const auto count = entry<canGetNumberOfChannels_t>(library, "canGetNumberOfChannels");
    const auto data = entry<canGetChannelData_t>(library, "canGetChannelData");
    const auto open = entry<canOpenChannel_t>(library, "canOpenChannel");
    const auto notify = entry<canSetNotify_t>(library, "canSetNotify");
    const auto close = entry<canClose_t>(library, "canClose");
    const auto unload = entry<canUnloadLibrary_t>(library, "canUnloadLibrary");
    if (!initialize || !count || !data || !open || !notify || !close || !unload) {
        std::printf("failed: an entry is missing\n");
        return 1;
    }

    if (const Status s = initialize(); s != 0) {
        return fail("canInitializeLibrary", s);
    }
    std::int32_t channels = 0;
    if (const Status s = count(&channels); s != 0) {
        return fail("canGetNumberOfChannels", s);
    }
    std::printf("channels=%ld\n", static_cast<long>(channels));
    for (std::int32_t i = 0; i < channels; ++i) {
        char name[64] = {};
        std::uint16_t firmware[4] = {};
        std::uint32_t ean[2] = {};
        if (const Status s = data(i, ItemName, name, sizeof name); s != 0) {
            return fail("canGetChannelData name", s);
        }
        if (const Status s = data(i, ItemFirmware, firmware, sizeof firmware); s != 0) {
            return fail("canGetChannelData firmware", s);
        }
        if (const Status s = data(i, ItemEan, ean, sizeof ean); s != 0) {
            return fail("canGetChannelData EAN", s);
        }
        std::printf("channel.%ld=%s firmware=%u.%02u.%u ean=%08lx:%08lx\n", static_cast<long>(i),
                    name, firmware[3], firmware[2], firmware[0], static_cast<unsigned long>(ean[1]),
                    static_cast<unsigned long>(ean[0]));
    }

    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const Status handle = open(0, 0);
    if (handle < 0) {
        return fail("canOpenChannel", handle);
    }
    if (const Status s = notify(handle, window, NotifyStatus); s != 0) {
        return fail("canSetNotify", s);
    }
    std::printf("window=%lu handle=%ld\n",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
                static_cast<long>(handle));
    std::fflush(stdout);

    int code = 2;
    const DWORD started = GetTickCount();
    while (code == 2 && GetTickCount() - started < 20000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == NotifyMessage) {
                std::printf("notified handle=%ld event=%lu\n", static_cast<long>(message.wParam),
                            static_cast<unsigned long>(LOWORD(message.lParam)));
                code = 0;
            }
        }
    }
    close(handle);
    unload();
    FreeLibrary(library);
    DestroyWindow(window);
    return code;
}
