// Portable: the line list of the process runner.
#include "ExeUnitStrings.h"

std::vector<std::wstring> SplitLines(std::wstring_view Text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        const wchar_t c = Text[i];
        if (c != L'\r' && c != L'\n') {
            continue;
        }
        lines.emplace_back(Text.substr(start, i - start));
        if (c == L'\r' && i + 1 < Text.size() && Text[i + 1] == L'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < Text.size()) {
        lines.emplace_back(Text.substr(start));
    }
    return lines;
}

std::wstring TStrings::Text() const {
    size_t size = 0;
    for (const std::wstring& line : FLines) {
        size += line.size() + 2;
    }
    std::wstring text;
    text.reserve(size);
    for (const std::wstring& line : FLines) {
        text += line;
        text += L"\r\n";
    }
    return text;
}

void TStrings::SetText(std::wstring_view Text) {
    FLines = SplitLines(Text);
}
