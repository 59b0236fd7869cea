#pragma once

#include <cstddef>
#include <string>

// The PCM a track writer is given: interleaved signed little-endian integers. The
// default is a CD's audio (16-bit stereo at 44100 Hz).
struct PcmLayout {
    unsigned sampleRate = 44100;
    unsigned channels = 2;
    unsigned bitsPerSample = 16;

    std::size_t frameBytes() const { return std::size_t(channels) * (bitsPerSample / 8); }
    bool operator==(const PcmLayout&) const = default;
};

// Empty when `layout` is one the writers take: 1 to 8 channels, 8000 to 655350 Hz, and
// samples of 16, 24 or 32 bits (16 or 24 for FLAC). Otherwise the reason, for the
// writer's message.
std::string pcmLayoutRefusal(const PcmLayout& layout, bool flac);
