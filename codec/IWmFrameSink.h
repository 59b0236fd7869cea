#pragma once

#include <cstdint>

// One picture handed to a data view: 32-bit pixels 0xffRRGGBB in native byte order, rows
// `stride` bytes apart. The pixels are only valid during the call.
struct WmVideoFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    const uint8_t* pixels = nullptr;
    int64_t time = 0; // presentation time, 100 ns units
};

// Receives the pictures of a running data view, on the encoder's thread. A sink copies
// what it wants to keep and returns quickly; it must not call back into the view.
class IWmFrameSink {
public:
    virtual ~IWmFrameSink() = default;
    virtual void OnVideoFrame(const WmVideoFrame& frame) = 0;
};
