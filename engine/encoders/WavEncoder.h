#pragma once

#include "EncoderBase.h"
#include "WavWriter.h"

namespace cld::engine {

// PCM WAV files with the canonical 44-byte header, through the ripper's WAV writer. WAV
// files carry no tags here; the tags given to open() are not written.
class WavEncoder : public EncoderBase {
public:
    explicit WavEncoder(EncoderOptions options = {});
    ~WavEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    bool write(const uint8_t* data, size_t bytes) override;
    bool finish() override;
    void abort() override;

private:
    WavWriter m_writer;
};

} // namespace cld::engine
