#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace cld {

// A PCM capture format.
struct WaveInFormat {
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;

    uint16_t BlockAlign() const { return static_cast<uint16_t>(channels * bitsPerSample / 8); }
    uint32_t BytesPerSecond() const { return sampleRate * BlockAlign(); }
    bool operator==(const WaveInFormat&) const = default;
};

// The formats a capture device is tried with, best first.
constexpr std::array<WaveInFormat, 12> kProbeFormats{{
    {2, 44100, 16},
    {2, 44100, 8},
    {1, 44100, 16},
    {1, 44100, 8},
    {2, 22050, 16},
    {2, 22050, 8},
    {1, 22050, 16},
    {1, 22050, 8},
    {2, 11025, 16},
    {2, 11025, 8},
    {1, 11025, 16},
    {1, 11025, 8},
}};

// One signed value per sample frame, as the signal monitor shows it: 8-bit samples are
// unsigned with 128 as silence and scaled to the 16-bit range; stereo frames give the
// mean of both channels.
int32_t readMonitorSample(const WaveInFormat& format, const uint8_t* frame);

} // namespace cld
