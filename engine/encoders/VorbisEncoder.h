#pragma once

#include "EncoderBase.h"
#include "OutputFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace cld::engine {

// Ogg Vorbis files with libvorbisenc, in variable bitrate mode. The last page's position
// marks the input's end, so that decoders give back exactly the input's length. Options:
// "quality" (-1 to 10, decimals allowed; 3 when not given, the oggenc command's default)
// and "cover" (1, the default, embeds the tags' cover as METADATA_BLOCK_PICTURE; 0 leaves
// it out). The tags become Vorbis comments with the loudness as REPLAYGAIN_* values.
// Takes 1 to 8 channels of 16-, 24- or 32-bit PCM at 8000 Hz or more.
class VorbisEncoder : public FramedEncoder {
public:
    explicit VorbisEncoder(EncoderOptions options = {});
    ~VorbisEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    void abort() override;

private:
    struct State; // the library's encoder and Ogg stream
    bool isOpen() const override { return m && m_file.File(); }
    std::string outputName() const override { return m_file.FinalPath(); }
    bool encodeFrames(const uint8_t* data, size_t frames) override;
    bool complete() override;
    // Hands finished blocks on as packets and writes the pages they fill (all of them with
    // `flush`). False when a write failed.
    bool writePackets(bool flush);
    bool writePage(const unsigned char* header, long headerBytes, const unsigned char* body,
                   long bodyBytes);
    void release();

    std::unique_ptr<State> m;
    cld::OutputFile m_file;
    int m_channels = 2;
    int m_bits = 16;
};

} // namespace cld::engine
