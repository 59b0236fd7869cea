#pragma once

#include "EncoderBase.h"
#include "OutputFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace cld::engine {

// AAC-LC in an MP4 audio file (.m4a) with FFmpeg's own AAC encoder. The encoder's delay
// at the front and the padding at the end are cut off by the file's edit list, and told
// once more in the iTunSMPB tag for players that read that instead, so that decoders give
// back exactly the input's length. Options: "bitrate" (kbit/s for the whole stream, 16
// to 320 per channel pair; 128 when not given, FFmpeg's own default) and "cover" (1, the
// default, embeds the tags' cover as the covr atom; 0 leaves it out). The tags become
// iTunes atoms (title, artist, album, album artist, year, genre, track n/N) and freeform
// atoms for the disc id and the loudness (replaygain_track_gain and its kin, as the
// ReplayGain-aware players of MP4 files read them, and iTunNORM from the track's values,
// as players with Sound Check read it). Takes 1 to 8 channels of 16-, 24- or
// 32-bit PCM; a rate AAC does not have is resampled to 48000 Hz.
class AacEncoder : public FramedEncoder {
public:
    explicit AacEncoder(EncoderOptions options = {});
    ~AacEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    void abort() override;

    // The iTunSMPB text for `delay` samples at the front, `padding` at the end and
    // `frames` of audio between them.
    static std::string gaplessInfo(int delay, int64_t padding, int64_t frames);
    // The iTunNORM text (Sound Check) for a track's ReplayGain gain in dB and its peak (a
    // fraction of full scale): ten hexadecimal numbers, the gain as power ratios against
    // 1/1000 and 1/2500 and the peak as a 16-bit sample, each pair for the left and the
    // right channel alike.
    static std::string soundCheckInfo(double gainDb, double peak);

private:
    struct State; // FFmpeg's encoder, resampler and muxer
    bool isOpen() const override { return m != nullptr; }
    std::string outputName() const override { return m_file.FinalPath(); }
    bool encodeFrames(const uint8_t* data, size_t frames) override;
    bool complete() override;
    // Encodes the FIFO's whole encoder frames (with `final` also the rest and the flush).
    bool drain(bool final);
    // The failure of a write into the output, with the system's reason when there is one.
    void writeFailure();
    bool writeTags();
    void release();

    std::unique_ptr<State> m;
    cld::OutputFile m_file;
    AudioTags m_tags;
    bool m_cover = true;
};

} // namespace cld::engine
