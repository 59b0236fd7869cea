#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct hip_global_struct;

namespace cld {

// What the decoder learnt from the first frame, and any samples it already produced
// while the header was being found.
struct Mp3StreamInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitrate = 0;     // kbit/s
    int frameSize = 0;   // samples per channel per frame
    int totalFrames = 0; // 0 when the file has no frame count
    uint64_t totalSamples = 0;
    std::vector<int16_t> pendingPcm; // interleaved
};

// True when the four bytes form a plausible MPEG audio frame header.
bool IsMpegAudioHeader(const uint8_t* h);

// Finds the first MPEG audio frame of the stream read from `file` (positioned at its
// start): skips an album-ID block and any bytes before the first valid header, then feeds
// the decoder until it has parsed that header. Returns false when no header is found.
// Reading stops after `scanLimit` bytes of garbage, so a huge file without audio fails
// quickly instead of being read to the end.
bool FindFirstMp3Frame(std::FILE* file, hip_global_struct* decoder, Mp3StreamInfo& info,
                       uint64_t scanLimit = 16u << 20);

// Interleaves one decoder result (per-channel arrays of n samples) onto `out`.
void AppendInterleaved(const int16_t* left, const int16_t* right, int n, int channels,
                       std::vector<int16_t>& out);

} // namespace cld
