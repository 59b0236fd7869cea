#pragma once

#include <cstdint>
#include <string>

// One disc found by a CDDB query.
struct CddbMatch {
    std::string category; // CDDB category, e.g. "rock"
    std::uint32_t discId = 0;
    std::string artist;
    std::string title;
};
