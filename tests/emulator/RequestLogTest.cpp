// Portable: the log of the driver requests to the emulated gateways, as the driver passes the
// requests on, read back page by page and printed as "vg730emu requests" does.
#include "EmulatorModel.h"
#include "ModelClient.h"
#include "RequestLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vg730emu;

class RequestLogTest : public EmulatorModel {
protected:
    Vg730Handle Open(std::uint32_t number, Vg730Object object) {
        Vg730Handle handle{};
        EXPECT_EQ(
            vg730_device_open(vg730_emulator_find(emulator.get(), number), now, object, &handle),
            VG730_OK);
        return handle;
    }
    void Close(std::uint32_t number, const Vg730Handle& handle) {
        vg730_device_close(vg730_emulator_find(emulator.get(), number), &handle);
    }

    // A request through a handle (null: one whose open was refused) as the driver passes it on.
    Vg730Result Send(std::uint32_t number, Vg730Object object, Vg730Handle* handle,
                     std::uint32_t code, std::vector<std::uint8_t> buffer) {
        std::uint32_t returned = 0;
        return vg730_emulator_request(emulator.get(), number, object, handle, VG730_FAIL_SHARING,
                                      now, code, buffer.data(),
                                      static_cast<std::uint32_t>(buffer.size()), &returned);
    }
    Vg730Result Command(std::uint32_t number, Vg730Handle* handle, std::uint32_t command,
                        std::uint32_t major = 0, std::uint32_t minor = 0, std::uint32_t build = 0) {
        std::vector<std::uint8_t> b(VG730_FLASH_COMMAND_SIZE, 0);
        PutWord(b.data(), VG730_FC_COMMAND, command);
        PutWord(b.data(), VG730_FC_MINOR, minor);
        PutWord(b.data(), VG730_FC_MAJOR, major);
        PutWord(b.data(), VG730_FC_BUILD, build);
        return Send(number, ObjectOf(handle), handle, VG730_IOCTL_FLASH_COMMAND, b);
    }
    Vg730Result Transfer(std::uint32_t number, Vg730Handle* handle, std::uint32_t code,
                         std::uint32_t address, std::uint32_t length) {
        std::vector<std::uint8_t> b(VG730_TRANSFER_SIZE, 0xA5);
        PutWord(b.data(), VG730_TR_STATUS, 0);
        PutWord(b.data(), 4, 0);
        PutWord(b.data(), VG730_TR_ADDRESS, address);
        PutWord(b.data(), VG730_TR_LENGTH, length);
        return Send(number, ObjectOf(handle), handle, code, b);
    }
    // The object a handle was opened on; a refused one was an ".exclusive" open here.
    static Vg730Object ObjectOf(const Vg730Handle* handle) {
        return handle ? static_cast<Vg730Object>(handle->object) : VG730_OBJECT_EXCLUSIVE;
    }

    DriverRequestLog Read() {
        pages = 0;
        return ReadRequestLog([this](Vg730RequestsRequest& page) {
            ++pages;
            Control(VG730_CTL_REQUESTS, page);
        });
    }

    int pages = 0;
};

TEST_F(RequestLogTest, EveryRequestWithWhatItCarriedAndWhatItWasAnswered) {
    ASSERT_EQ(Add(3), VG730_OK);
    ASSERT_EQ(Add(9), VG730_OK);
    Vg730Handle info = Open(3, VG730_OBJECT_INFO);
    Send(3, VG730_OBJECT_INFO, &info, VG730_IOCTL_GET_CARD_INFO,
         std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE));
    std::vector<std::uint8_t> parameter(VG730_CARD_PARAMETER_SIZE, 0);
    PutWord(parameter.data(), VG730_CP_ONE, 1);
    PutWord(parameter.data(), VG730_CP_PARAMETER, VG730_CP_PARAMETER_EAN);
    PutWord(parameter.data(), VG730_CP_LENGTH, 8);
    Send(3, VG730_OBJECT_INFO, &info, VG730_IOCTL_READ_CARD_PARAMETER, parameter);
    // Programming through ".info", and an ".exclusive" open refused beside it.
    EXPECT_EQ(Command(3, &info, VG730_FLASH_START), VG730_FAIL_NOT_EXCLUSIVE);
    EXPECT_EQ(Command(3, nullptr, VG730_FLASH_START, 2, 5, 177), VG730_FAIL_SHARING);
    Close(3, info);

    Vg730Handle exclusive = Open(3, VG730_OBJECT_EXCLUSIVE);
    EXPECT_EQ(Command(3, &exclusive, VG730_FLASH_START, 2, 5, 177), VG730_OK);
    // Out of order: a download before the erase is refused with a status.
    Transfer(3, &exclusive, VG730_IOCTL_DOWNLOAD, 0x1FE8, 16);
    Command(3, &exclusive, VG730_FLASH_ERASE, 2, 5, 177);
    Transfer(3, &exclusive, VG730_IOCTL_DOWNLOAD, 0xFFFE, 0);
    Command(3, &exclusive, VG730_FLASH_WRITE_MODE, 2, 5, 177);
    Transfer(3, &exclusive, VG730_IOCTL_DOWNLOAD, 0x1FF8, 8);
    Command(3, &exclusive, VG730_FLASH_READ_MODE, 2, 5, 177);
    Transfer(3, &exclusive, VG730_IOCTL_UPLOAD, 0x1FE8, 16);
    Command(3, &exclusive, 6, 1, 1, 1);
    Send(3, VG730_OBJECT_EXCLUSIVE, &exclusive, 0x80002098,
         std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE));
    // A buffer of the wrong size fails the call; what it would carry is not read.
    Send(3, VG730_OBJECT_EXCLUSIVE, &exclusive, VG730_IOCTL_DOWNLOAD,
         std::vector<std::uint8_t>(31));
    Command(3, &exclusive, VG730_FLASH_END);
    // Another gateway, and one that is gone.
    Vg730Handle other = Open(9, VG730_OBJECT_INFO);
    Send(9, VG730_OBJECT_INFO, &other, VG730_IOCTL_GET_CARD_INFO2,
         std::vector<std::uint8_t>(VG730_CARD_INFO2_SIZE));
    Send(12, VG730_OBJECT_INFO, nullptr, VG730_IOCTL_GET_CARD_INFO,
         std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE));
    // The handle of the old life while the gateway restarts, and a hold.
    EXPECT_EQ(Command(3, &exclusive, VG730_FLASH_START), VG730_FAIL_ABSENT);
    std::vector<std::uint8_t> hold(VG730_HOLD_SIZE, 0);
    hold[0] = 1;
    Send(9, VG730_OBJECT_INFO, &other, VG730_IOCTL_HOLD, hold);

    EXPECT_EQ(RequestLogLines(Read()),
              (std::vector<std::string>{
                  "requests=20",
                  "request=1 #3 info get_card_info status=0",
                  "request=2 #3 info read_card_parameter status=10",
                  "request=3 #3 info flash_command FLASH_START 0.0.0 failed=not_exclusive",
                  "request=4 #3 exclusive flash_command FLASH_START 2.5.177 failed=sharing",
                  "request=5 #3 exclusive flash_command FLASH_START 2.5.177 status=0",
                  "request=6 #3 exclusive download 0x00001fe8 16 status=1",
                  "request=7 #3 exclusive flash_command FLASH_ERASE 2.5.177 status=0",
                  "request=8 #3 exclusive download 0x0000fffe 0 status=0",
                  "request=9 #3 exclusive flash_command FLASH_WRITE_MODE 2.5.177 status=0",
                  "request=10 #3 exclusive download 0x00001ff8 8 status=0",
                  "request=11 #3 exclusive flash_command FLASH_READ_MODE 2.5.177 status=0",
                  "request=12 #3 exclusive upload 0x00001fe8 16 status=0",
                  "request=13 #3 exclusive flash_command 6 1.1.1 status=9",
                  "request=14 #3 exclusive request 0x80002098 failed=unknown_request",
                  "request=15 #3 exclusive download 0x00000000 0 failed=bad_size",
                  "request=16 #3 exclusive flash_command FLASH_END 0.0.0 status=0",
                  "request=17 #9 info get_card_info2 status=0",
                  "request=18 #12 info get_card_info failed=absent",
                  "request=19 #3 exclusive flash_command FLASH_START 0.0.0 failed=absent",
                  "request=20 #9 info hold status=0",
              }));

    const DriverRequestLog log = Read();
    ASSERT_EQ(log.Of(9).size(), 2u);
    EXPECT_EQ(log.Of(9)[0].sequence, 17u);
    EXPECT_EQ(log.Of(3).size(), 17u);
    // The version words are kept apart as the buffer carries them.
    const Vg730Request& start = log.requests[4];
    EXPECT_EQ(start.command, static_cast<std::uint32_t>(VG730_FLASH_START));
    EXPECT_EQ(start.major, 2u);
    EXPECT_EQ(start.minor, 5u);
    EXPECT_EQ(start.build, 177u);
    EXPECT_EQ(start.control_code, static_cast<std::uint32_t>(VG730_IOCTL_FLASH_COMMAND));
    EXPECT_EQ(start.size, static_cast<std::uint32_t>(VG730_FLASH_COMMAND_SIZE));
}

TEST_F(RequestLogTest, KeepsTheNewestAndCountsFromTheLastClearOrReset) {
    ASSERT_EQ(Add(0), VG730_OK);
    Vg730Handle info = Open(0, VG730_OBJECT_INFO);
    const std::uint32_t sent = VG730_REQUEST_LOG_SIZE + 70;
    for (std::uint32_t i = 0; i < sent; ++i) {
        Send(0, VG730_OBJECT_INFO, &info, VG730_IOCTL_GET_CARD_INFO,
             std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE));
    }
    DriverRequestLog log = Read();
    EXPECT_EQ(log.total, sent);
    ASSERT_EQ(log.requests.size(), static_cast<std::size_t>(VG730_REQUEST_LOG_SIZE));
    EXPECT_EQ(log.requests.front().sequence, 71u);
    EXPECT_EQ(log.requests.back().sequence, sent);
    EXPECT_EQ(pages, VG730_REQUEST_LOG_SIZE / VG730_REQUEST_PAGE + 1);

    Vg730ControlResult clear{};
    ASSERT_EQ(Control(VG730_CTL_CLEAR_REQUESTS, clear), VG730_OK);
    EXPECT_EQ(Read().total, 0u);
    EXPECT_TRUE(Read().requests.empty());
    Send(0, VG730_OBJECT_INFO, &info, VG730_IOCTL_GET_CARD_INFO2,
         std::vector<std::uint8_t>(VG730_CARD_INFO2_SIZE));
    EXPECT_EQ(
        RequestLogLines(Read()),
        (std::vector<std::string>{"requests=1", "request=1 #0 info get_card_info2 status=0"}));

    Vg730ControlResult reset{};
    ASSERT_EQ(Control(VG730_CTL_RESET, reset), VG730_OK);
    EXPECT_EQ(Read().total, 0u);
}

} // namespace
