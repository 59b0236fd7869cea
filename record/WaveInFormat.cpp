#include "WaveInFormat.h"

#include <cstring>

namespace cld {

int32_t readMonitorSample(const WaveInFormat& format, const uint8_t* frame) {
    auto s16 = [](const uint8_t* p) {
        int16_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<int32_t>(v);
    };
    if (format.bitsPerSample == 8) {
        if (format.channels == 1)
            return (static_cast<int32_t>(frame[0]) - 128) * 64;
        return (static_cast<int32_t>(frame[0]) + static_cast<int32_t>(frame[1]) - 256) * 128;
    }
    if (format.channels == 1)
        return s16(frame);
    return (s16(frame) + s16(frame + 2)) / 2;
}

} // namespace cld
