#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdrive {

// One TRACK of a cue sheet. Positions are sectors from the start of the track's file.
struct CueTrack {
    int number = 0;
    bool audio = true;
    bool mode2 = false;  // MODE2/2352 (XA): user data follows an 8-byte subheader
    uint8_t control = 0; // FLAGS: 0x01 PRE, 0x02 DCP, 0x08 4CH; 0x04 is set for data
    int fileIndex = 0;   // the file of INDEX 01
    int64_t index0 = -1; // -1 = no INDEX 00
    // The file of INDEX 00 when it is the one before INDEX 01's (the pregap at the end of
    // the previous track's file, INDEX 01 at the start of the next file); -1 = the same.
    int index0File = -1;
    int64_t index1 = -1;
    int64_t pregap = 0; // PREGAP sectors (not in the file)
    std::string title;
    std::string performer;
    std::string isrc; // ISRC: 12 characters, empty = none
    int line = 0;
};

struct CueFile {
    std::string path; // resolved against the cue sheet's folder
    int line = 0;
    bool wave = false; // WAVE: a RIFF file of 16-bit stereo 44.1 kHz PCM, audio only
};

// A parsed cue sheet: FILE ... BINARY or WAVE, TRACK nn AUDIO / MODE1/2352 / MODE2/2352,
// INDEX 00/01,
// PREGAP, FLAGS, TITLE and PERFORMER (disc level and per track), CATALOG (13 digits) and
// ISRC (per track: 5 letters or digits, then 7 digits); REM and SONGWRITER lines are
// accepted and ignored.
struct CueSheet {
    std::string catalog; // media catalogue number, empty = none
    std::string title;
    std::string performer;
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;

    // Parses text read from cuePath. On failure returns false and sets error to
    // "<cuePath>:<line>: <reason>".
    static bool parse(const std::string& text, const std::string& cuePath, CueSheet& out,
                      std::string& error);
    static bool load(const std::string& cuePath, CueSheet& out, std::string& error);
};

// A media catalogue number: 13 digits.
bool isCatalog(const std::string& s);
// An ISRC: 5 letters or digits (country and owner), then 7 digits (year and serial).
bool isIsrc(const std::string& s);

// Parses a plain run of decimal digits (no sign, no blanks) no larger than maxValue.
bool parseDecimal(const std::string& s, int64_t maxValue, int64_t& out);

} // namespace vdrive
