// Windows side: collects the lines sent to the debugger output, as a debugger sees them: the
// debug-print exception the system raises for every line. The exception is passed on, so the
// system goes on as usual.
#pragma once

#include "UniversalTypesUnit.h"
#include "WinApi.h"

#include <string>
#include <vector>

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
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // The lines with their "(Quorvel) hh:mm:ss.zzz " prefix removed; lines without it whole.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : FLines) {
            const std::string tag = "(Quorvel) ";
            if (line.rfind(tag, 0) == 0 && line.size() >= tag.size() + 13) {
                texts.push_back(line.substr(tag.size() + 13));
            } else {
                texts.push_back(line);
            }
        }
        return texts;
    }
    const std::vector<std::string>& Lines() const { return FLines; }

private:
    static constexpr DWORD WidePrintException = 0x4001000A;

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* r = info->ExceptionRecord;
        if (!Active || r->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const size_t length = r->ExceptionInformation[0] ? r->ExceptionInformation[0] - 1 : 0;
        if (r->ExceptionCode == WidePrintException) {
            const auto* text = reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]);
            Active->FLines.push_back(WideToUtf8(std::wstring(text, length)));
            // The system follows with the 8-bit form of the same line: take only one.
            Active->FSkipNextNarrow = true;
        } else if (r->ExceptionCode == DBG_PRINTEXCEPTION_C) {
            if (Active->FSkipNextNarrow) {
                Active->FSkipNextNarrow = false;
            } else {
                Active->FLines.emplace_back(
                    reinterpret_cast<const char*>(r->ExceptionInformation[1]), length);
            }
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static inline DebugOutputCapture* Active = nullptr;
    PVOID FHandler = nullptr;
    bool FSkipNextNarrow = false;
    std::vector<std::string> FLines;
};
