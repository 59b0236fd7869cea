#pragma once

#include "WaveFormat.h"

#include <cstdint>
#include <cstdio>

namespace cld {

// Where the samples of a WAVE file lie and what they are.
struct WavLayout {
    WaveFormat format;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0; // whole sample frames only, never beyond the end of the file
};

// Reads the RIFF/WAVE chunk list of an open file of the given size. Accepts integer PCM
// with 8, 16, 24 or 32 bits and IEEE float with 32 or 64 bits, plain or as
// WAVE_FORMAT_EXTENSIBLE, with one or two channels, chunks in any
// order, odd-sized chunks with their pad byte, and data sizes that claim more than the
// file holds (cut to what is there) or the "unknown" size of a streamed file. Anything
// else throws Exception with the WAVE-format failure code.
WavLayout parseWavHeader(std::FILE* file, uint64_t fileSize);

} // namespace cld
