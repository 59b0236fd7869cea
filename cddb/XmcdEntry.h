#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A parsed xmcd database entry, the answer of a CDDB read command.
struct XmcdEntry {
    std::vector<std::uint32_t> frameOffsets;
    std::uint32_t discLength = 0; // seconds
    std::uint32_t revision = 0;
    std::string submitProgram;
    std::string submitVersion;
    std::string submitComment;
    std::uint32_t discId = 0;
    std::string artist;
    std::string title;
    std::vector<std::string> trackTitles;
    std::vector<std::string> extendedDiscData; // one text per line
    std::vector<std::string> extendedTrackData;
    std::vector<std::uint32_t> playOrder;
    // From the DYEAR and DGENRE lines that servers send from protocol level 5 on; 0 and
    // empty when absent. A year outside 1..9999 reads as 0.
    std::int32_t year = 0;
    std::string genre;
};
