// Windows side: what the emulated CAN library was called with, read from the call log its
// driver keeps (it outlasts the library being released and loaded again). Calls are compared as
// the control tool prints them: "canOpenChannel 0 160", "canIoCtl 0 20 1 data=01".
#pragma once

#include "EmulatorControl.h"
#include "WinApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace library_calls {

inline void Clear() {
    vg730emu::EmulatorControl().ClearCalls();
}

inline vg730emu::CanCallLog Read() {
    return vg730emu::EmulatorControl().Calls();
}

// Each kept call as text, oldest first; only the entries named when any are.
inline std::vector<std::string> Texts(const vg730emu::CanCallLog& log,
                                      const std::vector<std::string_view>& only = {}) {
    std::vector<std::string> texts;
    for (const vg730emu::CanCall& call : log.calls) {
        bool wanted = only.empty();
        for (std::string_view entry : only) {
            wanted = wanted || call.entry == entry;
        }
        if (wanted) {
            texts.push_back(vg730emu::CallText(call));
        }
    }
    return texts;
}
inline std::vector<std::string> Texts(const std::vector<std::string_view>& only = {}) {
    return Texts(Read(), only);
}

// The entries called, oldest first.
inline std::vector<std::string> Entries(const vg730emu::CanCallLog& log) {
    std::vector<std::string> entries;
    for (const vg730emu::CanCall& call : log.calls) {
        entries.push_back(call.entry);
    }
    return entries;
}
inline std::vector<std::string> Entries() {
    return Entries(Read());
}

// A window as the library logs it: its handle's value.
inline std::int64_t Arg(HWND window) {
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(window));
}
template <typename T> std::int64_t Arg(T value) {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>);
    return static_cast<std::int64_t>(value);
}

// The text of a call with these integer arguments.
template <typename... Args> std::string Call(const char* entry, Args... args) {
    std::string text = entry;
    ((text += " " + std::to_string(Arg(args))), ...);
    return text;
}

} // namespace library_calls
