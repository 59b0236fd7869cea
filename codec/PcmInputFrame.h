#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cld {

// The caller's interleaved PCM (16-, 24- or 32-bit integers) handed to a resampler as its
// input frame. 16- and 32-bit samples are not copied: the frame only points at them;
// 24-bit samples are widened to 32 bits first, since the resampler has no packed 24-bit
// format.
class PcmInputFrame {
public:
    PcmInputFrame() = default;
    PcmInputFrame(const PcmInputFrame&) = delete;
    PcmInputFrame& operator=(const PcmInputFrame&) = delete;
    ~PcmInputFrame();

    // False when the frame cannot be allocated.
    bool allocate(int channels, int bitsPerSample);
    // A resampler from these samples at `inputRate` to the encoder's format, rate and
    // channels, made and initialised; false when it cannot be (`swr` may then hold a
    // context the caller frees).
    bool openResampler(SwrContext*& swr, AVCodecContext* enc, int inputRate) const;
    // The frame for `frames` sample frames at `data`, valid until the next call or
    // release().
    const AVFrame* point(const uint8_t* data, size_t frames);
    // The frame points at nothing any more.
    void release();

private:
    AVFrame* m_frame = nullptr;
    int m_channels = 2;
    int m_bits = 16;
    std::vector<int32_t> m_wide;
};

} // namespace cld
