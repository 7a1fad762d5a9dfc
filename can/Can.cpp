// Portable part of the CAN library binding: the library name, the switches and the messages.
#include "Can.h"

#include <cstdio>

namespace {

struct TCanUnitState {
    std::wstring DllName = DefaultCanDllName;
    bool GatewayMode = false;
    bool BootModeForced = false;
};

// Created on first use, so no other module's initialisation can see it unset.
TCanUnitState& State() {
    static TCanUnitState state;
    return state;
}

} // namespace

void SetCanDllName(const std::wstring& Name) {
    State().DllName = Name;
}
const std::wstring& CanDllName() {
    return State().DllName;
}

bool GatewayMode() {
    return State().GatewayMode;
}
void SetGatewayMode(bool Value) {
    State().GatewayMode = Value;
}
bool BootModeForced() {
    return State().BootModeForced;
}
void SetBootModeForced(bool Value) {
    State().BootModeForced = Value;
}

void InitializeCanUnit() {
    State().DllName = DefaultCanDllName;
    State().GatewayMode = false;
    State().BootModeForced = false;
}

std::wstring CanLoadFailedMessage(const std::wstring& Name, uint32_t PlatformError) {
    wchar_t code[16] = {};
    swprintf(code, 16, L"0x%8.8x", static_cast<unsigned>(PlatformError));
    return L"Can not load the CAN driver " + Name + L"(Error " + code + L")";
}

std::wstring CanEntryMissingMessage(const char* EntryName) {
    // Entry names are plain ASCII.
    const std::string name(EntryName);
    return L"VNCOMM: function " + std::wstring(name.begin(), name.end()) + L" not found.";
}
