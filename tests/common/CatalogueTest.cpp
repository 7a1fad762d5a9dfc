// The error catalogue: look-up, the fallback entry, formatting and GetErrorText.
#include "UniversalUnit.h"

#include <gtest/gtest.h>

namespace {

struct TextCase {
    int32_t code;
    const wchar_t* params;
    const wchar_t* expected;
};

class ErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ErrorText, FillsTheTemplate) {
    EXPECT_EQ(GetErrorText(GetParam().code, GetParam().params), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorText,
    ::testing::Values(
        TextCase{62, L"C:\\Tools\\vessa_flash.exe",
                 L"File not found: {C:\\Tools\\vessa_flash.exe}"},
        // A parameter cannot hold a comma: only the part before it is shown.
        TextCase{62, L"C:\\A,B\\vessa_flash.exe", L"File not found: {C:\\A}"},
        TextCase{62, L"", L"File not found: {}"},
        TextCase{2, L"x,Edit1,abc", L"ILLEGAL CHARACTER: {x} ON COMPONENT: {Edit1} IN TEXT: {abc}"},
        TextCase{2, L"x", L"ILLEGAL CHARACTER: {x} ON COMPONENT: {} IN TEXT: {}"},
        TextCase{19, L"int,Box,7", L"ILLEGAL TYPE: {int} ON COMPONENT: {Box}, ENTRY: X7"},
        TextCase{200, L"ignored", L"Unable to open gateway"}, TextCase{-1, L"", L"NO ERRORS"},
        TextCase{5000, L"", L"INTERNAL: INVALID ERROR CODE {5000}"}));

TEST(ErrorText, KeepsOnlyTenParameters) {
    const TKXError many{7777, L"%s%s%s%s%s%s%s%s%s%s"};
    std::vector<TKXError::Arg> args;
    for (int i = 1; i <= 10; ++i) {
        args.emplace_back(std::to_wstring(i % 10));
    }
    EXPECT_EQ(FormatError(many, args), L"1234567890");
}

TEST(ErrorText, CharactersOutsideTheAnsiCodePageDoNotSurvive) {
    const std::wstring text = GetErrorText(62, L"A\u4E2DB");
    EXPECT_EQ(text.find(L'\u4E2D'), std::wstring::npos);
    EXPECT_EQ(text.substr(0, 18), L"File not found: {A");
}

struct LookupCase {
    int32_t code;
    int32_t expectedCode;
    const wchar_t* expectedTemplate;
};

class Lookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, ReturnsEntryOrFallback) {
    const TKXError e = LookupError(GetParam().code);
    EXPECT_EQ(e.ErrorCode, GetParam().expectedCode);
    EXPECT_EQ(e.templateStr, GetParam().expectedTemplate);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Lookup,
    ::testing::Values(
        LookupCase{-1, -1, L"NO ERRORS"}, LookupCase{62, 62, L"File not found: {%s}"},
        LookupCase{1, 1, L"INTERNAL: INVALID ERROR CODE {%s}"},
        LookupCase{5000, 1, L"INTERNAL: INVALID ERROR CODE {5000}"},
        LookupCase{3, 1, L"INTERNAL: INVALID ERROR CODE {3}"},
        LookupCase{-2, 1, L"INTERNAL: INVALID ERROR CODE {-2}"},
        LookupCase{0, 1, L"INTERNAL: INVALID ERROR CODE {0}"},
        LookupCase{460, 460,
                   L"Download buffer size exceeds max size: 300 MB for hardware that lacks multi "
                   L"section support"},
        LookupCase{1004, 1004, L"VG730 DLL not found"},
        LookupCase{2002, 2002, L"Gateway not on CAN bus yet"}));

TEST(Format, NumericPlaceholdersNeedNumbers) {
    const TKXError hex{9001, L"Address 0x%x, count %d, size %u"};
    EXPECT_EQ(FormatError(hex, {int64_t{255}, int64_t{-3}, int64_t{7}}),
              L"Address 0xFF, count -3, size 7");
    EXPECT_THROW(FormatError(hex, {std::wstring(L"a"), std::wstring(L"b"), std::wstring(L"c")}),
                 EConvertError);
}

TEST(Format, TooFewArgumentsRaise) {
    EXPECT_THROW(FormatError(ErrIllegalCharacter, {std::wstring(L"only one")}), EConvertError);
}

TEST(Format, PercentAndUpperCaseS) {
    const TKXError e{9002, L"%S is 100%% done"};
    EXPECT_EQ(FormatError(e, {std::wstring(L"Copy")}), L"Copy is 100% done");
}

TEST(Create, FormsOfTheEntryFactory) {
    const TKXError filled = TKXError::Create(ErrFileNotFound, {std::wstring(L"x.img")});
    EXPECT_EQ(filled.ErrorCode, 62);
    EXPECT_EQ(filled.templateStr, L"File not found: {x.img}");
    const TKXError plain = TKXError::Create(ErrUnableToOpenGateway);
    EXPECT_EQ(plain.templateStr, L"Unable to open gateway");
    const TKXError own = TKXError::Create(42, L"{%s} kept as it is");
    EXPECT_EQ(own.ErrorCode, 42);
    EXPECT_EQ(own.templateStr, L"{%s} kept as it is");
}

} // namespace
