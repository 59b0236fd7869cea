#pragma once

#include "EncoderBase.h"
#include "OutputFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct OggOpusEnc;

namespace cld::engine {

// Ogg Opus files with libopusenc. The input is resampled to Opus's 48 kHz inside the
// library; the header keeps the input's rate and the pre-skip, and the last page's
// position marks the input's end, so that decoders give back exactly the input's length.
// Options: "bitrate" (kbit/s for the whole stream, 6 to 256 per channel; 64 per mono and
// 96 per stereo pair when not given, as the opusenc command does), "bitratemode" ("vbr",
// the default, "cvbr" or "cbr"), "complexity" (0 to 10, 10 when not given) and "cover" (1,
// the default, embeds the tags' cover as METADATA_BLOCK_PICTURE; 0 leaves it out). The
// tags become Vorbis comments; the loudness becomes R128_TRACK_GAIN and R128_ALBUM_GAIN
// (against -23 LUFS, relative to the header's output gain, which stays 0 dB so that
// players without loudness support play the audio as it is). Takes 1 to 8 channels of
// 16-, 24- or 32-bit PCM; an input without a single sample is refused at finish().
class OpusEncoder : public FramedEncoder {
public:
    explicit OpusEncoder(EncoderOptions options = {});
    ~OpusEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    void abort() override;

private:
    static int writePage(void* self, const unsigned char* data, int32_t bytes);
    static int closeStream(void* self);
    bool isOpen() const override { return m_encoder && m_file.File(); }
    std::string outputName() const override { return m_file.FinalPath(); }
    bool encodeFrames(const uint8_t* data, size_t frames) override;
    bool complete() override;
    // Records a failure of the library: the system's reason when a write failed.
    void libraryFailure(int rc, const std::string& what);
    void release();

    OggOpusEnc* m_encoder = nullptr;
    cld::OutputFile m_file;
    int m_channels = 2;
    int m_bits = 16;
    int m_writeErrno = 0;
    uint64_t m_written = 0; // sample frames handed to the library
    std::vector<int16_t> m_shorts;
    std::vector<float> m_floats;
};

} // namespace cld::engine
