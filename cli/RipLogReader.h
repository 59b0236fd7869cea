#pragma once

#include "AccurateRip.h"

#include <string>
#include <vector>

// Reads back what a rip log says: the disc's ids and, per track, its file and checksums.
namespace cld::cli {

struct LoggedTrack {
    int number = 0;
    std::string file; // empty when the log names none
    bool complete = true;
    bool hasChecksums = false;
    accurip::TrackChecksums sums;
};

struct LoggedRip {
    accurip::DiscIds ids;
    // The disc's table of contents when the log gives it ("CTDB TOC: 0:600:1250").
    std::string tocQuery;
    std::vector<LoggedTrack> tracks;
};

// False (and why) for a text that is not a rip log or names no disc id.
bool readRipLog(const std::string& text, LoggedRip& rip, std::string& why);

} // namespace cld::cli
