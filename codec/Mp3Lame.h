#pragma once

#include "Mp3EncoderParams.h"

#include <cstddef>
#include <cstdint>
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
// True when the file's first frame must be rewritten with the VBR header after closing.
bool mp3WantsVbrHeader(LameHandle lame);
// The last report the library made (errors, debug and messages alike).
std::string lastLameReport();
// Routes the library's reports into lastLameReport and the debug log instead of the
// terminal; the same for the decoder's reports.
void routeLameReports(LameHandle lame);
void routeDecoderReports(hip_global_struct* hip);
// Widens unsigned 8-bit samples to centred signed 16-bit ones.
void widen8Bit(const uint8_t* in, size_t count, int16_t* out);

} // namespace cld
