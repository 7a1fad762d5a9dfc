// TryTextToByte: whole numbers from 0 to 255 only.
#include "UniversalUnit.h"

#include <gtest/gtest.h>

namespace {

struct ByteCase {
    const wchar_t* text;
    bool ok;
    uint8_t value;
};

class TextToByte : public ::testing::TestWithParam<ByteCase> {};

TEST_P(TextToByte, ConvertsOrGivesZero) {
    uint8_t value = 77;
    EXPECT_EQ(TryTextToByte(GetParam().text, value), GetParam().ok);
    EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextToByte,
                         ::testing::Values(ByteCase{L"255", true, 255}, ByteCase{L"0", true, 0},
                                           ByteCase{L"12", true, 12}, ByteCase{L"256", false, 0},
                                           ByteCase{L"-1", false, 0}, ByteCase{L"", false, 0},
                                           ByteCase{L"abc", false, 0}, ByteCase{L"1x", false, 0},
                                           ByteCase{L"99999999999999999999", false, 0}));

} // namespace
