#pragma once

#include "RipDrive.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

namespace cldtest {

constexpr long kSector = 2352;

// Audio content generators for test discs.
enum class Content { Music, Silence, Pattern };

inline void fillAudio(std::uint8_t* out, long sectors, Content content, std::uint32_t seed) {
    const long frames = sectors * 588;
    std::uint32_t state = seed * 2654435761u + 1;
    for (long f = 0; f < frames; ++f) {
        std::int16_t l = 0;
        std::int16_t r = 0;
        if (content == Content::Music) {
            state = state * 1664525u + 1013904223u;
            const double t = static_cast<double>(f) / 44100.0;
            const double v =
                9000.0 * std::sin(2 * M_PI * 441.0 * t) +
                5000.0 * std::sin(2 * M_PI * 1234.5 * t + seed) +
                static_cast<double>(static_cast<std::int32_t>(state >> 16) - 32768) / 16.0;
            l = static_cast<std::int16_t>(v);
            r = static_cast<std::int16_t>(-v / 2);
        } else if (content == Content::Pattern) {
            // A short cycle that repeats many times inside every sector.
            const long p = f % 49;
            l = static_cast<std::int16_t>(p * 300 - 7000);
            r = static_cast<std::int16_t>(7000 - p * 200);
        }
        out[4 * f] = static_cast<std::uint8_t>(l);
        out[4 * f + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(l) >> 8);
        out[4 * f + 2] = static_cast<std::uint8_t>(r);
        out[4 * f + 3] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(r) >> 8);
    }
}

// A drive on memory: reads the image, with optional jitter and sectors that always
// fail. Jitter follows the virtual drive's model: a read that follows another read
// lands up to m_jitterFrames stereo frames early or late (at random, never by zero
// here, so every such read is off); the first read after a speed setting, and after a
// failed read, lands exactly.
class MemoryDrive : public RipDrive {
public:
    explicit MemoryDrive(std::vector<std::uint8_t> image) : m_image(std::move(image)) {}

    bool ReadSectors(std::uint8_t* buffer, long lba, long count) override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_reads;
        m_lbas.push_back(lba);
        const long bytes = count * kSector;
        std::memset(buffer, 0, static_cast<std::size_t>(bytes));
        const bool streaming = m_streaming;
        m_streaming = false;
        for (long s = lba; s < lba + count; ++s) {
            if (m_failing.count(s))
                return false;
        }
        long shift = 0;
        if (m_jitterFrames > 0 && streaming) {
            m_rng = m_rng * 1103515245u + 12345u;
            shift =
                1 + static_cast<long>((m_rng >> 16) % static_cast<std::uint32_t>(m_jitterFrames));
            if (m_rng & 0x100)
                shift = -shift;
            ++m_shiftedReads;
        }
        m_streaming = true;
        const long from = lba * kSector + shift * 4;
        for (long i = 0; i < bytes; ++i) {
            const long at = from + i;
            if (at >= 0 && at < static_cast<long>(m_image.size()))
                buffer[i] = m_image[static_cast<std::size_t>(at)];
        }
        return true;
    }

    void SetSpeed(int speed) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_speeds.push_back(speed);
        // The library sends nothing for a speed of 0 or less.
        if (speed > 0)
            m_streaming = false;
    }

    long sectors() const { return static_cast<long>(m_image.size()) / kSector; }
    const std::vector<std::uint8_t>& image() const { return m_image; }

    int m_jitterFrames = 0;
    std::set<long> m_failing;
    long m_reads = 0;
    long m_shiftedReads = 0;
    std::vector<long> m_lbas;
    std::vector<int> m_speeds;

private:
    std::mutex m_lock;
    std::vector<std::uint8_t> m_image;
    std::uint32_t m_rng = 12345;
    bool m_streaming = false;
};

} // namespace cldtest
