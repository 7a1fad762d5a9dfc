// Portable test fixture: the set of emulated gateways in this process, driven by the control
// requests the driver passes on.
#pragma once

#include "Vg730Emulator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

class EmulatorModel : public testing::Test {
protected:
    EmulatorModel() : emulator(std::make_unique<Vg730Emulator>()) {
        vg730_emulator_init(emulator.get());
    }

    // A control request answered whole; its result.
    template <typename T> std::int32_t Control(std::uint32_t code, T& request) {
        std::uint32_t returned = 0;
        EXPECT_EQ(
            vg730_emulator_control(emulator.get(), now, code, &request, sizeof(request), &returned),
            VG730_OK);
        EXPECT_EQ(returned, sizeof(request));
        return request.result;
    }
    // A gateway with the defaults of a new one; the result of adding it.
    std::int32_t Add(std::uint32_t number) {
        Vg730AddRequest request{};
        request.number = number;
        vg730_identity_default(&request.identity, number);
        return Control(VG730_CTL_ADD, request);
    }

    std::unique_ptr<Vg730Emulator> emulator;
    std::uint32_t now = 1000;
};
