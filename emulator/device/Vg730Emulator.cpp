// Portable: the set of emulated gateways and the control requests over it.
#include "Vg730Emulator.h"

#include "Vg730Bytes.h"

namespace {

int32_t add(Vg730Emulator* emulator, Vg730AddRequest* request) {
    if (request->number > VG730_MAX_DEVICE_NUMBER) {
        return VG730_FAIL_BAD_NUMBER;
    }
    if (vg730_emulator_find(emulator, request->number) != nullptr) {
        return VG730_FAIL_EXISTS;
    }
    for (Vg730Slot& slot : emulator->slots) {
        if (!slot.used) {
            slot.used = 1;
            vg730_device_init(&slot.device, request->number, &request->identity);
            // Handles of an earlier gateway with this number must never pass for this one's.
            emulator->adds += 1;
            slot.device.incarnation = emulator->adds << 16;
            return VG730_OK;
        }
    }
    return VG730_FAIL_TOO_MANY;
}

int32_t remove(Vg730Emulator* emulator, uint32_t number) {
    for (Vg730Slot& slot : emulator->slots) {
        if (slot.used && slot.device.number == number) {
            slot.used = 0;
            return VG730_OK;
        }
    }
    return VG730_FAIL_NO_DEVICE;
}

int32_t add_virtual(Vg730Emulator* emulator, Vg730VirtualRequest* request) {
    request->name[VG730_NAME_SIZE - 1] = '\0';
    if (request->name[0] == '\0') {
        return VG730_FAIL_BAD_NAME;
    }
    if (emulator->virtual_count >= VG730_MAX_VIRTUAL_CHANNELS) {
        return VG730_FAIL_TOO_MANY;
    }
    request->index = emulator->virtual_count;
    vg730_copy_text(emulator->virtual_names[emulator->virtual_count], request->name,
                    VG730_NAME_SIZE);
    emulator->virtual_count += 1;
    return VG730_OK;
}

void list(Vg730Emulator* emulator, uint32_t now_ms, Vg730ChannelList* channels) {
    vg730_fill(channels, 0, sizeof(*channels));
    for (uint32_t number = 0; number <= VG730_MAX_DEVICE_NUMBER; ++number) {
        Vg730Device* device = vg730_emulator_find(emulator, number);
        if (device && vg730_device_presence(device, now_ms) == VG730_PRESENT) {
            channels->incarnations[channels->gateway_count] = device->incarnation;
            channels->gateways[channels->gateway_count++] = number;
        }
    }
    channels->virtual_count = emulator->virtual_count;
    vg730_copy(channels->virtual_names, emulator->virtual_names, sizeof(channels->virtual_names));
}

int32_t entry_fault(Vg730Emulator* emulator, Vg730EntryFaultRequest* request) {
    Vg730EntryFault& fault = request->fault;
    fault.entry[VG730_ENTRY_NAME_SIZE - 1] = '\0';
    if (fault.entry[0] == '\0') {
        return VG730_FAIL_BAD_NAME;
    }
    uint32_t found = emulator->entry_fault_count;
    for (uint32_t i = 0; i < emulator->entry_fault_count; ++i) {
        if (vg730_text_equal(emulator->entry_faults[i].entry, fault.entry)) {
            found = i;
        }
    }
    if (!request->set) {
        if (found < emulator->entry_fault_count) {
            emulator->entry_fault_count -= 1;
            emulator->entry_faults[found] = emulator->entry_faults[emulator->entry_fault_count];
        }
        return VG730_OK;
    }
    if (found == emulator->entry_fault_count) {
        if (emulator->entry_fault_count >= VG730_MAX_ENTRY_FAULTS) {
            return VG730_FAIL_FULL;
        }
        emulator->entry_fault_count += 1;
    }
    emulator->entry_faults[found] = fault;
    return VG730_OK;
}

void drop_target(Vg730Emulator* emulator, uint32_t index) {
    emulator->notify_count -= 1;
    emulator->notify_targets[index] = emulator->notify_targets[emulator->notify_count];
}

int32_t set_target(Vg730Emulator* emulator, const Vg730NotifyTarget& target) {
    if (target.number > VG730_MAX_DEVICE_NUMBER) {
        return VG730_FAIL_BAD_NUMBER;
    }
    for (uint32_t i = 0; i < emulator->notify_count; ++i) {
        const Vg730NotifyTarget& old = emulator->notify_targets[i];
        if (old.process == target.process && old.handle == target.handle) {
            drop_target(emulator, i);
            break;
        }
    }
    if (target.window == 0 || target.flags == 0) {
        return VG730_OK;
    }
    if (emulator->notify_count >= VG730_MAX_NOTIFY_TARGETS) {
        return VG730_FAIL_FULL;
    }
    emulator->notify_targets[emulator->notify_count++] = target;
    return VG730_OK;
}

void drop_targets(Vg730Emulator* emulator, const Vg730NotifyDropRequest& request) {
    for (uint32_t i = emulator->notify_count; i-- > 0;) {
        const Vg730NotifyTarget& target = emulator->notify_targets[i];
        if (target.process == request.process &&
            (request.every_handle || target.handle == request.handle)) {
            drop_target(emulator, i);
        }
    }
}

template <typename T> T* as(void* buffer, uint32_t size) {
    return size == sizeof(T) && buffer != nullptr ? static_cast<T*>(buffer) : nullptr;
}

} // namespace

void vg730_emulator_init(Vg730Emulator* emulator) {
    vg730_fill(emulator, 0, offsetof(Vg730Emulator, slots));
    vg730_call_log_init(&emulator->own_call_log);
    emulator->call_log = &emulator->own_call_log;
    for (Vg730Slot& slot : emulator->slots) {
        slot.used = 0;
    }
}

void vg730_emulator_share_call_log(Vg730Emulator* emulator, Vg730CallLog* log) {
    emulator->call_log = log;
}

Vg730Device* vg730_emulator_find(Vg730Emulator* emulator, uint32_t number) {
    for (Vg730Slot& slot : emulator->slots) {
        if (slot.used && slot.device.number == number) {
            return &slot.device;
        }
    }
    return nullptr;
}

Vg730Result vg730_emulator_control(Vg730Emulator* emulator, uint32_t now_ms, uint32_t control_code,
                                   void* buffer, uint32_t size, uint32_t* bytes_returned) {
    *bytes_returned = 0;
    int32_t* result = nullptr;
    switch (control_code) {
    case VG730_CTL_RESET:
        if (auto* r = as<Vg730ControlResult>(buffer, size)) {
            const uint32_t adds = emulator->adds;
            Vg730CallLog* log = emulator->call_log;
            vg730_emulator_init(emulator);
            emulator->adds = adds;
            emulator->call_log = log;
            vg730_call_log_clear(log);
            r->result = VG730_OK;
            result = &r->result;
        }
        break;
    case VG730_CTL_ADD:
        if (auto* r = as<Vg730AddRequest>(buffer, size)) {
            r->result = add(emulator, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_REMOVE:
        if (auto* r = as<Vg730DeviceRequest>(buffer, size)) {
            r->result = remove(emulator, r->number);
            result = &r->result;
        }
        break;
    case VG730_CTL_FAULT:
        if (auto* r = as<Vg730FaultRequest>(buffer, size)) {
            Vg730Device* device = vg730_emulator_find(emulator, r->number);
            if (!device) {
                r->result = VG730_FAIL_NO_DEVICE;
            } else if (r->fault.type == VG730_FAULT_UNPLUG && r->fault.nth == 0) {
                vg730_device_unplug(device); // at once rather than at a later request
                r->result = VG730_OK;
            } else {
                r->result = vg730_device_add_fault(device, &r->fault);
            }
            result = &r->result;
        }
        break;
    case VG730_CTL_CLEAR:
        if (auto* r = as<Vg730DeviceRequest>(buffer, size)) {
            Vg730Device* device = vg730_emulator_find(emulator, r->number);
            if (device) {
                vg730_device_clear_faults(device);
            }
            r->result = device ? VG730_OK : VG730_FAIL_NO_DEVICE;
            result = &r->result;
        }
        break;
    case VG730_CTL_REPORT:
        if (auto* r = as<Vg730ReportRequest>(buffer, size)) {
            Vg730Device* device = vg730_emulator_find(emulator, r->number);
            if (device) {
                vg730_device_report(device, now_ms, &r->report);
            }
            r->result = device ? VG730_OK : VG730_FAIL_NO_DEVICE;
            result = &r->result;
        }
        break;
    case VG730_CTL_ADD_VIRTUAL:
        if (auto* r = as<Vg730VirtualRequest>(buffer, size)) {
            r->result = add_virtual(emulator, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_LIST:
        if (auto* r = as<Vg730ChannelList>(buffer, size)) {
            list(emulator, now_ms, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_ENTRY_FAULT:
        if (auto* r = as<Vg730EntryFaultRequest>(buffer, size)) {
            r->result = entry_fault(emulator, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_ENTRY_FAULTS:
        if (auto* r = as<Vg730EntryFaultList>(buffer, size)) {
            vg730_fill(r, 0, sizeof(*r));
            r->count = emulator->entry_fault_count;
            vg730_copy(r->faults, emulator->entry_faults, sizeof(r->faults));
            result = &r->result;
        }
        break;
    case VG730_CTL_CALL:
        if (auto* r = as<Vg730CallRequest>(buffer, size)) {
            r->result = vg730_call_log_record(emulator->call_log, &r->call) ? VG730_OK
                                                                            : VG730_FAIL_BAD_VALUE;
            result = &r->result;
        }
        break;
    case VG730_CTL_CALLS:
        if (auto* r = as<Vg730CallsRequest>(buffer, size)) {
            vg730_call_log_read(emulator->call_log, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_CLEAR_CALLS:
        if (auto* r = as<Vg730ControlResult>(buffer, size)) {
            vg730_call_log_clear(emulator->call_log);
            r->result = VG730_OK;
            result = &r->result;
        }
        break;
    case VG730_CTL_NOTIFY_SET:
        if (auto* r = as<Vg730NotifyRequest>(buffer, size)) {
            r->result = set_target(emulator, r->target);
            result = &r->result;
        }
        break;
    case VG730_CTL_NOTIFY_DROP:
        if (auto* r = as<Vg730NotifyDropRequest>(buffer, size)) {
            drop_targets(emulator, *r);
            r->result = VG730_OK;
            result = &r->result;
        }
        break;
    case VG730_CTL_REQUESTS:
        if (auto* r = as<Vg730RequestsRequest>(buffer, size)) {
            vg730_request_log_read(&emulator->request_log, r);
            result = &r->result;
        }
        break;
    case VG730_CTL_CLEAR_REQUESTS:
        if (auto* r = as<Vg730ControlResult>(buffer, size)) {
            vg730_request_log_clear(&emulator->request_log);
            r->result = VG730_OK;
            result = &r->result;
        }
        break;
    case VG730_CTL_PLUG:
        if (auto* r = as<Vg730DeviceRequest>(buffer, size)) {
            Vg730Device* device = vg730_emulator_find(emulator, r->number);
            r->result = device ? vg730_device_plug(device) : VG730_FAIL_NO_DEVICE;
            result = &r->result;
        }
        break;
    case VG730_CTL_NOTIFY_LIST:
        if (auto* r = as<Vg730NotifyList>(buffer, size)) {
            vg730_fill(r, 0, sizeof(*r));
            r->count = emulator->notify_count;
            vg730_copy(r->targets, emulator->notify_targets, sizeof(r->targets));
            result = &r->result;
        }
        break;
    default:
        return VG730_FAIL_UNKNOWN_REQUEST;
    }
    if (result == nullptr) {
        return VG730_FAIL_BAD_SIZE;
    }
    *bytes_returned = size;
    return VG730_OK;
}

Vg730Result vg730_emulator_request(Vg730Emulator* emulator, uint32_t number, Vg730Object object,
                                   Vg730Handle* handle, Vg730Result refused, uint32_t now_ms,
                                   uint32_t control_code, void* buffer, uint32_t size,
                                   uint32_t* bytes_returned) {
    *bytes_returned = 0;
    Vg730Request request;
    vg730_request_describe(&request, number, object, control_code, buffer, size);
    Vg730Result result = VG730_FAIL_ABSENT; // a gateway removed since the open
    if (Vg730Device* device = vg730_emulator_find(emulator, number)) {
        result = handle ? vg730_device_ioctl(device, handle, now_ms, control_code, buffer, size,
                                             bytes_returned)
                        : refused;
    }
    vg730_request_log_record(&emulator->request_log, &request, result, buffer);
    return result;
}
