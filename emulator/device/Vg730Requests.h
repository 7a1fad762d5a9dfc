// Portable: the driver requests of the VG730 as they cross DeviceIoControl, with their control
// codes, buffer sizes and the offsets of the words inside the buffers. All words are 32-bit
// little-endian. Shared by the device model, the test driver and the tests; nothing else here.
#pragma once

#include <stdint.h>

// Control codes (METHOD_BUFFERED, FILE_ANY_ACCESS): one buffer in and out, same size both ways.
enum : uint32_t {
    VG730_IOCTL_FLASH_COMMAND = 0x80022404u,
    VG730_IOCTL_DOWNLOAD = 0x80022408u,
    VG730_IOCTL_UPLOAD = 0x8002240Cu,
    VG730_IOCTL_GET_CARD_INFO = 0x8000209Cu,
    VG730_IOCTL_GET_CARD_INFO2 = 0x80002810u,
    VG730_IOCTL_READ_CARD_PARAMETER = 0x800028CCu,
    // Private to the emulator: the live channel data the emulated CAN library reports, and the
    // hold a CAN library puts on a gateway it lists (4-byte buffer: 1 hold, 0 let go).
    VG730_IOCTL_CHANNEL_INFO = 0x80002E04u,
    VG730_IOCTL_HOLD = 0x80002E08u,
};

// Buffer sizes the requests must come with.
enum : uint32_t {
    VG730_FLASH_COMMAND_SIZE = 24,
    VG730_TRANSFER_SIZE = 32, // download and upload
    VG730_CARD_INFO_SIZE = 376,
    VG730_CARD_INFO2_SIZE = 128,
    VG730_CARD_PARAMETER_SIZE = 144,
    VG730_CHANNEL_INFO_SIZE = 128,
    VG730_HOLD_SIZE = 4,
};

// flash_command: status, command, reserved, then the announced firmware version.
enum : uint32_t {
    VG730_FC_STATUS = 0,
    VG730_FC_COMMAND = 4,
    VG730_FC_MINOR = 12,
    VG730_FC_MAJOR = 16,
    VG730_FC_BUILD = 20,
};

enum : uint32_t {
    VG730_FLASH_ERASE = 1,
    VG730_FLASH_WRITE_MODE = 2,
    VG730_FLASH_END = 3,
    VG730_FLASH_START = 4,
    VG730_FLASH_READ_MODE = 5,
};

// download and upload: status, reserved, address, length, 16 data bytes.
enum : uint32_t {
    VG730_TR_STATUS = 0,
    VG730_TR_ADDRESS = 8,
    VG730_TR_LENGTH = 12,
    VG730_TR_DATA = 16,
    VG730_TR_MAX_LENGTH = 16,
};

// get_card_info: the words the flash programmer reads.
enum : uint32_t {
    VG730_CI_FIRMWARE_MAJOR = 84,
    VG730_CI_FIRMWARE_MINOR = 88,
    VG730_CI_FIRMWARE_BUILD = 92,
    VG730_CI_HARDWARE_MAJOR = 96,
    VG730_CI_HARDWARE_MINOR = 100,
    VG730_CI_SERIAL = 116,
};

// get_card_info2: the EAN of the identity.
enum : uint32_t {
    VG730_CI2_EAN_LO = 0,
    VG730_CI2_EAN_HI = 4,
};

// read_card_parameter: the request names parameter 0x81 (the EAN), 8 bytes long.
enum : uint32_t {
    VG730_CP_ONE = 0,       // 1 on input
    VG730_CP_PARAMETER = 4, // 0x81 on input
    VG730_CP_STATUS = 8,    // out
    VG730_CP_LENGTH = 12,   // 8 on input
    VG730_CP_EAN_LO = 16,   // out
    VG730_CP_EAN_HI = 20,   // out
    VG730_CP_PARAMETER_EAN = 0x81,
};

// Private channel-info record (out only).
enum : uint32_t {
    VG730_CH_FIRMWARE_MAJOR = 0,
    VG730_CH_FIRMWARE_MINOR = 4,
    VG730_CH_FIRMWARE_BUILD = 8,
    VG730_CH_EAN_LO = 12, // the EAN the device reports: its parameter EAN when it keeps one
    VG730_CH_EAN_HI = 16,
    VG730_CH_BUS_STATUS = 20,
    VG730_CH_TX_ERRORS = 24,
    VG730_CH_RX_ERRORS = 28,
    VG730_CH_OVERRUNS = 32,
    VG730_CH_SERIAL = 36,
    VG730_CH_TX_LEVEL = 40, // frames waiting in the gateway's own transmit buffer
    VG730_CH_FLAGS = 44,    // VG730_CH_FLAG_...
    VG730_CH_NAME = 64,     // zero-ended text, at most 63 characters
    VG730_CH_NAME_SIZE = 64,
    VG730_CH_FLAG_NO_EAN = 0x01, // the channel delivers no EAN
};

// Status words the device answers. 4 and 7 are the refusals of FLASH_START that the flash
// programmer explains to its user; the model itself never answers them unless told to.
enum : int32_t {
    VG730_STATUS_OK = 0,
    VG730_STATUS_BAD_STATE = 1,       // command or transfer out of order
    VG730_STATUS_BAD_ADDRESS = 2,     // outside the flash
    VG730_STATUS_BAD_LENGTH = 3,      // transfer longer than 16 bytes
    VG730_STATUS_TOOL_OUTDATED = 4,   // start refused: protocol of the tool too old
    VG730_STATUS_PROGRAM_FAILED = 5,  // flash cannot set bits: the target was not erased
    VG730_STATUS_NOT_BLANK = 6,       // erase check: the bank is not erased
    VG730_STATUS_VERSION_REFUSED = 7, // start refused: announced version not accepted
    VG730_STATUS_PAGE_CROSSING = 8,   // a write may not cross a 256-byte page
    VG730_STATUS_BAD_COMMAND = 9,     // unknown flash command
    VG730_STATUS_NO_PARAMETER = 10,   // parameter unknown or not kept by this device
};
