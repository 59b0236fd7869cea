#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct hip_global_struct;

namespace cld {

// The fields of one MPEG audio frame header.
struct MpegHeader {
    int version = 0; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    int layer = 0;   // 1, 2 or 3
    int bitrate = 0; // kbit/s; 0 for free format
    int sampleRate = 0;
    bool mono = false;
    int frameBytes = 0; // 0 for free format, whose length only the next header tells
};

// What the decoder learnt from the first frame, and any samples it already produced
// while the header was being found.
struct Mp3StreamInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitrate = 0;     // kbit/s
    int frameSize = 0;   // samples per channel per frame
    int totalFrames = 0; // 0 when the file has no frame count
    uint64_t totalSamples = 0;
    // From the encoder's header frame (LAME/Xing); -1 when the file has none.
    int encoderDelay = -1;
    int encoderPadding = -1;
    uint64_t firstFrame = 0;         // file offset of the first frame
    uint64_t audioEnd = 0;           // file offset where the audio ends (tags at the end excluded)
    std::vector<int16_t> pendingPcm; // interleaved
};

// Parses a frame header; false when the four bytes cannot be one.
bool parseMpegHeader(const uint8_t* h, MpegHeader& out);
// True when the four bytes form a plausible MPEG audio frame header.
bool isMpegAudioHeader(const uint8_t* h);

// Where the audio of a file of `size` bytes ends: before an ID3 version 1 tag and an APE
// tag at its end.
uint64_t findMp3AudioEnd(std::FILE* file, uint64_t size);

// Finds the first MPEG audio frame of the stream read from `file` (positioned at its
// start): skips an album-ID block and ID3 version 2 tags by their sizes, then looks for a
// header that the next frame headers confirm (two more, or one that ends exactly at the
// end of the audio), so that sync-like bytes in pictures or damage are not taken for
// audio. Then feeds the decoder from there until it has parsed that header. Returns
// false when no confirmed header is found within `scanLimit` bytes after the tags.
bool findFirstMp3Frame(std::FILE* file, hip_global_struct* decoder, Mp3StreamInfo& info,
                       uint64_t scanLimit = 16u << 20);

// Interleaves one decoder result (per-channel arrays of n samples) onto `out`.
void appendInterleaved(const int16_t* left, const int16_t* right, int n, int channels,
                       std::vector<int16_t>& out);

} // namespace cld
