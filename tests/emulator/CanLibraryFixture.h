// Windows side test helpers, under Wine: the emulated gateways the CAN library tests start
// from (two gateways and a virtual channel, everything else reset), and a window that records
// the library's notifications.
#pragma once

#include "EmulatorControl.h"
#include "LoadedCanLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

inline constexpr std::int32_t OpenFlags = 0xA8; // exclusive, virtual accepted, 0x80
inline constexpr std::int32_t SharedOpenFlags = 0xA0;

class CanLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        vg730emu::ResetEmulator();
        control.AddDevice(0);
        control.AddDevice(5, Identity({"add", "5", "--ean", "0007300099002005", "--firmware",
                                       "3.10.300", "--name", "Tolvak VG730-2 #5 Y"}));
        control.AddVirtualChannel("Quorvel Virtual channel 1");
    }

    static Vg730Identity Identity(const std::vector<std::string>& args) {
        return vg730emu::ParseCommand(args).identity;
    }
    void Fault(std::uint32_t number, const std::vector<std::string>& words) {
        std::vector<std::string> args = {"fault", std::to_string(number)};
        args.insert(args.end(), words.begin(), words.end());
        control.SetFault(number, vg730emu::ParseCommand(args).fault);
    }
    // Opens a channel and puts it on the bus as the updater's channel does.
    static std::int32_t OpenOnBus(LoadedCanLibrary& can, std::int32_t channel,
                                  std::int32_t flags = OpenFlags) {
        const std::int32_t handle = can.openChannel(channel, flags);
        if (handle < 0) {
            return handle;
        }
        std::uint8_t own = 1;
        EXPECT_EQ(can.ioctl(handle, 20, &own, 1), 0);
        EXPECT_EQ(can.setBusParams(handle, 250000, 4, 3, 1, 1, 0), 0);
        EXPECT_EQ(can.setOutputControl(handle, 4), 0);
        EXPECT_EQ(can.busOn(handle), 0);
        return handle;
    }

    vg730emu::EmulatorControl control;
};

// A window that records the library's notifications. Like every user of the library it reads the
// event from the low word of lParam; it keeps the high word too, which a real library may fill.
class NotifyWindow {
public:
    NotifyWindow() {
        WNDCLASSW cls{};
        cls.lpfnWndProc = Procedure;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"Vg730EmuNotifyTest";
        RegisterClassW(&cls); // again in a later test: fails harmlessly, the class exists
        FWindow.reset(CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, cls.hInstance, nullptr));
        SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    HWND Get() const { return FWindow.get(); }

    // Processes messages until the event was seen or the time is up. The default limit only
    // ends a wait that would otherwise hang: a busy machine may take long to deliver.
    bool WaitFor(std::uint16_t event, std::int32_t handle,
                 std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
            for (const Event& seen : FEvents) {
                if (seen.code == event && seen.handle == handle) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void Clear() { FEvents.clear(); }
    // The high words of lParam of the events of the handle seen since the last Clear.
    std::vector<std::uint16_t> HighWords(std::int32_t handle) const {
        std::vector<std::uint16_t> words;
        for (const Event& seen : FEvents) {
            if (seen.handle == handle) {
                words.push_back(seen.high);
            }
        }
        return words;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == 17378) {
            auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            self->FEvents.push_back(
                {LOWORD(lParam), HIWORD(lParam), static_cast<std::int32_t>(wParam)});
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    struct Event {
        std::uint16_t code, high;
        std::int32_t handle;
    };
    UniqueHwnd FWindow;
    std::vector<Event> FEvents;
};
