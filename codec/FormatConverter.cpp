#include "FormatConverter.h"

#include "Exception.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <cstring>

namespace {

AVSampleFormat sampleFormatOf(const WaveFormat& f) {
    switch (f.bitsPerSample) {
    case 8:
        return AV_SAMPLE_FMT_U8;
    case 16:
        return AV_SAMPLE_FMT_S16;
    case 32:
        return f.formatTag == 3 ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S32;
    default:
        return AV_SAMPLE_FMT_NONE;
    }
}

bool usable(const WaveFormat& f) {
    return f.channels >= 1 && f.channels <= 8 && f.samplesPerSec >= 1000 &&
           f.samplesPerSec <= 384000 && sampleFormatOf(f) != AV_SAMPLE_FMT_NONE;
}

} // namespace

FormatConverter::~FormatConverter() {
    Close();
}

void FormatConverter::Open(const WaveFormat& target, const WaveFormat& source) {
    Close();
    if (!usable(target) || !usable(source))
        throw Exception("ERROR_ACM_OPENSTREAM");
    m_target = target;
    m_source = source;
    if (target.SameLayout(source) && sampleFormatOf(target) == sampleFormatOf(source))
        return;
    AVChannelLayout outLayout;
    AVChannelLayout inLayout;
    av_channel_layout_default(&outLayout, target.channels);
    av_channel_layout_default(&inLayout, source.channels);
    const int rc = swr_alloc_set_opts2(
        &m_swr, &outLayout, sampleFormatOf(target), static_cast<int>(target.samplesPerSec),
        &inLayout, sampleFormatOf(source), static_cast<int>(source.samplesPerSec), 0, nullptr);
    if (rc < 0 || swr_init(m_swr) < 0) {
        swr_free(&m_swr);
        throw Exception("ERROR_ACM_OPENSTREAM");
    }
}

const std::vector<uint8_t>& FormatConverter::Convert(const void* data, size_t bytes) {
    const size_t inFrame = static_cast<size_t>(m_source.channels) * m_source.bitsPerSample / 8;
    m_out.clear();
    if (!data || bytes == 0 || inFrame == 0)
        return m_out;
    const int frames = static_cast<int>(bytes / inFrame);
    if (!m_swr) {
        const auto* p = static_cast<const uint8_t*>(data);
        m_out.assign(p, p + static_cast<size_t>(frames) * inFrame);
        return m_out;
    }
    const int outFrames = swr_get_out_samples(m_swr, frames);
    const size_t outFrame = static_cast<size_t>(m_target.channels) * m_target.bitsPerSample / 8;
    m_out.resize(static_cast<size_t>(outFrames > 0 ? outFrames : 0) * outFrame);
    uint8_t* outPlanes[1] = {m_out.data()};
    const uint8_t* inPlanes[1] = {static_cast<const uint8_t*>(data)};
    const int got = swr_convert(m_swr, outPlanes, outFrames, inPlanes, frames);
    if (got < 0)
        throw Exception("ERROR_ACM_CONVERT");
    m_out.resize(static_cast<size_t>(got) * outFrame);
    return m_out;
}

const std::vector<uint8_t>& FormatConverter::Flush() {
    m_out.clear();
    if (!m_swr)
        return m_out;
    const int outFrames = swr_get_out_samples(m_swr, 0);
    if (outFrames <= 0)
        return m_out;
    const size_t outFrame = static_cast<size_t>(m_target.channels) * m_target.bitsPerSample / 8;
    m_out.resize(static_cast<size_t>(outFrames) * outFrame);
    uint8_t* outPlanes[1] = {m_out.data()};
    const int got = swr_convert(m_swr, outPlanes, outFrames, nullptr, 0);
    m_out.resize(static_cast<size_t>(got > 0 ? got : 0) * outFrame);
    return m_out;
}

void FormatConverter::Close() {
    swr_free(&m_swr);
    m_out.clear();
}
