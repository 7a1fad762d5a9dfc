// Portable side of ExeUnit: the text helpers and how a finished run becomes lines.
#include "ExeUnit.h"

#include <algorithm>

namespace {

// Blanks and control characters, as trimming takes them off.
bool IsTrimmed(wchar_t c) {
    return c <= L' ';
}

} // namespace

std::wstring Trim(std::wstring_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsTrimmed(text[first])) {
        ++first;
    }
    while (last > first && IsTrimmed(text[last - 1])) {
        --last;
    }
    return std::wstring(text.substr(first, last - first));
}

int SplitString(const std::wstring& Text, wchar_t Separator, TStrings* List, bool TrimParts) {
    if (!List) {
        return 0;
    }
    const std::wstring_view text(Text);
    auto add = [&](std::wstring_view piece) {
        List->Add(TrimParts ? Trim(piece) : std::wstring(piece));
    };
    size_t start = 0;
    for (size_t sep = text.find(Separator); sep != std::wstring_view::npos;
         sep = text.find(Separator, start)) {
        add(text.substr(start, sep - start));
        start = sep + 1;
    }
    if (start < text.size()) {
        add(text.substr(start));
    }
    return static_cast<int>(List->Count());
}

std::wstring GetField(const std::wstring& Text, int Index, wchar_t Separator) {
    if (Index < 1) {
        return {};
    }
    size_t start = 0;
    for (int field = 1; field < Index; ++field) {
        const size_t sep = Text.find(Separator, start);
        if (sep == std::wstring::npos) {
            return {};
        }
        start = sep + 1;
    }
    const size_t end = Text.find(Separator, start);
    return Text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

void TRunRecord::AppendOutput(std::span<const char> Block) {
    const size_t before = Output.size();
    Output.append(Block.data(), Block.size());
    Output.erase(
        std::remove(Output.begin() + static_cast<std::ptrdiff_t>(before), Output.end(), '\0'),
        Output.end());
}

bool IsUtf8(std::string_view Bytes) {
    size_t i = 0;
    while (i < Bytes.size()) {
        const auto lead = static_cast<unsigned char>(Bytes[i]);
        size_t extra = 0;
        uint32_t value = 0;
        uint32_t least = 0; // the smallest value that needs this many bytes
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, value = lead & 0x1Fu, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, value = lead & 0x0Fu, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, value = lead & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (Bytes.size() - i <= extra) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(Bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = value << 6 | (next & 0x3Fu);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::wstring ReadFailedLine(uint32_t ErrorCode) {
    return L"readFile failed; errorflag = " + std::to_wstring(ErrorCode);
}

std::wstring WaitFailedLine(uint32_t ErrorCode) {
    return L"WaitforSingleObject failed; errorflag = " + std::to_wstring(ErrorCode);
}

bool DeliverRunRecord(const TRunRecord& Record, const std::wstring& OutputText,
                      const TRunLimits& Limits, TStrings& Lines) {
    const bool captured = !Record.Output.empty();
    if (captured) {
        Lines.SetText(OutputText);
    }
    if (Record.WaitError) {
        Lines.Add(WaitFailedLine(*Record.WaitError));
    }
    if (!captured) {
        Lines.Add(ReadFailedLine(Record.LastError));
    }
    if (Record.Stopped != TStopReason::srNone) {
        Lines.Add(StoppedLine(Record.Stopped, Limits));
    }
    return captured;
}
