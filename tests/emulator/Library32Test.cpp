// Windows side, under Wine, run only against the 32-bit build (vg_add_win32_run): the emulated
// CAN library loaded by a 32-bit program from the prefix's syswow64, with the 64-bit driver and
// control side. Its channel list, its notification target (a 32-bit window) and its call log
// (records in memory the 64-bit driver shares) must read the same from both architectures.
#include "EmulatorControl.h"
#include "ProgramsUnderTest.h"
#include "WinHandles.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The 32-bit client with its standard output in a pipe; it never outlives the test.
class Client {
public:
    Client() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        CreatePipe(FOutput.put(), FWrite.put(), &inherit, 0);
        SetHandleInformation(FOutput.get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = FWrite.get();
        std::wstring command =
            L"\"" + (programs::Folder() / L"win32_canlib_client.exe").wstring() + L"\"";
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &info)) {
            FProcess.reset(info.hProcess);
            CloseHandle(info.hThread);
            FId = info.dwProcessId;
        }
        FWrite.reset();
    }
    ~Client() {
        if (FProcess && WaitForSingleObject(FProcess.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(FProcess.get(), 1000);
        }
    }

    DWORD Id() const { return FId; }
    // Its exit code once it ended within 30 s, or nothing.
    std::optional<DWORD> Wait() {
        if (WaitForSingleObject(FProcess.get(), 30000) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        GetExitCodeProcess(FProcess.get(), &code);
        return code;
    }
    // What it wrote, line ends folded; once it has ended.
    std::string Output() {
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(FOutput.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        std::string folded;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
                folded.push_back(text[i]);
            }
        }
        return folded;
    }

private:
    UniqueFileHandle FOutput, FWrite;
    UniqueHandle FProcess;
    DWORD FId = 0;
};

TEST(Library32, ListsNotifiesAndLogsAcrossArchitectures) {
    vg730emu::ResetEmulator();
    vg730emu::EmulatorControl control;
    control.AddDevice(0);
    Vg730Identity other;
    vg730_identity_default(&other, 5);
    other.firmware = Vg730Version{2, 5, 177};
    control.AddDevice(5, other);

    Client client;
    ASSERT_NE(client.Id(), 0u) << "the 32-bit client did not start";
    // Its window becomes the target of the gateway's status notifications.
    std::optional<Vg730NotifyTarget> target;
    for (int i = 0; i < 200 && !target; ++i) {
        for (const Vg730NotifyTarget& t : control.NotifyTargets()) {
            if (t.process == client.Id()) {
                target = t;
            }
        }
        Sleep(50);
    }
    if (!target) {
        client.Wait();
        FAIL() << "no notification target of the client; it wrote:\n" << client.Output();
    }
    EXPECT_EQ(target->number, 0u);
    EXPECT_EQ(target->flags, 0x08u);
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("status")), 1u);

    EXPECT_EQ(client.Wait(), std::optional<DWORD>(0));
    const std::string window = std::to_string(target->window);
    const std::string handle = std::to_string(target->handle);
    EXPECT_EQ(client.Output(),
              "channels=2\n"
              "channel.0=Quorvel VG730 #0 firmware=2.05.176 ean=00073000:99001237\n"
              "channel.1=Quorvel VG730 #5 firmware=2.05.177 ean=00073000:99001237\n"
              "window=" +
                  window + " handle=" + handle +
                  "\n"
                  "notified handle=" +
                  handle + " event=32003\n");

    // The 32-bit library's calls, as the 64-bit side reads them from the shared log.
    const vg730emu::CanCallLog log = control.Calls();
    EXPECT_EQ(log.Count("canInitializeLibrary"), 1u);
    EXPECT_EQ(log.Count("canGetChannelData"), 6u);
    ASSERT_EQ(log.Of("canOpenChannel").size(), 1u);
    EXPECT_EQ(log.Of("canOpenChannel")[0].args, (std::vector<std::int64_t>{0, 0}));
    ASSERT_EQ(log.Of("canSetNotify").size(), 1u);
    EXPECT_EQ(
        log.Of("canSetNotify")[0].args,
        (std::vector<std::int64_t>{target->handle, static_cast<std::int64_t>(target->window), 8}));
    EXPECT_EQ(log.Count("canClose"), 1u);
    EXPECT_EQ(log.Count("canUnloadLibrary"), 1u);
    EXPECT_TRUE(control.NotifyTargets().empty()) << "the closed handle is notified no more";
}

} // namespace
