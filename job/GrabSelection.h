#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The CD grabber's result, read by the CD jobs: written when the grabber closes with OK;
// the track arrays also survive between openings of the grabber. One per process, kept
// in the job context. Texts are UTF-8; track names are already safe as file names.
struct GrabSelection {
    // Track names of every list item, in list order.
    std::vector<std::string> trackNames;
    // Indices of the ticked items.
    std::vector<uint16_t> ticked;
    // Per audio track of the disc.
    std::vector<uint32_t> durationSeconds;
    std::vector<uint32_t> sizeKilobytes;
    std::vector<std::string> startTimes; // "%u:%02u.%02u"
    std::string artist;
    std::string album;
    int genreIndex = 0;
    int year = 0;
    bool introOnly = false;
    int introSeconds = 15;
    // The selected drive's combo index.
    int driveIndex = 0;
    // The error-correction type the grabber applied (0, 1 or 5).
    int errorCorrectionType = 1;
    // The release's cover picture (JPEG or PNG bytes) the grabber found; empty = none.
    std::string coverImage;
};
