#pragma once

#include <cstdint>
#include <vector>

// The format record of an audio stream: the 18-byte WAVE format block plus any extra
// bytes that follow it in the file.
struct WaveFormat {
    static constexpr uint16_t kPcm = 1;
    static constexpr uint16_t kIeeeFloat = 3;
    static constexpr uint16_t kExtensible = 0xFFFE;

    uint16_t formatTag = kPcm;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> extra;

    // Plain PCM with the derived block alignment and byte rate filled in.
    static WaveFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
        WaveFormat f;
        f.channels = channels;
        f.samplesPerSec = rate;
        f.bitsPerSample = bits;
        f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
        f.avgBytesPerSec = f.blockAlign * rate;
        return f;
    }
    // The tag that says how samples are stored: for WAVE_FORMAT_EXTENSIBLE the tag its
    // sub-format GUID begins with, otherwise the format tag itself.
    uint16_t SampleTag() const {
        if (formatTag == kExtensible && extra.size() >= 8)
            return static_cast<uint16_t>(extra[6] | (extra[7] << 8));
        return formatTag;
    }
    bool IsFloat() const { return SampleTag() == kIeeeFloat; }
    bool SameLayout(const WaveFormat& o) const {
        return channels == o.channels && samplesPerSec == o.samplesPerSec &&
               bitsPerSample == o.bitsPerSample;
    }
};
