// Portable: TStrings, the line list the process runner fills and the main window's text box
// shows. Lines are held without their line breaks; Text and SetText convert to and from the
// CR LF text a multi-line edit control holds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TStrings {
public:
    TStrings() = default;
    TStrings(std::initializer_list<std::wstring> lines) : FLines(lines) {}

    size_t Count() const noexcept { return FLines.size(); }
    bool Empty() const noexcept { return FLines.empty(); }
    const std::wstring& operator[](size_t index) const { return FLines.at(index); }
    const std::vector<std::wstring>& Lines() const noexcept { return FLines; }

    void Add(std::wstring line) { FLines.push_back(std::move(line)); }
    // Puts the line before the one at index (at the end when index is Count()).
    void Insert(size_t index, std::wstring line) {
        FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(std::min(index, FLines.size())),
                      std::move(line));
    }
    void Clear() noexcept { FLines.clear(); }

    // Every line followed by CR LF: the form an edit control shows, and one SetText reads back
    // into the same lines.
    std::wstring Text() const;
    // Replaces the lines with those of Text, broken at CR LF, at a lone CR and at a lone LF.
    // A line break at the very end adds no empty line.
    void SetText(std::wstring_view Text);

    bool operator==(const TStrings& other) const = default;

private:
    std::vector<std::wstring> FLines;
};

// The lines of Text, broken as TStrings::SetText does.
std::vector<std::wstring> SplitLines(std::wstring_view Text);
