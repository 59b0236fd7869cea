#pragma once

#include "SafeFiles.h"
#include "Transcoder.h"
#include "WmProfile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace cld {

// Writes PCM handed over in blocks as an ASF file with the audio stream of a profile
// (Windows Media Audio), through the same encoder, resampler, priming and framing as the
// file conversions. The file is written under a temporary name of the program's own and
// takes its name in Finish. Every call returns 0 or a failure code for GetErrorText.
class WmaStreamEncoder {
public:
    WmaStreamEncoder();
    // Removes an unfinished file.
    ~WmaStreamEncoder();
    WmaStreamEncoder(const WmaStreamEncoder&) = delete;
    WmaStreamEncoder& operator=(const WmaStreamEncoder&) = delete;

    // `want` is the profile's audio stream; the PCM is interleaved signed 16-, 24- or
    // 32-bit little-endian samples of `channels` channels at `sampleRate`. The music's
    // cover picture in `info`, when it has one with its MIME type, goes into the file as
    // its WM/Picture attribute.
    uint32_t Open(const std::string& path, const WmStreamConfig& want, int sampleRate, int channels,
                  int bitsPerSample, const ContentDescription& info, files::Replace replace);
    // Encodes `frames` whole sample frames.
    uint32_t Write(const uint8_t* data, size_t frames);
    // Encodes what is left, completes the file and gives it its name.
    uint32_t Finish();
    // Removes the file being written.
    void Discard();
    bool IsOpen() const;
    int64_t GetEncodedMilliseconds() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace cld
