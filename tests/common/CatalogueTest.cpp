// The error catalogue: look-up, the fallback entry, formatting, GetErrorText and the contents of
// the whole table.
#include "UniversalUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <vector>

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

// ---- the whole catalogue -----------------------------------------------------------------------

// Each named entry, in catalogue order. Its code is read from the entry itself, so the checks
// below compare what the program uses with the codes written out independently.
struct CatalogueLine {
    const TKXError* entry;
    const char* name;
    int32_t code() const { return entry->ErrorCode; }
};

const CatalogueLine CatalogueLines[] = {
#define KX_ERROR(Name, Code, Template) {&Name, #Name},
#include "UniversalUnitCatalogue.inc"
#undef KX_ERROR
};

// The codes the suite defines, written out independently of the catalogue itself.
struct CodeRange {
    int32_t first;
    int32_t last;
};

constexpr CodeRange ListedCodes[] = {
    {-1, -1},     {1, 2},       {4, 7},       {10, 15},     {18, 29},   {31, 35},   {38, 38},
    {43, 44},     {46, 51},     {53, 58},     {60, 60},     {62, 81},   {83, 84},   {86, 91},
    {95, 95},     {97, 101},    {104, 104},   {106, 110},   {112, 120}, {122, 142}, {145, 145},
    {147, 149},   {151, 156},   {158, 179},   {181, 189},   {192, 197}, {199, 205}, {211, 216},
    {218, 218},   {221, 223},   {230, 232},   {236, 236},   {238, 239}, {241, 284}, {290, 292},
    {300, 300},   {302, 302},   {304, 304},   {306, 311},   {313, 346}, {349, 353}, {361, 424},
    {430, 438},   {440, 460},   {490, 490},   {500, 505},   {507, 527}, {529, 531}, {533, 534},
    {536, 550},   {553, 568},   {571, 603},   {605, 607},   {610, 615}, {620, 628}, {999, 1018},
    {1099, 1100}, {1102, 1103}, {1500, 1501}, {2000, 2002},
};
constexpr size_t ListedCodeCount = 519;

std::set<int32_t> ListedCodeSet() {
    std::set<int32_t> codes;
    for (const CodeRange& range : ListedCodes) {
        for (int32_t code = range.first; code <= range.last; ++code) {
            codes.insert(code);
        }
    }
    return codes;
}

struct Band {
    int32_t first;
    int32_t last;
    size_t entries;
    const char* domain;
};

constexpr Band Bands[] = {
    {-1, -1, 1, "no errors"},
    {1, 199, 163, "compiler, build, file and installation"},
    {200, 292, 69, "ECU communication through a gateway"},
    {300, 460, 142, "further compiler and build"},
    {490, 490, 1, "another tool"},
    {500, 568, 63, "service tool programming interface"},
    {571, 628, 51, "screen editor, model conversion and protocols"},
    {999, 1018, 20, "interface library"},
    {1099, 1103, 4, "handle, parameter and ECU mode"},
    {1500, 1501, 2, "node and file"},
    {2000, 2002, 3, "gateway interface"},
};

TEST(CatalogueCodes, AreExactlyTheListedOnesInAscendingOrder) {
    std::set<int32_t> present;
    for (size_t i = 0; i < std::size(CatalogueLines); ++i) {
        const CatalogueLine& line = CatalogueLines[i];
        EXPECT_TRUE(present.insert(line.code()).second)
            << line.name << " repeats code " << line.code();
        if (i > 0) {
            // The look-up is a binary search: one entry out of order hides others.
            EXPECT_LT(CatalogueLines[i - 1].code(), line.code())
                << line.name << " follows " << CatalogueLines[i - 1].name;
        }
    }
    const std::set<int32_t> listed = ListedCodeSet();
    std::vector<int32_t> missing, extra;
    for (int32_t code : listed) {
        if (!present.count(code)) {
            missing.push_back(code);
        }
    }
    for (int32_t code : present) {
        if (!listed.count(code)) {
            extra.push_back(code);
        }
    }
    EXPECT_EQ(missing, std::vector<int32_t>{});
    EXPECT_EQ(extra, std::vector<int32_t>{});
    EXPECT_EQ(listed.size(), ListedCodeCount);
    EXPECT_EQ(std::size(CatalogueLines), ListedCodeCount);
}

TEST(CatalogueCodes, FillTheBandsWithTheirCounts) {
    size_t total = 0;
    for (const Band& band : Bands) {
        size_t inBand = 0;
        for (const CatalogueLine& line : CatalogueLines) {
            inBand += line.code() >= band.first && line.code() <= band.last;
        }
        EXPECT_EQ(inBand, band.entries)
            << band.domain << " (" << band.first << " to " << band.last << ")";
        total += band.entries;
    }
    EXPECT_EQ(total, ListedCodeCount);
    for (const CatalogueLine& line : CatalogueLines) {
        bool inSomeBand = false;
        for (const Band& band : Bands) {
            inSomeBand = inSomeBand || (line.code() >= band.first && line.code() <= band.last);
        }
        EXPECT_TRUE(inSomeBand) << line.name << " has code " << line.code()
                                << " outside every band";
    }
}

TEST(CatalogueLookup, FindsEveryConstantByItsCode) {
    for (const CatalogueLine& line : CatalogueLines) {
        const TKXError found = LookupError(line.code());
        EXPECT_EQ(found.ErrorCode, line.code()) << line.name;
        if (line.code() != 460) { // the one entry whose look-up replaces its template
            EXPECT_EQ(found.templateStr, line.entry->templateStr) << line.name;
        }
    }
}

TEST(CatalogueLookup, ProbingAnswersOnlyTheListedCodes) {
    const std::set<int32_t> listed = ListedCodeSet();
    std::vector<int32_t> probes;
    for (int32_t code = -100; code <= 3000; ++code) {
        probes.push_back(code);
    }
    probes.insert(probes.end(), {9999, 65536, std::numeric_limits<int32_t>::max(),
                                 std::numeric_limits<int32_t>::min()});
    std::vector<int32_t> notFound, answeredWrongly;
    for (int32_t code : probes) {
        const TKXError found = LookupError(code);
        const std::wstring fallback =
            L"INTERNAL: INVALID ERROR CODE {" + std::to_wstring(code) + L"}";
        if (listed.count(code)) {
            if (found.ErrorCode != code || found.templateStr == fallback) {
                notFound.push_back(code);
            }
        } else if (found.ErrorCode != 1 || found.templateStr != fallback) {
            answeredWrongly.push_back(code);
        }
    }
    EXPECT_EQ(notFound, std::vector<int32_t>{});
    EXPECT_EQ(answeredWrongly, std::vector<int32_t>{});
}

// The few templates with other placeholders than "%s", each formatted by hand.
struct OtherPlaceholders {
    const TKXError* entry;
    std::vector<TKXError::Arg> args;
    const wchar_t* text;
};

const OtherPlaceholders OtherPlaceholderEntries[] = {
    {&ErrAddressOutOfRange,
     {int64_t{0x1A2B}, std::wstring(L"boot")},
     L"ADDRESS OUT OF RANGE: 0x1A2B IN SECTION: {boot}"},
    {&ErrImageChecksumMismatch,
     {int64_t{0xBEEF}, int64_t{255}, std::wstring(L"fw.img")},
     L"IMAGE CHECKSUM MISMATCH: 0xBEEF, EXPECTED: 0xFF IN FILE: {fw.img}"},
    {&ErrBufferTooSmall, {int64_t{-12}}, L"Buffer too small: -12 bytes needed"},
    {&ErrUnknownApiFunction, {std::wstring(L"canFlush")}, L"Unknown API function: canFlush"},
    {&ErrInvalidMessageLength,
     {int64_t{9}, int64_t{0x7FF}},
     L"Invalid message length: 9 bytes in message 0x7FF"},
};

TEST(CatalogueTemplates, OtherPlaceholdersOnlyWhereListed) {
    for (const OtherPlaceholders& other : OtherPlaceholderEntries) {
        EXPECT_EQ(FormatError(*other.entry, other.args), other.text);
    }
    for (const CatalogueLine& line : CatalogueLines) {
        const bool listed =
            std::any_of(std::begin(OtherPlaceholderEntries), std::end(OtherPlaceholderEntries),
                        [&](const OtherPlaceholders& other) { return other.entry == line.entry; });
        if (!listed) {
            std::wstring rest = line.entry->templateStr;
            for (size_t at; (at = rest.find(L"%s")) != std::wstring::npos;) {
                rest.erase(at, 2);
            }
            EXPECT_EQ(rest.find(L'%'), std::wstring::npos) << line.name;
        }
    }
}

// GetErrorText always hands over ten texts; every template with only "%s" placeholders (at
// most eight) must take them, each placeholder showing the next parameter.
TEST(CatalogueTemplates, TextOnlyTemplatesTakeTheTenTextParameters) {
    std::wstring params;
    for (int k = 1; k <= 10; ++k) {
        params += (k > 1 ? L"," : L"") + (L"<" + std::to_wstring(k) + L">");
    }
    for (const CatalogueLine& line : CatalogueLines) {
        const bool other =
            std::any_of(std::begin(OtherPlaceholderEntries), std::end(OtherPlaceholderEntries),
                        [&](const OtherPlaceholders& o) { return o.entry == line.entry; });
        if (other) {
            continue;
        }
        // Look-up may change the template (460): count in what GetErrorText will format.
        const std::wstring& format = LookupError(line.code()).templateStr;
        const size_t placeholders =
            static_cast<size_t>(std::count(format.begin(), format.end(), L'%'));
        EXPECT_LE(placeholders, 8u) << line.name;
        std::wstring text;
        ASSERT_NO_THROW(text = GetErrorText(line.code(), params)) << line.name;
        size_t from = 0;
        for (size_t k = 1; k <= placeholders; ++k) {
            const size_t at = text.find(L"<" + std::to_wstring(k) + L">", from);
            ASSERT_NE(at, std::wstring::npos) << line.name << " lacks parameter " << k;
            from = at;
        }
        EXPECT_EQ(text.find(L"<" + std::to_wstring(placeholders + 1) + L">"), std::wstring::npos)
            << line.name << " shows more parameters than it has placeholders";
        EXPECT_EQ(text.find(L'%'), std::wstring::npos) << line.name;
    }
}

// The entries other parts of the system and the suite rely on, by name, code and text.
TEST(CatalogueTexts, KnownEntriesKeepTheirExactTexts) {
    struct Known {
        const TKXError* entry;
        int32_t code;
        const wchar_t* text;
    };
    const Known known[] = {
        {&ErrNoErrors, -1, L"NO ERRORS"},
        {&ErrInvalidErrorCode, 1, L"INTERNAL: INVALID ERROR CODE {%s}"},
        {&ErrIllegalCharacter, 2, L"ILLEGAL CHARACTER: {%s} ON COMPONENT: {%s} IN TEXT: {%s}"},
        {&ErrIllegalType, 19, L"ILLEGAL TYPE: {%s} ON COMPONENT: {%s}, ENTRY: X%s"},
        {&ErrFileNotFound, 62, L"File not found: {%s}"},
        {&ErrUnableToOpenGateway, 200, L"Unable to open gateway"},
        {&ErrNoAnswerFromEcu, 204, L"No answer from ECU"},
        {&ErrInvalidBaudrate, 205, L"Invalid baudrate"},
        {&ErrDownloadBufferTooLarge, 460,
         L"Download buffer size: {%s} MB exceeds max size: {%s} MB for hardware that lacks multi "
         L"section support"},
        {&ErrApiAlreadyStarted, 500, L"API already started"},
        {&ErrInvalidGateway, 507, L"Invalid gateway"},
        {&ErrGatewayDriversNotFound, 508, L"Gateway drivers not found"},
        {&ErrGatewayError, 522, L"Gateway error"},
        {&ErrVg730DllNotFound, 1004, L"VG730 DLL not found"},
        {&ErrUnableToReadGatewayInfo, 1018, L"Unable to read gateway information"},
        {&ErrFunctionNotSupported, 2000, L"Function not supported by API"},
        {&ErrNoOfflineDeviceInfo, 2001, L"Gateway does not support offline device information"},
        {&ErrGatewayNotOnBus, 2002, L"Gateway not on CAN bus yet"},
    };
    for (const Known& k : known) {
        EXPECT_EQ(k.entry->ErrorCode, k.code);
        EXPECT_EQ(k.entry->templateStr, k.text) << "code " << k.code;
    }
}

} // namespace
