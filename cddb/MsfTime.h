#pragma once

#include <cstdint>

// A position on an audio CD in minutes, seconds and frames (75 frames per second).
struct MsfTime {
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t frame = 0;
};
