// Portable side: the programming sequence that writes one image into one device.
#pragma once

#include "image.h"
#include "platform.h"
#include "settings.h"

namespace flash {

// What program_device returns when the user declined at a prompt: nothing was sent to the device.
constexpr int program_declined = -2;

// Loads the image file at path into image, confirms where the EAN of the device (card_ean) or the
// options call for it, starts, erases and checks the erase, downloads in chunks of at most 16
// bytes that never cross a 256-byte page, compares by uploading, and reports both rates. 0 when
// every step succeeded and the compare found no difference, program_declined when the user
// declined, else -1.
int program_device(platform::device_ref device, const char* path, ean_words card_ean,
                   loaded_image& image);

} // namespace flash
