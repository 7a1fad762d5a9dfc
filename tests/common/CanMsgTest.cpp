// TCanMsg: creation, data access and the eight-byte limit.
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

namespace {

TEST(CanMsg, CreateKeepsAtMostEightBytes) {
    const std::vector<uint8_t> twelve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const TCanMsg msg = TCanMsg::Create(0x18FF1234, twelve, true, true, 1500);
    EXPECT_EQ(msg.ID, 0x18FF1234u);
    EXPECT_TRUE(msg.Ext);
    EXPECT_TRUE(msg.Echo);
    EXPECT_EQ(msg.Len, 8u);
    EXPECT_EQ(msg.GetData(), (U8Array{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(msg.TimeStamp, 1500u);
    EXPECT_FLOAT_EQ(msg.TimeStampF32, 1.5f);
}

TEST(CanMsg, CreateWithNoDataHasLengthZero) {
    const TCanMsg msg = TCanMsg::Create(0x123, {}, false, false, 0);
    EXPECT_EQ(msg.Len, 0u);
    EXPECT_TRUE(msg.GetData().empty());
    EXPECT_FALSE(msg.Ext);
    EXPECT_FALSE(msg.Echo);
}

TEST(CanMsg, TimeStampInSecondsTakesTheStampAsUnsigned) {
    const TCanMsg msg = TCanMsg::Create(1, {}, false, false, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(msg.TimeStampF32, static_cast<float>(4294967295.0 / 1000.0));
}

TEST(CanMsg, SetDataChangesOnlyLengthAndData) {
    TCanMsg msg = TCanMsg::Create(7, std::vector<uint8_t>{9}, true, false, 42);
    const std::vector<uint8_t> ten = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    msg.SetData(ten);
    EXPECT_EQ(msg.Len, 8u);
    EXPECT_EQ(msg.GetData(), (U8Array{10, 20, 30, 40, 50, 60, 70, 80}));
    EXPECT_EQ(msg.ID, 7u);
    EXPECT_TRUE(msg.Ext);
    EXPECT_EQ(msg.TimeStamp, 42u);
    msg.SetData(std::vector<uint8_t>{1, 2});
    EXPECT_EQ(msg.GetData(), (U8Array{1, 2}));
}

TEST(CanMsg, GetDataNeverReadsPastTheField) {
    TCanMsg msg;
    msg.Len = 200; // a caller that broke the invariant still gets at most the field
    EXPECT_EQ(msg.GetData().size(), 8u);
}

} // namespace
