// Both sides (tests): the device faults the flash programmer's tests inject, in the device
// model's own terms; the native tests hand them to the model, the Wine tests to the driver.
#pragma once

#include "Vg730Device.h"

#include <cstdint>

namespace flash_faults {

inline Vg730Fault status_fault(Vg730RequestKind kind, std::uint32_t nth, std::int32_t status) {
    Vg730Fault f{};
    f.type = VG730_FAULT_ANSWER_STATUS;
    f.kind = kind;
    f.nth = nth;
    f.repeat = 1;
    f.status = status;
    return f;
}
inline Vg730Fault call_fault(Vg730RequestKind kind, std::uint32_t nth) {
    Vg730Fault f{};
    f.type = VG730_FAULT_FAIL_CALL;
    f.kind = kind;
    f.nth = nth;
    f.repeat = 1;
    return f;
}
// Pulled out at the nth request of that kind, before it is carried out.
inline Vg730Fault unplug_at(Vg730RequestKind kind, std::uint32_t nth) {
    Vg730Fault f{};
    f.type = VG730_FAULT_UNPLUG;
    f.kind = kind;
    f.nth = nth;
    return f;
}
inline Vg730Fault refuse_start(std::int32_t status) {
    Vg730Fault f{};
    f.type = VG730_FAULT_REFUSE_START;
    f.status = status;
    return f;
}
inline Vg730Fault corrupt(std::uint32_t address, std::uint32_t length) {
    Vg730Fault f{};
    f.type = VG730_FAULT_CORRUPT;
    f.address = address;
    f.length = length;
    f.mask = 0x01;
    return f;
}

} // namespace flash_faults
