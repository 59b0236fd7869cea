#include "PcmInputFrame.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace cld {

PcmInputFrame::~PcmInputFrame() {
    release();
    av_frame_free(&m_frame);
}

bool PcmInputFrame::allocate(int channels, int bitsPerSample) {
    m_channels = channels;
    m_bits = bitsPerSample;
    if (!m_frame)
        m_frame = av_frame_alloc();
    return m_frame != nullptr;
}

bool PcmInputFrame::openResampler(SwrContext*& swr, AVCodecContext* enc, int inputRate) const {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, m_channels);
    const int rc = swr_alloc_set_opts2(
        &swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &layout,
        m_bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32, inputRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    return rc >= 0 && swr_init(swr) >= 0;
}

const AVFrame* PcmInputFrame::point(const uint8_t* data, size_t frames) {
    const uint8_t* samples = data;
    if (m_bits == 24) {
        const size_t values = frames * static_cast<size_t>(m_channels);
        m_wide.resize(values);
        for (size_t i = 0; i < values; ++i) {
            const uint8_t* p = data + 3 * i;
            m_wide[i] = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                             static_cast<uint32_t>(p[1]) << 16 |
                                             static_cast<uint32_t>(p[2]) << 24);
        }
        samples = reinterpret_cast<const uint8_t*>(m_wide.data());
    }
    m_frame->nb_samples = static_cast<int>(frames);
    m_frame->data[0] = const_cast<uint8_t*>(samples);
    m_frame->extended_data = m_frame->data;
    return m_frame;
}

void PcmInputFrame::release() {
    if (m_frame)
        m_frame->data[0] = nullptr;
}

} // namespace cld
