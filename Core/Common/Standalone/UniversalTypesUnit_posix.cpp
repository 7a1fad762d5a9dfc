// Native (non-Windows) side of UniversalTypesUnit, for the portable tests: the ANSI code page is
// taken to be Windows-1252's Latin-1 range, the usual code page of the suite's users.
#include "UniversalTypesUnit.h"

std::wstring ThroughAnsiCodePage(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (static_cast<uint32_t>(c) > 0xFF) {
            c = L'?';
        }
    }
    return out;
}
