// Both sides (tests): the programming steps that fail, by a fault of the device, and the compare
// differences, as data: the native tests run them against the device model, the Wine tests
// against the emulated gateway through the real vessa_flash.exe. Each side puts in the rate its
// clock gives for "<rate>".
#pragma once

#include "DeviceFaults.h"

#include <cstdint>
#include <string>
#include <vector>

namespace flash_cases {

// A failing step of programming a 1026-byte image at 0x10000; the steps after it never run.
struct failing_step {
    const char* name;
    std::vector<Vg730Fault> faults;
    std::string steps;     // what follows the image lines
    std::uint32_t uploads; // upload requests sent
};

inline const std::string other_hint =
    "This often happens because another application that uses the device\nin question is "
    "running. For example, a CAN analyzer tool or\nVarnik Recordix setup program.\n";
inline const std::string full_download =
    "Erasing...\nDownload started: ##\nDownload complete (<rate> bytes/s, total 1026 bytes).\n";

using flash_faults::call_fault;
using flash_faults::corrupt;
using flash_faults::refuse_start;
using flash_faults::status_fault;

inline const std::vector<failing_step> failing_steps = {
    {.name = "StartToolOutdated",
     .faults = {refuse_start(4)},
     .steps = "\nUnable to start flash programming (r=0, status=4)\n"
              "This is probably because this programming tool is outdated.",
     .uploads = 0},
    {.name = "StartVersionRefused",
     .faults = {refuse_start(7)},
     .steps = "\nUnable to start flash programming (r=0, status=7)\n"
              "The target device did not accept the version of the firmware you\nare trying to "
              "download, probably because it is too old.\n",
     .uploads = 0},
    {.name = "StartOtherStatus",
     .faults = {refuse_start(12)},
     .steps = "\nUnable to start flash programming (r=0, status=12)\n" + other_hint,
     .uploads = 0},
    {.name = "StartCallFails",
     .faults = {call_fault(VG730_REQ_FLASH_COMMAND, 1)},
     .steps = "\nUnable to start flash programming (r=-1, status=0)\n" + other_hint,
     .uploads = 0},
    {.name = "Erase",
     .faults = {status_fault(VG730_REQ_FLASH_COMMAND, 2, 5)},
     .steps = "Erasing...Unable to start flash erasing (r=0, status=5)\n",
     .uploads = 0},
    {.name = "EraseCheckStatus",
     .faults = {status_fault(VG730_REQ_DOWNLOAD, 1, 6)},
     .steps = "Erasing...Flash erasing failed (r=0, status=6)\n",
     .uploads = 0},
    {.name = "EraseCheckCallFails",
     .faults = {call_fault(VG730_REQ_DOWNLOAD, 1)},
     .steps = "Erasing...Flash erasing failed (r=-1, status=0)\n",
     .uploads = 0},
    {.name = "WriteMode",
     .faults = {status_fault(VG730_REQ_FLASH_COMMAND, 3, 1)},
     .steps = "Erasing...\nDownload started: Unable to go into write mode (r=0, status=1)\n",
     .uploads = 0},
    {.name = "DownloadStatus",
     .faults = {status_fault(VG730_REQ_DOWNLOAD, 3, 5)},
     .steps = "Erasing...\nDownload started: #Error: Download failed (addr=0x10010, len=0x10, "
              "r=0, status=5)\n",
     .uploads = 0},
    {.name = "DownloadCallFails",
     .faults = {call_fault(VG730_REQ_DOWNLOAD, 66)},
     .steps = "Erasing...\nDownload started: ##Error: Download failed (addr=0x10400, len=0x2, "
              "r=-1, status=0)\n",
     .uploads = 0},
    {.name = "ReadMode",
     .faults = {status_fault(VG730_REQ_FLASH_COMMAND, 4, 1)},
     .steps = full_download + "Starting compare: Unable to go into read mode (r=0, status=1)\n",
     .uploads = 0},
    {.name = "UploadCallFails",
     .faults = {call_fault(VG730_REQ_UPLOAD, 2)},
     .steps = full_download +
              "Starting compare: #\nFailed to upload data (addr=0x10010, r=-1, status=0)\n",
     .uploads = 2},
    {.name = "UploadStatusAfterADifference",
     .faults = {corrupt(0x10000, 16), status_fault(VG730_REQ_UPLOAD, 3, 2)},
     .steps = full_download +
              "Starting compare: #\nFailed to upload data (addr=0x10020, r=0, status=2)\n",
     .uploads = 3},
    {.name = "OneDifference",
     .faults = {corrupt(0x10015, 1)},
     .steps = full_download +
              "Starting compare: #\n#\nCompare finished (<rate> bytes/s, total 1026 bytes).\n",
     .uploads = 65},
    {.name = "DifferenceInTheLastChunk",
     .faults = {corrupt(0x10401, 1)},
     .steps = full_download +
              "Starting compare: ##\nCompare finished (<rate> bytes/s, total 1026 bytes).\n",
     .uploads = 65},
};

// Differences in a 6026-byte image are counted per chunk of 16; after 300 of them the compare
// gives up. Every byte of each corrupted chunk differs: a chunk still counts once.
struct compare_difference {
    const char* name;
    std::uint32_t corrupted_chunks;
    std::string compare; // from "Starting compare: "
    std::size_t uploads;
};

inline const std::vector<compare_difference> compare_differences = {
    {.name = "Exactly300",
     .corrupted_chunks = 300,
     .compare = "Starting compare: #\n#\n#\n#\n#\n#\nCompare finished (<rate> bytes/s, total 6026 "
                "bytes).\n",
     .uploads = 377},
    {.name = "Chunk301StopsTheCompare",
     .corrupted_chunks = 301,
     .compare = "Starting compare: #\n#\n#\n#\n#\nToo many errors (no less than 301)\n"
                "Compare finished (<rate> bytes/s, total 6026 bytes).\n",
     .uploads = 301},
};

// The text with every "<rate>" replaced by rate.
inline std::string with_rate(std::string text, const std::string& rate) {
    const std::string mark = "<rate>";
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + rate.size())) {
        text.replace(at, mark.size(), rate);
    }
    return text;
}

} // namespace flash_cases
