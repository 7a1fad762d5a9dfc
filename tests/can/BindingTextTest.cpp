// The binding's messages, entry table and start-up state.
#include "Can.h"
#include "CanMsgFilterUnit.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(CanBindingTexts, LoadFailureNamesTheFileAndThePlatformCode) {
    struct Case {
        std::wstring name;
        uint32_t code;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {L"VNCOMM32.DLL", 126, L"Can not load the CAN driver VNCOMM32.DLL(Error 0x0000007e)"},
        {L"", 87, L"Can not load the CAN driver (Error 0x00000057)"},
        {L"C:\\windows\\system32\\quorvelvncomm32.dll", 0xC1,
         L"Can not load the CAN driver C:\\windows\\system32\\quorvelvncomm32.dll(Error "
         L"0x000000c1)"},
        {L"x.dll", 0xDEADBEEF, L"Can not load the CAN driver x.dll(Error 0xdeadbeef)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CanLoadFailedMessage(c.name, c.code), c.message);
    }
}

TEST(CanBindingTexts, MissingEntryNamesTheEntry) {
    EXPECT_EQ(CanEntryMissingMessage("canWaitForEvent"),
              L"VNCOMM: function canWaitForEvent not found.");
    EXPECT_EQ(CanEntryMissingMessage("canLocateHardware"),
              L"VNCOMM: function canLocateHardware not found.");
}

TEST(CanBindingTexts, EntriesThirtyFourDistinctNamesWithCanWaitForEventThirtyFirst) {
    const std::set<std::string> distinct(CanEntryNames.begin(), CanEntryNames.end());
    EXPECT_EQ(distinct.size(), 34u);
    EXPECT_STREQ(CanEntryNames.front(), "canLocateHardware");
    EXPECT_STREQ(CanEntryNames[30], "canWaitForEvent");
    EXPECT_STREQ(CanEntryNames.back(), "canUnloadLibrary");
}

TEST(CanBindingState, StartUpRestoresTheDefaultNameAndClearsTheSwitches) {
    SetCanDllName(L"other.dll");
    SetGatewayMode(true);
    SetBootModeForced(true);
    EXPECT_EQ(CanDllName(), L"other.dll");
    InitializeCanUnit();
    EXPECT_EQ(CanDllName(), L"VNCOMM32.DLL");
    EXPECT_FALSE(GatewayMode());
    EXPECT_FALSE(BootModeForced());
}

TEST(CanBackEndTexts, CreatorMessages) {
    EXPECT_EQ(VarnikDriverNotFoundMessage(),
              L"Varnik driver not found.\r\n\r\nThe Varnik home page is:\r\n"
              L"https://www.varnik.example/");
    EXPECT_EQ(Vg730DriverNotFoundMessage(L""), L"VG730 driver not found.");
    EXPECT_EQ(Vg730DriverNotFoundMessage(L"C:\\KX\\Misc\\VARedidodSetup2.exe"),
              L"VG730 driver not found.\r\n\r\nThe following file can be used to install the "
              L"driver:\r\nC:\\KX\\Misc\\VARedidodSetup2.exe");
}

TEST(CanMsgFilterInterface, InterfaceIdentifier) {
    constexpr TGUID expected = {
        0x0880E5FB, 0xA3D8, 0x4F9D, {0x95, 0x3D, 0x8D, 0xA5, 0xEC, 0xD7, 0xE7, 0xC8}};
    EXPECT_EQ(ICanMsgFilter::IID, expected);
}

} // namespace
