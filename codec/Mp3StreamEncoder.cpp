#include "Mp3StreamEncoder.h"

#include "CodecJob.h"
#include "Mp3Lame.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstring>
#include <lame/lame.h>

Mp3StreamEncoder::~Mp3StreamEncoder() {
    Close();
}

int Mp3StreamEncoder::Open(const std::string& outputPath, int channels, int sampleRate,
                           int bitsPerSample) {
    Close();
    m_error = 0;
    m_detail = 0;
    if ((channels != 1 && channels != 2) || (bitsPerSample != 8 && bitsPerSample != 16)) {
        m_error = CodecJob::kErrEncoder;
        return 0;
    }
    m_lame = cld::createMp3Encoder(sampleRate, channels, m_params);
    if (!m_lame) {
        m_error = CodecJob::kErrEncoder;
        return 0;
    }
    m_channels = channels;
    m_bits = bitsPerSample;
    m_mp3.resize(cld::mp3BufferBytes(cld::mp3FramesPerBlock(m_lame)));
    if (const uint32_t rc = m_out.Open(outputPath)) {
        lame_close(m_lame);
        m_lame = nullptr;
        m_error = CodecJob::kErrOutput;
        m_detail = rc;
        return 0;
    }
    m_file = m_out.File();
    return 1;
}

int Mp3StreamEncoder::Write(const void* data, size_t bytes) {
    if (!m_file || !data)
        return 0;
    const size_t frameBytes = static_cast<size_t>(m_channels) * (m_bits / 8);
    const size_t frames = bytes / frameBytes;
    if (frames == 0)
        return 0;
    const size_t values = frames * m_channels;
    m_pcm.resize(values);
    if (m_bits == 8)
        cld::widen8Bit(static_cast<const uint8_t*>(data), values, m_pcm.data());
    else
        std::memcpy(m_pcm.data(), data, values * sizeof(int16_t));
    const size_t need = cld::mp3BufferBytes(static_cast<int>(frames));
    if (m_mp3.size() < need)
        m_mp3.resize(need);
    const int n = cld::mp3EncodeInterleaved(m_lame, m_pcm.data(), static_cast<int>(frames),
                                            m_channels, m_mp3.data(), m_mp3.size());
    if (n < 0) {
        m_error = CodecJob::kErrEncoder;
        return 0;
    }
    errno = 0;
    if (n > 0 &&
        std::fwrite(m_mp3.data(), 1, static_cast<size_t>(n), m_file) != static_cast<size_t>(n)) {
        // The system's reason (a full disk) is what the recorder tells the user.
        m_error = CodecJob::kErrOutput;
        m_detail = cld::wmerr::fromErrno(errno ? errno : EIO);
        return 0;
    }
    return n;
}

void Mp3StreamEncoder::Close() {
    if (m_file) {
        const int n = lame_encode_flush(m_lame, m_mp3.data(), static_cast<int>(m_mp3.size()));
        if (n > 0 &&
            std::fwrite(m_mp3.data(), 1, static_cast<size_t>(n), m_file) != static_cast<size_t>(n))
            m_error = CodecJob::kErrOutput;
        m_file = nullptr;
        if (!m_out.CloseStream())
            m_error = CodecJob::kErrOutput;
        if (cld::mp3WantsVbrHeader(m_lame)) {
            if (std::FILE* f = std::fopen(m_out.TempPath().c_str(), "rb+")) {
                lame_mp3_tags_fid(m_lame, f);
                std::fclose(f);
            }
        }
        if (const uint32_t rc = m_out.Commit()) {
            m_error = CodecJob::kErrOutput;
            m_detail = rc;
        }
    }
    if (m_lame)
        lame_close(m_lame);
    m_lame = nullptr;
    m_mp3.clear();
    m_mp3.shrink_to_fit();
}
