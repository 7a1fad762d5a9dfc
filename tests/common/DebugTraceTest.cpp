// DebugTrace: the line format, and that the line reaches the debugger output.
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

// Collects what OutputDebugString sends, the way a debugger sees it: the debug-print exception
// the system raises for every line. The exception is passed on, so the system goes on as usual.
class DebugOutputCapture {
public:
    DebugOutputCapture() {
        Active = this;
        FHandler = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
    }
    ~DebugOutputCapture() {
        RemoveVectoredExceptionHandler(FHandler);
        Active = nullptr;
    }
    std::vector<std::string> Lines;

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* r = info->ExceptionRecord;
        if (Active && r->NumberParameters >= 2) {
            if (r->ExceptionCode == DBG_PRINTEXCEPTION_C) {
                Active->Lines.emplace_back(
                    reinterpret_cast<const char*>(r->ExceptionInformation[1]),
                    r->ExceptionInformation[0] ? r->ExceptionInformation[0] - 1 : 0);
            } else if (r->ExceptionCode == 0x4001000A /* DBG_PRINTEXCEPTION_WIDE_C */) {
                const auto* text = reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]);
                Active->Lines.push_back(WideToUtf8(std::wstring(
                    text, r->ExceptionInformation[0] ? r->ExceptionInformation[0] - 1 : 0)));
                // The system follows with the 8-bit form of the same line: take only one.
                Active->FSkipNextNarrow = true;
                return EXCEPTION_CONTINUE_SEARCH;
            }
            if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && Active->FSkipNextNarrow) {
                Active->Lines.pop_back();
                Active->FSkipNextNarrow = false;
            }
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static inline DebugOutputCapture* Active = nullptr;
    PVOID FHandler = nullptr;
    bool FSkipNextNarrow = false;
};

TEST(DebugTrace, LineCarriesTheTagTheTimeAndTheText) {
    SYSTEMTIME t = {};
    t.wHour = 7;
    t.wMinute = 5;
    t.wSecond = 9;
    t.wMilliseconds = 42;
    EXPECT_EQ(FormatDebugTraceLine(L"LoadLibrary: x.dll", t),
              L"(Quorvel) 07:05:09.042 LoadLibrary: x.dll");
    t.wHour = 23;
    t.wMilliseconds = 999;
    EXPECT_EQ(FormatDebugTraceLine(L"", t), L"(Quorvel) 23:05:09.999 ");
}

TEST(DebugTrace, EnabledLinesReachTheDebuggerOutput) {
    DebugOutputCapture capture;
    DebugTrace(L"first line", true);
    DebugTrace(L"second line", true);
    ASSERT_EQ(capture.Lines.size(), 2u);
    const std::regex line(R"(\(Quorvel\) \d\d:\d\d:\d\d\.\d\d\d (first|second) line)");
    EXPECT_TRUE(std::regex_match(capture.Lines[0], line)) << capture.Lines[0];
    EXPECT_TRUE(std::regex_match(capture.Lines[1], line)) << capture.Lines[1];
    EXPECT_NE(capture.Lines[0].find("first"), std::string::npos);
}

TEST(DebugTrace, DisabledLinesAreDropped) {
    DebugOutputCapture capture;
    DebugTrace(L"not shown", false);
    EXPECT_TRUE(capture.Lines.empty());
}

} // namespace
