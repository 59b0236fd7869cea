#pragma once

#include "EncoderBase.h"
#include "Mp3Blocks.h"
#include "Mp3EncoderParams.h"
#include "OutputFile.h"

#include <cstdint>
#include <vector>

namespace cld::engine {

// MP3 files with LAME, as the MP3 jobs write them: the encoder's header frame at the
// front (frame count, delay and padding), and for a tagged file a UTF-8 ID3 version 2.4
// tag at the front and an ID3 version 1 tag at the end. Options (whole numbers; the
// settings' defaults when not given): "bitrate" (kbit/s; the VBR minimum), "maxbitrate",
// "meanbitrate", "quality" (0 best .. 9), "vbr" (0 CBR, 1 RH, 2 ABR, 3 MTRH),
// "vbrquality" (0 .. 9), "mode" (0 stereo, 1 joint, 2 forced joint, 3 mono,
// 4 automatic), "crc", "copyright", "original", "private" (0 or 1) and "id3v2" (0 leaves
// the version 2 tag out; 1 by default). Takes one or two channels of 16- or 24-bit PCM.
class Mp3Encoder : public FramedEncoder {
public:
    explicit Mp3Encoder(EncoderOptions options = {});
    ~Mp3Encoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    void abort() override;

private:
    bool isOpen() const override { return m_lame && m_file.File(); }
    std::string outputName() const override { return m_file.FinalPath(); }
    bool encodeFrames(const uint8_t* data, size_t frames) override;
    bool complete() override;
    bool readOptions(Mp3EncoderParams& params, bool& id3v2);
    void release();

    cld::LameHandle m_lame = nullptr;
    cld::Mp3BlockEncoder m_blocks;
    cld::OutputFile m_file;
    AudioTags m_tags;
    bool m_id3v2 = true;
    int m_framesPerBlock = 0;
};

} // namespace cld::engine
