// Portable: the interface of a message filter a CAN back-end can be handed. No object in the
// updater implements it, and the back-ends ignore filters they are given.
#pragma once

#include "UniversalTypesUnit.h"

#include <array>
#include <cstdint>
#include <string>

// An interface identifier.
struct TGUID {
    uint32_t D1;
    uint16_t D2;
    uint16_t D3;
    std::array<uint8_t, 8> D4;
    friend constexpr bool operator==(const TGUID&, const TGUID&) = default;
};

class ICanMsgFilter {
public:
    // {0880E5FB-A3D8-4F9D-953D-8DA5ECD7E7C8}
    static constexpr TGUID IID = {
        0x0880E5FB, 0xA3D8, 0x4F9D, {0x95, 0x3D, 0x8D, 0xA5, 0xEC, 0xD7, 0xE7, 0xC8}};

    virtual ~ICanMsgFilter() = default;
    // Whether a received message passes the filter.
    virtual bool Accepts(const TCanMsg& Msg) const = 0;
    // A short text telling what the filter lets through.
    virtual std::wstring Description() const = 0;
};
