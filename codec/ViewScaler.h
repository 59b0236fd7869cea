#pragma once

#include "IWmFrameSink.h"

struct AVFrame;
struct SwsContext;

namespace cld {

// Makes the pictures the data views show from decoded or encoder-side frames: converted
// to 32-bit RGB and scaled to the view's size in one step, into a buffer that is kept
// and reused from picture to picture. One scaler per thread.
class ViewScaler {
public:
    ViewScaler() = default;
    ~ViewScaler();
    ViewScaler(const ViewScaler&) = delete;
    ViewScaler& operator=(const ViewScaler&) = delete;

    // `in` at width x height, stamped with `time` (100 ns units); nullptr when the
    // picture's format cannot be converted or no memory is left. Valid until the next call.
    const WmVideoFrame* make(const AVFrame* in, int width, int height, int64_t time);

private:
    SwsContext* m_sws = nullptr;
    AVFrame* m_rgb = nullptr;
    WmVideoFrame m_frame;
};

} // namespace cld
