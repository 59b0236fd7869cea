#include "Mp3Blocks.h"

#include "LoudnessMeter.h"
#include "OutputFile.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstdio>

namespace cld {

void Mp3BlockEncoder::prepare(LameHandle lame, const WaveFormat& format, int maxFrames) {
    m_lame = lame;
    m_format = format;
    // Input deeper than 16 bits (or float) goes to the encoder as 32-bit integers.
    m_deep = format.bitsPerSample > 16 || format.IsFloat();
    const size_t values = static_cast<size_t>(maxFrames) * format.channels;
    m_mp3.resize(mp3BufferBytes(maxFrames));
    if (format.bitsPerSample == 8)
        m_pcm.resize(values);
    if (m_deep)
        m_wide.resize(values);
}

int Mp3BlockEncoder::encode(const uint8_t* raw, int frames, LoudnessMeter* meter) {
    const int channels = m_format.channels;
    const size_t values = static_cast<size_t>(frames) * channels;
    if (m_deep) {
        widenToInt32(raw, values, m_format.bitsPerSample, m_format.IsFloat(), m_wide.data());
        const int encoded = mp3EncodeInterleavedInt(m_lame, m_wide.data(), frames, channels,
                                                    m_mp3.data(), m_mp3.size());
        if (meter)
            meter->addFrames(m_wide.data(), static_cast<size_t>(frames));
        return encoded;
    }
    // The encoder takes its samples by a pointer to non-const; it does not write them.
    int16_t* samples = reinterpret_cast<int16_t*>(const_cast<uint8_t*>(raw));
    if (m_format.bitsPerSample == 8) {
        widen8Bit(raw, values, m_pcm.data());
        samples = m_pcm.data();
    }
    const int encoded =
        mp3EncodeInterleaved(m_lame, samples, frames, channels, m_mp3.data(), m_mp3.size());
    if (meter)
        meter->addFrames(samples, static_cast<size_t>(frames));
    return encoded;
}

int Mp3BlockEncoder::flush() {
    return lame_encode_flush(m_lame, m_mp3.data(), static_cast<int>(m_mp3.size()));
}

uint32_t writeMp3Bytes(std::FILE* f, const uint8_t* data, size_t n) {
    if (n == 0)
        return 0;
    errno = 0;
    if (std::fwrite(data, 1, n, f) == n)
        return 0;
    return wmerr::fromErrno(errno ? errno : EIO);
}

uint32_t endMp3Stream(LameHandle lame, Mp3BlockEncoder& blocks, OutputFile& file) {
    const int flushed = blocks.flush();
    if (flushed > 0) {
        if (const uint32_t rc =
                writeMp3Bytes(file.File(), blocks.data(), static_cast<size_t>(flushed)))
            return rc;
    }
    if (const uint32_t rc = writeMp3HeaderFrame(lame, file.File()))
        return rc;
    errno = 0;
    if (!file.CloseStream())
        return wmerr::fromErrno(errno ? errno : EIO);
    return 0;
}

} // namespace cld
