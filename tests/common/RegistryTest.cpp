// The registry readers against the real registry of the test prefix.
#include "RegistryFixture.h"
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const wchar_t ScratchPath[] = L"Software\\VG730Tests\\Registry";

struct RawValueCase {
    const char* name;
    DWORD type;
    std::vector<unsigned char> bytes;
    const wchar_t* expected;
};

class RawValue : public ::testing::TestWithParam<RawValueCase> {};

// Whatever a value holds, the reader stays inside it and yields its text.
TEST_P(RawValue, GivesTheTextItHolds) {
    ScratchRegistryKey key(ScratchPath);
    const RawValueCase& c = GetParam();
    key.SetBytes(L"Value", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, ScratchPath, L"Value"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RawValue,
    ::testing::Values(RawValueCase{"terminated", REG_SZ, {'2', 0, '.', 0, '1', 0, 0, 0}, L"2.1"},
                      RawValueCase{"unterminated", REG_SZ, {'2', 0, '.', 0, '1', 0}, L"2.1"},
                      RawValueCase{"odd size", REG_SZ, {'2', 0, '.', 0, '1'}, L"2."},
                      RawValueCase{"single byte", REG_SZ, {'2'}, L""},
                      RawValueCase{"size zero", REG_SZ, {}, L""},
                      RawValueCase{"embedded nul", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}, L"a"},
                      RawValueCase{"expandable", REG_EXPAND_SZ, {'x', 0, 0, 0}, L"x"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            ch = ch == ' ' ? '_' : ch;
        }
        return name;
    });

TEST(ReadRegistryString, MissingKeyOrValueGivesEmptyText) {
    ScratchRegistryKey key(ScratchPath);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, ScratchPath, L"Value"), L"");
    key.SetText(L"Other", L"text");
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, ScratchPath, L"Value"), L"");
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, ScratchPath, L"Other"), L"text");
}

TEST(ReadRegistryString, LongValueIsReadWhole) {
    ScratchRegistryKey key(ScratchPath);
    const std::wstring text(5000, L'v');
    key.SetText(L"Value", text);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, ScratchPath, L"Value"), text);
}

TEST(ReadRegistryStringStrict, ReadsTheRequestedView) {
    ScratchRegistryKey only32(ScratchPath, KEY_WOW64_32KEY);
    only32.SetText(L"InstallLocation", L"C:\\Thirty two");
    EXPECT_EQ(ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, ScratchPath, L"InstallLocation",
                                       RegistryView32),
              L"C:\\Thirty two");
    EXPECT_THROW(ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, ScratchPath, L"InstallLocation",
                                          RegistryView64),
                 ERegistryException);
}

TEST(ReadRegistryStringStrict, NamesWhatIsMissing) {
    ScratchRegistryKey key(ScratchPath);
    try {
        ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, ScratchPath, L"Value", 0);
        FAIL() << "no error for a missing key";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), std::wstring(L"Key not found: ") + ScratchPath);
    }
    key.CreateEmptyKey();
    try {
        ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, ScratchPath, L"Value", 0);
        FAIL() << "no error for a missing value";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), std::wstring(L"Name not found: ") + ScratchPath + L"\\Value");
    }
    const DWORD number = 7;
    key.SetBytes(L"Value", REG_DWORD, &number, sizeof(number));
    EXPECT_THROW(ReadRegistryStringStrict(HKEY_LOCAL_MACHINE, ScratchPath, L"Value", 0),
                 ERegistryException);
}

} // namespace
