// Portable: the emulated gateway's answers to its driver requests, its programming states, its
// flash, its power and its faults.
#include "Vg730Device.h"

#include "Vg730Bytes.h"
#include "Vg730Crc.h"
#include "Vg730FirmwareCheck.h"

namespace {

// Clock arithmetic that survives the wrap of a 32-bit millisecond counter.
bool time_reached(uint32_t now_ms, uint32_t at_ms) {
    return static_cast<int32_t>(now_ms - at_ms) >= 0;
}

struct RequestInfo {
    uint32_t control_code;
    uint32_t size;
    bool programming;      // needs the ".exclusive" object
    int32_t status_offset; // where an injected status is answered; -1: the request has none
};

const RequestInfo Requests[VG730_REQ_KIND_COUNT] = {
    {VG730_IOCTL_FLASH_COMMAND, VG730_FLASH_COMMAND_SIZE, true, VG730_FC_STATUS},
    {VG730_IOCTL_DOWNLOAD, VG730_TRANSFER_SIZE, true, VG730_TR_STATUS},
    {VG730_IOCTL_UPLOAD, VG730_TRANSFER_SIZE, true, VG730_TR_STATUS},
    {VG730_IOCTL_GET_CARD_INFO, VG730_CARD_INFO_SIZE, false, -1},
    {VG730_IOCTL_GET_CARD_INFO2, VG730_CARD_INFO2_SIZE, false, -1},
    {VG730_IOCTL_READ_CARD_PARAMETER, VG730_CARD_PARAMETER_SIZE, false, VG730_CP_STATUS},
    {VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, false, -1},
    {VG730_IOCTL_HOLD, VG730_HOLD_SIZE, false, -1},
};

const char* const KindNames[VG730_REQ_KIND_COUNT] = {
    "flash_command",       "download",     "upload", "get_card_info", "get_card_info2",
    "read_card_parameter", "channel_info", "hold",
};

// The firmware the gateway reports when it has none that works.
const Vg730Version NoFirmware = {0, 0, 0};

void forget_written(Vg730Device* device) {
    device->written_any = 0;
    device->written_low = 0;
    device->written_high = 0;
}

void erase_flash(Vg730Device* device) {
    vg730_fill(device->flash, 0xFF, VG730_FLASH_SIZE);
    forget_written(device);
}

// The XOR of every slot of `slots` that covers the address (0: none does).
uint8_t fault_mask(const Vg730CorruptionSlot (&slots)[VG730_MAX_CORRUPTIONS], uint32_t address) {
    uint8_t mask = 0;
    for (const auto& slot : slots) {
        if (slot.used && address >= slot.address && address - slot.address < slot.length) {
            mask = static_cast<uint8_t>(mask ^ slot.mask);
        }
    }
    return mask;
}

bool bank_blank(const Vg730Device* device, uint32_t address) {
    const uint32_t bank = address - address % VG730_BANK_SIZE;
    for (uint32_t i = 0; i < VG730_BANK_SIZE; ++i) {
        if (device->flash[bank + i] != 0xFF) {
            return false;
        }
    }
    return true;
}

// Every handle of the old life is stale now, and none of them holds the device any more.
void forget_handles(Vg730Device* device) {
    device->incarnation += 1;
    device->info_opens = 0;
    device->exclusive_opens = 0;
    device->holds = 0;
}

// What the gateway does whenever it starts: it runs the image its flash holds, if that image is
// whole (the factory firmware until the flash was first changed), else no firmware at all.
void start_firmware(Vg730Device* device) {
    if (device->flash_changed) {
        Vg730Version version = NoFirmware;
        const bool ok = device->written_any && vg730_check_image(device->flash, VG730_FLASH_SIZE,
                                                                 device->written_low, &version);
        device->image_ok = ok ? 1 : 0;
        device->identity.firmware = ok ? version : NoFirmware;
    }
    device->state = VG730_STATE_IDLE;
    forget_handles(device);
}

// After FLASH_END the gateway leaves its loader: it checks what it received and restarts.
void restart(Vg730Device* device, uint32_t now_ms) {
    start_firmware(device);
    device->presence = VG730_RESTARTING;
    device->restart_at_ms = now_ms + device->restart_ms;
}

// Moves to `next` when the device is in `from`; the status to answer.
int32_t step(Vg730Device* device, uint32_t from, uint32_t next) {
    if (device->state != from) {
        return VG730_STATUS_BAD_STATE;
    }
    device->state = next;
    return VG730_STATUS_OK;
}

int32_t flash_command(Vg730Device* device, uint8_t* buffer, uint32_t now_ms) {
    const uint32_t command = vg730_get32(buffer + VG730_FC_COMMAND);
    const Vg730Version announced = {vg730_get32(buffer + VG730_FC_MAJOR),
                                    vg730_get32(buffer + VG730_FC_MINOR),
                                    vg730_get32(buffer + VG730_FC_BUILD)};
    switch (command) {
    case VG730_FLASH_START:
        device->start_version = announced;
        if (device->state != VG730_STATE_IDLE) {
            return VG730_STATUS_BAD_STATE;
        }
        if (device->refuse_start_status != 0) {
            return device->refuse_start_status;
        }
        return step(device, VG730_STATE_IDLE, VG730_STATE_STARTED);
    case VG730_FLASH_ERASE:
        if (device->state != VG730_STATE_STARTED) {
            return VG730_STATUS_BAD_STATE;
        }
        erase_flash(device);
        device->flash_changed = 1;
        return step(device, VG730_STATE_STARTED, VG730_STATE_ERASED);
    case VG730_FLASH_WRITE_MODE:
        return step(device, VG730_STATE_ERASED, VG730_STATE_WRITE_MODE);
    case VG730_FLASH_READ_MODE:
        return step(device, VG730_STATE_WRITE_MODE, VG730_STATE_READ_MODE);
    case VG730_FLASH_END:
        device->end_version = announced;
        // Outside programming there is nothing to end; the flash programmer sends it anyway.
        if (device->state != VG730_STATE_IDLE) {
            restart(device, now_ms);
        }
        return VG730_STATUS_OK;
    default:
        return VG730_STATUS_BAD_COMMAND;
    }
}

int32_t check_range(uint32_t address, uint32_t length) {
    if (length > VG730_TR_MAX_LENGTH) {
        return VG730_STATUS_BAD_LENGTH;
    }
    if (address >= VG730_FLASH_SIZE || VG730_FLASH_SIZE - address < length) {
        return VG730_STATUS_BAD_ADDRESS;
    }
    return VG730_STATUS_OK;
}

int32_t download(Vg730Device* device, uint8_t* buffer) {
    const uint32_t address = vg730_get32(buffer + VG730_TR_ADDRESS);
    const uint32_t length = vg730_get32(buffer + VG730_TR_LENGTH);
    if (const int32_t status = check_range(address, length); status != VG730_STATUS_OK) {
        return status;
    }
    if (length == 0) {
        // Erase check, between the erase and write mode: accepted when the bank holding the
        // address is erased.
        if (device->state != VG730_STATE_ERASED) {
            return VG730_STATUS_BAD_STATE;
        }
        return bank_blank(device, address) ? VG730_STATUS_OK : VG730_STATUS_NOT_BLANK;
    }
    if (device->state != VG730_STATE_WRITE_MODE) {
        return VG730_STATUS_BAD_STATE;
    }
    if (address / VG730_PAGE_SIZE != (address + length - 1) / VG730_PAGE_SIZE) {
        return VG730_STATUS_PAGE_CROSSING;
    }
    // Programming can only clear bits: what was not erased keeps its zeros and the write fails.
    // A write fault changes what the cell is given; the loader does not notice that.
    bool programmed = true;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t given = static_cast<uint8_t>(buffer[VG730_TR_DATA + i] ^
                                                   fault_mask(device->write_faults, address + i));
        uint8_t& cell = device->flash[address + i];
        cell = static_cast<uint8_t>(cell & given);
        programmed = programmed && cell == given;
    }
    if (!device->written_any) {
        device->written_any = 1;
        device->written_low = address;
        device->written_high = address + length;
    } else {
        if (address < device->written_low) {
            device->written_low = address;
        }
        if (address + length > device->written_high) {
            device->written_high = address + length;
        }
    }
    device->flash_changed = 1;
    return programmed ? VG730_STATUS_OK : VG730_STATUS_PROGRAM_FAILED;
}

int32_t upload(Vg730Device* device, uint8_t* buffer) {
    const uint32_t address = vg730_get32(buffer + VG730_TR_ADDRESS);
    const uint32_t length = vg730_get32(buffer + VG730_TR_LENGTH);
    if (const int32_t status = check_range(address, length); status != VG730_STATUS_OK) {
        return status;
    }
    if (device->state != VG730_STATE_READ_MODE) {
        return VG730_STATUS_BAD_STATE;
    }
    vg730_fill(buffer + VG730_TR_DATA, 0, VG730_TR_MAX_LENGTH);
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t at = address + i;
        buffer[VG730_TR_DATA + i] =
            static_cast<uint8_t>(device->flash[at] ^ fault_mask(device->corruptions, at));
    }
    return VG730_STATUS_OK;
}

void get_card_info(const Vg730Device* device, uint8_t* buffer) {
    const Vg730Identity& id = device->identity;
    vg730_fill(buffer, 0, VG730_CARD_INFO_SIZE);
    vg730_put32(buffer + VG730_CI_FIRMWARE_MAJOR, id.firmware.major);
    vg730_put32(buffer + VG730_CI_FIRMWARE_MINOR, id.firmware.minor);
    vg730_put32(buffer + VG730_CI_FIRMWARE_BUILD, id.firmware.build);
    vg730_put32(buffer + VG730_CI_HARDWARE_MAJOR, id.hardware_major);
    vg730_put32(buffer + VG730_CI_HARDWARE_MINOR, id.hardware_minor);
    vg730_put32(buffer + VG730_CI_SERIAL, static_cast<uint32_t>(id.serial));
}

void get_card_info2(const Vg730Device* device, uint8_t* buffer) {
    vg730_fill(buffer, 0, VG730_CARD_INFO2_SIZE);
    vg730_put32(buffer + VG730_CI2_EAN_LO, device->identity.ean_lo);
    vg730_put32(buffer + VG730_CI2_EAN_HI, device->identity.ean_hi);
}

void read_card_parameter(const Vg730Device* device, uint8_t* buffer) {
    const bool asks_ean = vg730_get32(buffer + VG730_CP_ONE) == 1 &&
                          vg730_get32(buffer + VG730_CP_PARAMETER) == VG730_CP_PARAMETER_EAN &&
                          vg730_get32(buffer + VG730_CP_LENGTH) == 8;
    if (!asks_ean || !device->identity.has_param_ean) {
        vg730_put32(buffer + VG730_CP_STATUS, static_cast<uint32_t>(VG730_STATUS_NO_PARAMETER));
        return;
    }
    vg730_put32(buffer + VG730_CP_STATUS, VG730_STATUS_OK);
    vg730_put32(buffer + VG730_CP_EAN_LO, device->identity.param_ean_lo);
    vg730_put32(buffer + VG730_CP_EAN_HI, device->identity.param_ean_hi);
}

void channel_info(const Vg730Device* device, uint8_t* buffer) {
    const Vg730Identity& id = device->identity;
    vg730_fill(buffer, 0, VG730_CHANNEL_INFO_SIZE);
    vg730_put32(buffer + VG730_CH_FIRMWARE_MAJOR, id.firmware.major);
    vg730_put32(buffer + VG730_CH_FIRMWARE_MINOR, id.firmware.minor);
    vg730_put32(buffer + VG730_CH_FIRMWARE_BUILD, id.firmware.build);
    vg730_put32(buffer + VG730_CH_EAN_LO, id.has_param_ean ? id.param_ean_lo : id.ean_lo);
    vg730_put32(buffer + VG730_CH_EAN_HI, id.has_param_ean ? id.param_ean_hi : id.ean_hi);
    vg730_put32(buffer + VG730_CH_BUS_STATUS, device->bus_status);
    vg730_put32(buffer + VG730_CH_TX_ERRORS, device->tx_errors);
    vg730_put32(buffer + VG730_CH_RX_ERRORS, device->rx_errors);
    vg730_put32(buffer + VG730_CH_OVERRUNS, device->overruns);
    vg730_put32(buffer + VG730_CH_SERIAL, static_cast<uint32_t>(id.serial));
    vg730_put32(buffer + VG730_CH_TX_LEVEL, device->tx_level);
    vg730_put32(buffer + VG730_CH_FLAGS, id.no_channel_ean ? uint32_t{VG730_CH_FLAG_NO_EAN} : 0u);
    vg730_copy_text(reinterpret_cast<char*>(buffer + VG730_CH_NAME), id.name, VG730_CH_NAME_SIZE);
}

// The request fault, if any, that the request numbered `count` of `kind` meets.
const Vg730RequestFaultSlot* request_fault(const Vg730Device* device, uint32_t kind,
                                           uint32_t count) {
    for (const auto& fault : device->request_faults) {
        if (fault.used && fault.kind == kind && count >= fault.first &&
            (fault.last == 0 || count <= fault.last)) {
            return &fault;
        }
    }
    return nullptr;
}

// Does what the request asks, writing its answer into the buffer.
Vg730Result carry_out(Vg730Device* device, Vg730Handle* handle, uint32_t kind, uint8_t* bytes,
                      uint32_t now_ms) {
    switch (kind) {
    case VG730_REQ_FLASH_COMMAND:
        vg730_put32(bytes + VG730_FC_STATUS,
                    static_cast<uint32_t>(flash_command(device, bytes, now_ms)));
        break;
    case VG730_REQ_DOWNLOAD:
        vg730_put32(bytes + VG730_TR_STATUS, static_cast<uint32_t>(download(device, bytes)));
        break;
    case VG730_REQ_UPLOAD:
        vg730_put32(bytes + VG730_TR_STATUS, static_cast<uint32_t>(upload(device, bytes)));
        break;
    case VG730_REQ_GET_CARD_INFO:
        get_card_info(device, bytes);
        break;
    case VG730_REQ_GET_CARD_INFO2:
        get_card_info2(device, bytes);
        break;
    case VG730_REQ_READ_CARD_PARAMETER:
        read_card_parameter(device, bytes);
        break;
    case VG730_REQ_HOLD: {
        if (!handle) {
            break; // direct access holds nothing
        }
        if (handle->object != VG730_OBJECT_INFO) {
            return VG730_FAIL_WRONG_OBJECT;
        }
        const uint32_t hold = vg730_get32(bytes) != 0 ? 1 : 0;
        if (hold != handle->holding) {
            device->holds = hold ? device->holds + 1 : device->holds - 1;
            handle->holding = hold;
        }
        break;
    }
    default:
        channel_info(device, bytes);
        break;
    }
    return VG730_OK;
}

// The power goes at this request: before it is carried out, after, or in the middle of a
// download, whose first half of bytes then reaches the flash.
void lose_power(Vg730Device* device, Vg730Handle* handle, uint32_t kind, uint8_t* bytes,
                uint32_t now_ms, uint32_t moment) {
    if (moment == VG730_UNPLUG_HALF_WRITTEN) {
        const uint32_t half = vg730_get32(bytes + VG730_TR_LENGTH) / 2;
        if (half > 0) { // a chunk of one byte has no half: nothing reaches the flash
            vg730_put32(bytes + VG730_TR_LENGTH, half);
            carry_out(device, handle, kind, bytes, now_ms);
        }
    } else if (moment == VG730_UNPLUG_AFTER) {
        carry_out(device, handle, kind, bytes, now_ms);
    }
    vg730_device_unplug(device);
}

void put_text_number(char* text, uint32_t capacity, uint32_t& pos, uint32_t value) {
    char digits[10];
    uint32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0 && pos + 1 < capacity) {
        text[pos++] = digits[--count];
    }
    text[pos] = '\0';
}

} // namespace

void vg730_identity_default(Vg730Identity* identity, uint32_t number) {
    vg730_fill(identity, 0, sizeof(*identity));
    identity->serial = 1234;
    identity->hardware_major = 1;
    identity->hardware_minor = 0;
    identity->firmware = Vg730Version{2, 5, 176};
    identity->ean_hi = 0x00073000;
    identity->ean_lo = 0x99001237;
    const char prefix[] = "Quorvel VG730 #";
    uint32_t pos = 0;
    for (; prefix[pos] != '\0'; ++pos) {
        identity->name[pos] = prefix[pos];
    }
    put_text_number(identity->name, VG730_NAME_SIZE, pos, number);
}

void vg730_device_init(Vg730Device* device, uint32_t number, const Vg730Identity* identity) {
    vg730_fill(device, 0, offsetof(Vg730Device, flash));
    device->number = number;
    device->identity = *identity;
    device->identity.name[VG730_NAME_SIZE - 1] = '\0';
    device->presence = VG730_PRESENT;
    device->state = VG730_STATE_IDLE;
    device->image_ok = 1; // it left the factory with working firmware
    device->restart_ms = VG730_DEFAULT_RESTART_MS;
    erase_flash(device);
}

Vg730Presence vg730_device_presence(Vg730Device* device, uint32_t now_ms) {
    if (device->presence == VG730_RESTARTING && time_reached(now_ms, device->restart_at_ms)) {
        device->presence = VG730_PRESENT;
    }
    return static_cast<Vg730Presence>(device->presence);
}

Vg730Result vg730_device_open(Vg730Device* device, uint32_t now_ms, Vg730Object object,
                              Vg730Handle* handle) {
    if (vg730_device_presence(device, now_ms) != VG730_PRESENT) {
        return VG730_FAIL_ABSENT;
    }
    // The two objects are never open together: an ".info" handle left open (an identity read
    // that forgot to close, a CAN library that holds the gateway) keeps ".exclusive" shut.
    if (device->exclusive_opens != 0 ||
        (object == VG730_OBJECT_EXCLUSIVE && device->info_opens != 0)) {
        return VG730_FAIL_SHARING;
    }
    if (object == VG730_OBJECT_EXCLUSIVE) {
        device->exclusive_opens += 1;
    } else {
        device->info_opens += 1;
    }
    handle->object = object;
    handle->incarnation = device->incarnation;
    handle->holding = 0;
    return VG730_OK;
}

bool vg730_device_visible(Vg730Device* device, uint32_t now_ms, Vg730Object object) {
    if (vg730_device_presence(device, now_ms) != VG730_PRESENT || device->exclusive_opens != 0) {
        return false;
    }
    return object == VG730_OBJECT_INFO || device->holds == 0;
}

void vg730_device_close(Vg730Device* device, const Vg730Handle* handle) {
    // A handle of an earlier life no longer counts: the restart already let go of it.
    if (handle->incarnation != device->incarnation) {
        return;
    }
    uint32_t& opens =
        handle->object == VG730_OBJECT_EXCLUSIVE ? device->exclusive_opens : device->info_opens;
    if (opens > 0) {
        opens -= 1;
    }
    if (handle->holding && device->holds > 0) {
        device->holds -= 1;
    }
}

Vg730Result vg730_device_ioctl(Vg730Device* device, Vg730Handle* handle, uint32_t now_ms,
                               uint32_t control_code, void* buffer, uint32_t size,
                               uint32_t* bytes_returned) {
    *bytes_returned = 0;
    const uint32_t kind = vg730_request_kind_of(control_code);
    if (kind == VG730_REQ_KIND_COUNT) {
        return VG730_FAIL_UNKNOWN_REQUEST;
    }
    if (vg730_device_presence(device, now_ms) != VG730_PRESENT) {
        return VG730_FAIL_ABSENT;
    }
    if (handle && handle->incarnation != device->incarnation) {
        return VG730_FAIL_STALE_HANDLE;
    }
    const RequestInfo& request = Requests[kind];
    if (handle && request.programming && handle->object != VG730_OBJECT_EXCLUSIVE) {
        return VG730_FAIL_NOT_EXCLUSIVE;
    }
    if (size != request.size || buffer == nullptr) {
        return VG730_FAIL_BAD_SIZE;
    }
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    const uint32_t count = ++device->requests[kind];
    if (const Vg730RequestFaultSlot* fault = request_fault(device, kind, count)) {
        switch (fault->type) {
        case VG730_FAULT_UNPLUG:
            lose_power(device, handle, kind, bytes, now_ms, fault->moment);
            return VG730_FAIL_ABSENT;
        case VG730_FAULT_FAIL_CALL:
            return VG730_FAIL_INJECTED;
        default: // VG730_FAULT_ANSWER_STATUS: answered, not carried out
            vg730_put32(bytes + request.status_offset, static_cast<uint32_t>(fault->status));
            *bytes_returned = size;
            return VG730_OK;
        }
    }
    if (const Vg730Result result = carry_out(device, handle, kind, bytes, now_ms);
        result != VG730_OK) {
        return result;
    }
    *bytes_returned = size;
    return VG730_OK;
}

Vg730Result vg730_device_add_fault(Vg730Device* device, const Vg730Fault* fault) {
    switch (fault->type) {
    case VG730_FAULT_FAIL_CALL:
    case VG730_FAULT_ANSWER_STATUS:
    case VG730_FAULT_UNPLUG: {
        if (fault->kind >= VG730_REQ_KIND_COUNT || fault->nth == 0) {
            return VG730_FAIL_BAD_FAULT;
        }
        if (fault->type == VG730_FAULT_ANSWER_STATUS &&
            (Requests[fault->kind].status_offset < 0 || fault->status == 0)) {
            return VG730_FAIL_BAD_FAULT;
        }
        const uint32_t moment = fault->type == VG730_FAULT_UNPLUG ? fault->value : 0;
        if (moment > VG730_UNPLUG_HALF_WRITTEN ||
            (moment == VG730_UNPLUG_HALF_WRITTEN && fault->kind != VG730_REQ_DOWNLOAD)) {
            return VG730_FAIL_BAD_FAULT;
        }
        for (auto& slot : device->request_faults) {
            if (!slot.used) {
                slot.used = 1;
                slot.type = fault->type;
                slot.kind = fault->kind;
                slot.first = device->requests[fault->kind] + fault->nth;
                const uint32_t repeat = fault->type == VG730_FAULT_UNPLUG ? 1 : fault->repeat;
                slot.last = repeat == 0 ? 0 : slot.first + repeat - 1;
                slot.status = fault->status;
                slot.moment = moment;
                return VG730_OK;
            }
        }
        return VG730_FAIL_FULL;
    }
    case VG730_FAULT_CORRUPT:
    case VG730_FAULT_WRITE:
        if (fault->length == 0 || (fault->mask & 0xFF) == 0 || fault->address >= VG730_FLASH_SIZE) {
            return VG730_FAIL_BAD_FAULT;
        }
        for (auto& slot :
             fault->type == VG730_FAULT_WRITE ? device->write_faults : device->corruptions) {
            if (!slot.used) {
                slot.used = 1;
                slot.address = fault->address;
                slot.length = fault->length;
                slot.mask = fault->mask & 0xFF;
                return VG730_OK;
            }
        }
        return VG730_FAIL_FULL;
    case VG730_FAULT_REFUSE_START:
        device->refuse_start_status = fault->status;
        return VG730_OK;
    case VG730_FAULT_LATENCY:
        device->latency_us = fault->value;
        return VG730_OK;
    case VG730_FAULT_RESTART_TIME:
        // Keep the absence well inside the signed range the wrapping clock compares in.
        if (fault->value > 0x3FFFFFFF) {
            return VG730_FAIL_BAD_FAULT;
        }
        device->restart_ms = fault->value;
        return VG730_OK;
    case VG730_FAULT_BUS_STATUS:
        device->bus_status = fault->value;
        return VG730_OK;
    case VG730_FAULT_ERROR_COUNTERS:
        device->tx_errors = fault->tx_errors;
        device->rx_errors = fault->rx_errors;
        device->overruns = fault->overruns;
        return VG730_OK;
    case VG730_FAULT_TX_LEVEL:
        device->tx_level = fault->value;
        return VG730_OK;
    default:
        return VG730_FAIL_BAD_FAULT;
    }
}

void vg730_device_clear_faults(Vg730Device* device) {
    vg730_fill(device->request_faults, 0, sizeof(device->request_faults));
    vg730_fill(device->corruptions, 0, sizeof(device->corruptions));
    vg730_fill(device->write_faults, 0, sizeof(device->write_faults));
    device->refuse_start_status = 0;
    device->latency_us = 0;
    device->restart_ms = VG730_DEFAULT_RESTART_MS;
    device->bus_status = 0;
    device->tx_errors = 0;
    device->rx_errors = 0;
    device->overruns = 0;
    device->tx_level = 0;
}

void vg730_device_unplug(Vg730Device* device) {
    device->presence = VG730_UNPLUGGED;
    device->state = VG730_STATE_IDLE;
    forget_handles(device);
}

Vg730Result vg730_device_plug(Vg730Device* device) {
    if (device->presence != VG730_UNPLUGGED) {
        return VG730_FAIL_PLUGGED_IN;
    }
    start_firmware(device);
    device->presence = VG730_PRESENT;
    return VG730_OK;
}

uint32_t vg730_device_latency_us(const Vg730Device* device) {
    return device->latency_us;
}

void vg730_device_report(Vg730Device* device, uint32_t now_ms, Vg730Report* report) {
    vg730_fill(report, 0, sizeof(*report));
    report->number = device->number;
    report->presence = vg730_device_presence(device, now_ms);
    report->state = device->state;
    report->identity = device->identity;
    report->image_ok = device->image_ok;
    if (device->written_any) {
        report->flash_start = device->written_low;
        report->flash_length = device->written_high - device->written_low;
        report->flash_crc =
            vg730_crc16_kermit(device->flash + device->written_low, report->flash_length);
    }
    for (uint32_t kind = 0; kind < VG730_REQ_KIND_COUNT; ++kind) {
        report->requests[kind] = device->requests[kind];
    }
    report->start_version = device->start_version;
    report->end_version = device->end_version;
    report->info_opens = device->info_opens;
    report->exclusive_opens = device->exclusive_opens;
    report->holds = device->holds;
    report->refuse_start_status = device->refuse_start_status;
    report->latency_us = device->latency_us;
    report->restart_ms = device->restart_ms;
    for (const auto& fault : device->request_faults) {
        report->request_faults += fault.used;
    }
    for (const auto& corruption : device->corruptions) {
        report->corruptions += corruption.used;
    }
    for (const auto& fault : device->write_faults) {
        report->write_faults += fault.used;
    }
    report->bus_status = device->bus_status;
    report->tx_errors = device->tx_errors;
    report->rx_errors = device->rx_errors;
    report->overruns = device->overruns;
    report->tx_level = device->tx_level;
}

uint32_t vg730_request_kind_of(uint32_t control_code) {
    for (uint32_t kind = 0; kind < VG730_REQ_KIND_COUNT; ++kind) {
        if (Requests[kind].control_code == control_code) {
            return kind;
        }
    }
    return VG730_REQ_KIND_COUNT;
}

const char* vg730_request_kind_name(uint32_t kind) {
    return kind < VG730_REQ_KIND_COUNT ? KindNames[kind] : "?";
}

uint32_t vg730_request_kind_from_name(const char* name) {
    for (uint32_t kind = 0; kind < VG730_REQ_KIND_COUNT; ++kind) {
        if (vg730_text_equal(KindNames[kind], name)) {
            return kind;
        }
    }
    return VG730_REQ_KIND_COUNT;
}

const char* vg730_state_name(uint32_t state) {
    switch (state) {
    case VG730_STATE_IDLE:
        return "idle";
    case VG730_STATE_STARTED:
        return "started";
    case VG730_STATE_ERASED:
        return "erased";
    case VG730_STATE_WRITE_MODE:
        return "write_mode";
    case VG730_STATE_READ_MODE:
        return "read_mode";
    default:
        return "?";
    }
}

const char* vg730_presence_name(uint32_t presence) {
    switch (presence) {
    case VG730_PRESENT:
        return "present";
    case VG730_RESTARTING:
        return "restarting";
    case VG730_UNPLUGGED:
        return "unplugged";
    default:
        return "?";
    }
}

const char* vg730_flash_command_name(uint32_t command) {
    switch (command) {
    case VG730_FLASH_ERASE:
        return "FLASH_ERASE";
    case VG730_FLASH_WRITE_MODE:
        return "FLASH_WRITE_MODE";
    case VG730_FLASH_END:
        return "FLASH_END";
    case VG730_FLASH_START:
        return "FLASH_START";
    case VG730_FLASH_READ_MODE:
        return "FLASH_READ_MODE";
    default:
        return "?";
    }
}

const char* vg730_result_name(int32_t result) {
    switch (result) {
    case VG730_OK:
        return "ok";
    case VG730_FAIL_ABSENT:
        return "absent";
    case VG730_FAIL_UNKNOWN_REQUEST:
        return "unknown_request";
    case VG730_FAIL_BAD_SIZE:
        return "bad_size";
    case VG730_FAIL_INJECTED:
        return "injected";
    case VG730_FAIL_STALE_HANDLE:
        return "stale_handle";
    case VG730_FAIL_NOT_EXCLUSIVE:
        return "not_exclusive";
    case VG730_FAIL_SHARING:
        return "sharing";
    case VG730_FAIL_WRONG_OBJECT:
        return "wrong_object";
    default:
        return "?";
    }
}
