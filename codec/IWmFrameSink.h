#pragma once

#include <chrono>
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
// what it wants to keep and returns quickly; it must not call back into the view. The
// questions below are asked on the encoder's thread as well, before a picture is made,
// so that pictures the sink cannot show cost nothing.
class IWmFrameSink {
public:
    virtual ~IWmFrameSink() = default;
    virtual void OnVideoFrame(const WmVideoFrame& frame) = 0;

    // The area the sink shows pictures in: pictures are scaled to fit it, keeping their
    // shape, before they are handed over. 0 x 0 takes them at their own size.
    virtual int BoxWidth() const { return 0; }
    virtual int BoxHeight() const { return 0; }
    // The shortest time between two pictures the sink can show (its refresh interval);
    // pictures that come sooner are skipped.
    virtual std::chrono::nanoseconds MinInterval() const { return std::chrono::nanoseconds(0); }
    // False while the sink still holds a picture it has not shown; pictures are skipped
    // until it has.
    virtual bool ReadyForFrame() const { return true; }
};
