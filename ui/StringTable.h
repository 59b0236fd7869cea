#pragma once

#include <span>

namespace cld {

// One entry of the program's built-in string table. Ids are fixed: a language library
// carries the same ids with translated texts.
struct StringEntry {
    int id;
    const char* text;
};

// Every string of the built-in table, sorted by id, each id once.
std::span<const StringEntry> builtinStrings();

// Dialog captions of the built-in resources, sorted by dialog id.
std::span<const StringEntry> builtinDialogCaptions();

// Text of a string id in a sorted table, or nullptr.
const char* findEntry(std::span<const StringEntry> table, int id);

// Ids of our own messages that the dialogs need beyond the classic table. They sit in a
// range of their own so that they never collide with a language library's ids.
enum OwnStringId : int {
    IDS_HELP_MISSING = 901,
    IDS_HELP_BROKEN = 902,
    IDS_JOB_UNAVAILABLE = 903,
    IDS_LAME_CREDIT = 904,
    IDS_ABOUT_VERSION = 905,
    IDS_OPEN_TITLE = 906,
    // The media runtime installation at first start.
    IDS_WMFDIST_MISSING = 980,
    IDS_WMF_CONTINUE_ASK = 981,
    IDS_WMEDIST_MISSING = 982,
    IDS_WME_CONTINUE_ASK = 983,
    // The CD information cache was damaged and has been put aside.
    IDS_CACHE_DAMAGED = 990,
    // Recording and capture: devices and how a recording or a video conversion ended.
    IDS_NO_CAPTURE_DEVICE = 2100,
    IDS_CAPTURE_DEVICE_MISSING = 2101,
    IDS_CAPTURE_DEVICE_BUSY_NOTE = 2102,
    IDS_RECORDING_WRITE_FAILED = 2103,
    IDS_VIDEO_WRITE_FAILED = 2104,
    IDS_VIDEO_INPUT_ENDED_EARLY = 2105,
    IDS_OUTPUT_EXISTS_REPLACE = 2106,
    IDS_VIDEO_INPUT_DAMAGED = 2107,
    IDS_SCREEN_CAPTURE_STOP_HINT = 2108,
};

} // namespace cld
