#include "ViewScaler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace cld {

ViewScaler::~ViewScaler() {
    sws_freeContext(m_sws);
    av_frame_free(&m_rgb);
}

const WmVideoFrame* ViewScaler::make(const AVFrame* in, int width, int height, int64_t time) {
    if (!in || in->width <= 0 || in->height <= 0 || width <= 0 || height <= 0)
        return nullptr;
    // Views are small: a fast filter is enough, and the same size is a plain conversion.
    const int flags = width == in->width && height == in->height ? SWS_POINT : SWS_FAST_BILINEAR;
    m_sws =
        sws_getCachedContext(m_sws, in->width, in->height, static_cast<AVPixelFormat>(in->format),
                             width, height, AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
    if (!m_sws)
        return nullptr;
    if (!m_rgb && !(m_rgb = av_frame_alloc()))
        return nullptr;
    if (m_rgb->width != width || m_rgb->height != height || !m_rgb->data[0]) {
        av_frame_unref(m_rgb);
        m_rgb->format = AV_PIX_FMT_RGB32;
        m_rgb->width = width;
        m_rgb->height = height;
        if (av_frame_get_buffer(m_rgb, 0) < 0)
            return nullptr;
    }
    sws_scale(m_sws, in->data, in->linesize, 0, in->height, m_rgb->data, m_rgb->linesize);
    m_frame.width = width;
    m_frame.height = height;
    m_frame.stride = m_rgb->linesize[0];
    m_frame.pixels = m_rgb->data[0];
    m_frame.time = time;
    return &m_frame;
}

} // namespace cld
