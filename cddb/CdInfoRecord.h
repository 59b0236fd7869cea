#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The disc information the grabber shows and the cache stores.
struct CdInfoRecord {
    std::string album;
    std::string artist;
    std::string genre;
    std::int32_t year = 0; // 0 when unknown
    std::uint32_t discId = 0;
    std::vector<std::string> trackTitles; // index 0 = first track
};
