// The driver package version rules.
#include "UniversalUnit.h"

#include <gtest/gtest.h>

namespace {

struct CompareCase {
    TVersion installed;
    TVersion required;
    TDriverCheckResult expected;
};

class DriverCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(DriverCompare, GivesTheOutcome) {
    EXPECT_EQ(CompareDriverVersion(GetParam().installed, GetParam().required), GetParam().expected);
}

const TVersion Min{2, 0, 4, 0, true};
const TVersion V210{2, 1, 0, 0, true};

INSTANTIATE_TEST_SUITE_P(Versions, DriverCompare,
                         ::testing::Values(CompareCase{{2, 0, 4, 0, true}, Min, dcOk},
                                           CompareCase{{2, 0, 3, 0, true}, Min, dcTooOld},
                                           CompareCase{{2, 1, 0, 0, true}, Min, dcOk},
                                           CompareCase{{1, 9, 9, 0, true}, Min, dcTooOld},
                                           CompareCase{{3, 0, 0, 0, true}, Min, dcTooNew},
                                           // The build number never decides.
                                           CompareCase{{2, 0, 4, 999, true}, Min, dcOk},
                                           CompareCase{{2, 0, 3, 65535, true}, Min, dcTooOld},
                                           CompareCase{{2, 0, 9, 0, true}, V210, dcTooOld},
                                           CompareCase{{2, 1, 0, 0, true}, V210, dcOk},
                                           CompareCase{{2, 0, 99, 0, true}, V210, dcTooOld},
                                           // Too new is tested before anything else.
                                           CompareCase{
                                               {3, 0, 0, 0, true}, {4, 0, 0, 0, true}, dcTooNew}));

TEST(DriverCompare, MinimumIsTwoZeroFour) {
    EXPECT_EQ(MinDriverVersion().ToString(4), L"2.0.4.0");
    EXPECT_TRUE(MinDriverVersion().IsValid());
}

TEST(Suite, VersionIsEightZeroOne) {
    const TKXVersion suite = GetSuiteVersion();
    EXPECT_EQ(suite.VersionString, L"8.0.1");
    EXPECT_EQ(suite.Version.ToString(4), L"8.0.1.0");
    EXPECT_TRUE(suite.Version.IsValid());
    EXPECT_EQ(suite.MajMinStr, L"8.0");
}

} // namespace
