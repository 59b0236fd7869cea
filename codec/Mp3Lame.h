#pragma once

#include "Mp3EncoderParams.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <lame/lame.h>
#include <string>

struct lame_global_struct;
struct hip_global_struct;

namespace cld {

using LameHandle = lame_global_struct*;

// The parameters brought into the ranges the library can work with.
Mp3EncoderParams sanitizeMp3Params(const Mp3EncoderParams& params);
// Creates an encoder for the given input, applies the parameters in their fixed order
// and initialises it. Returns nullptr when the library refuses the combination.
LameHandle createMp3Encoder(int sampleRate, int channels, const Mp3EncoderParams& params);
// Sample frames read per block: channels × samples per MPEG frame.
int mp3FramesPerBlock(LameHandle lame);
// Worst-case MP3 bytes for one encode call of `samplesPerChannel`.
size_t mp3BufferBytes(int samplesPerChannel);
// Encodes interleaved 16-bit samples (one or two channels). Negative on failure.
int mp3EncodeInterleaved(LameHandle lame, int16_t* pcm, int samplesPerChannel, int channels,
                         uint8_t* out, size_t outSize);
// Encodes interleaved 32-bit samples at full 32-bit scale (one or two channels); the
// path for input deeper than 16 bits. Negative on failure.
int mp3EncodeInterleavedInt(LameHandle lame, int* pcm, int samplesPerChannel, int channels,
                            uint8_t* out, size_t outSize);
// Turns `count` samples of 24- or 32-bit integer PCM or 32- or 64-bit float, as stored in
// a WAVE file, into 32-bit integers at full scale; floats beyond +-1.0 are clipped.
void widenToInt32(const uint8_t* in, size_t count, int bitsPerSample, bool isFloat, int* out);
// True when the encoder reserved the stream's first frame for its header frame (LAME/Xing:
// frame count, encoder delay and padding), to be filled in when the encode has ended.
bool mp3WantsVbrHeader(LameHandle lame);
// After the last flush: writes the header frame over the first frame of `out`, which
// holds the stream from its start, and leaves the position at the end. Returns 0 or the
// failure code of the write.
uint32_t writeMp3HeaderFrame(LameHandle lame, std::FILE* out);
// After a write failed part-way (a full disk) and the stream was closed: cuts the file at
// `path` back to its last whole frame and fills the header frame reserved at its start
// for what the file now holds (frame count, size, seek table, no end padding, checksums),
// writing only over bytes the file already has. Returns 0 or the failure code.
uint32_t finishCutMp3(LameHandle lame, const std::string& path);
// The last report the library made (errors, debug and messages alike).
std::string lastLameReport();
// Routes the library's reports into lastLameReport and the debug log instead of the
// terminal; the same for the decoder's reports.
void routeLameReports(LameHandle lame);
void routeDecoderReports(hip_global_struct* hip);
// The library's decoder keeps state shared by all its decoders while it decodes a frame:
// two decoders working at once on different threads spoil each other's samples. Every
// decode call therefore goes through these functions, which let one call in at a time
// (a call decodes at most one frame, so decoders on several threads take turns).
hip_global_struct* createMp3Decoder();
int decodeMp3Headers(hip_global_struct* hip, uint8_t* buffer, size_t length, int16_t* left,
                     int16_t* right, mp3data_struct* data);
int decodeMp3HeadersB(hip_global_struct* hip, uint8_t* buffer, size_t length, int16_t* left,
                      int16_t* right, mp3data_struct* data, int* delay, int* padding);
// Widens unsigned 8-bit samples to centred signed 16-bit ones.
void widen8Bit(const uint8_t* in, size_t count, int16_t* out);

} // namespace cld
