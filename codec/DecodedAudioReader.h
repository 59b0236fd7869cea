#pragma once

#include "AudioTags.h"
#include "WaveFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace cld {

// Reads a compressed audio file (FLAC, Ogg Vorbis, Opus, AAC, MP3) through FFmpeg's
// decoders as interleaved PCM, one or two channels at a rate the MP3 encoder takes:
// 16-bit when the source is 16-bit or less, 32-bit integers for deeper lossless audio,
// 32-bit float otherwise. More than two channels are mixed down to stereo, rates above
// 48 kHz resampled. Every failure throws Exception with its failure code; a FLAC file
// whose audio does not match its MD5 throws kChecksumMismatch when the end is read.
class DecodedAudioReader {
public:
    explicit DecodedAudioReader(const std::string& path);
    ~DecodedAudioReader();
    DecodedAudioReader(const DecodedAudioReader&) = delete;
    DecodedAudioReader& operator=(const DecodedAudioReader&) = delete;

    const WaveFormat& getFormat() const;
    // The length the file declares, in sample frames of getFormat(); an estimate for most
    // formats, so reading goes on until read returns 0.
    int64_t getDeclaredLength() const;
    const AudioTags& getTags() const;
    // Frames read so far.
    int64_t getPosition() const;
    // Reads up to `frames` sample frames into `buffer` (frames × block-align bytes);
    // returns the frames read, 0 at the end of the stream.
    int64_t read(int64_t frames, void* buffer);

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace cld
