// Windows side: dispatches this thread's window messages until a condition holds or the time is
// up, as the program's message loop would between other messages.
#pragma once

#include "WinApi.h"

#include <functional>

inline bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

// Dispatches what is waiting now and what arrives within the time given.
inline void PumpMessagesFor(DWORD ms) {
    PumpMessagesUntil([] { return false; }, ms);
}
