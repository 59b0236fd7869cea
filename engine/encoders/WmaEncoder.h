#pragma once

#include "EncoderBase.h"
#include "WmaStreamEncoder.h"

#include <vector>

namespace cld::engine {

// Windows Media Audio files, written the way the WMA jobs write them (FFmpeg's WMA
// encoder in an ASF file, the audio primed so that it decodes from its first sample).
// Options: "profile", the index of a profile in the collection of "profilefolder" (the
// program's profiles) and "userprofilefolder" (the user's), as the settings store it; or
// "bitrate" in kbit/s (128 when neither is given) for a WMA version 2 stream at the
// input's rate (at most 48 kHz) and channels (at most two); "cover" (1, the default,
// embeds the tags' cover as the WM/Picture attribute; 0 leaves it out).
class WmaEncoder : public FramedEncoder {
public:
    explicit WmaEncoder(EncoderOptions options = {});
    ~WmaEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    void abort() override;

private:
    bool isOpen() const override { return m_writer.IsOpen(); }
    std::string outputName() const override { return m_path; }
    bool encodeFrames(const uint8_t* data, size_t frames) override;
    bool complete() override;
    bool chooseStream(const PcmFormat& format, WmStreamConfig& want);
    void recordFailure(uint32_t code, const std::string& what);

    cld::WmaStreamEncoder m_writer;
    std::string m_path;
};

} // namespace cld::engine
