#pragma once

#include <cstdint>

// The twelve integers handed to the MP3 encoder, in their fixed order.
struct Mp3EncoderParams {
    int32_t channelMode = 4; // 0 stereo, 1 joint, 2 forced joint (M/S), 3 mono, 4 automatic
    int32_t bitrate = 128;   // kbit/s; the VBR minimum in VBR modes
    int32_t vbrMaxBitrate = 192;
    int32_t abrMeanBitrate = 128;
    int32_t quality = 1; // 0 best .. 9 fastest
    int32_t spare = 0;
    int32_t vbrMethod = 0;  // 0 off (CBR), 1 RH, 2 ABR, 3 MTRH
    int32_t vbrQuality = 0; // 0 best .. 9
    int32_t crc = 0;
    int32_t copyright = 0;
    int32_t original = 0;
    int32_t privateFlag = 0;

    // The encoder library's own defaults, read back through its getters.
    static Mp3EncoderParams LibraryDefaults();
};
static_assert(sizeof(Mp3EncoderParams) == 12 * sizeof(int32_t));
