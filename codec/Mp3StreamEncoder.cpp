#include "Mp3StreamEncoder.h"

#include "CodecJob.h"
#include "Log.h"
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
    // Once a write has failed, nothing more goes into the file: what is there stays one
    // unbroken stream up to where the disk filled.
    if (!m_file || !data || m_error == CodecJob::kErrOutput)
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
        // After a failed write (a full disk) the stream is cut short: nothing more is
        // written, and the header frame is filled for what reached the file.
        bool cut = m_error == CodecJob::kErrOutput;
        if (!cut) {
            const int n = lame_encode_flush(m_lame, m_mp3.data(), static_cast<int>(m_mp3.size()));
            errno = 0;
            if (n > 0 && std::fwrite(m_mp3.data(), 1, static_cast<size_t>(n), m_file) !=
                             static_cast<size_t>(n)) {
                cut = true;
                m_error = CodecJob::kErrOutput;
                m_detail = cld::wmerr::fromErrno(errno ? errno : EIO);
            }
        }
        if (!cut) {
            if (const uint32_t rc = cld::writeMp3HeaderFrame(m_lame, m_file)) {
                cut = true;
                m_error = CodecJob::kErrOutput;
                m_detail = rc;
            }
        }
        m_file = nullptr;
        if (!m_out.CloseStream()) {
            cut = true;
            m_error = CodecJob::kErrOutput;
        }
        if (cut) {
            // The first error is the one the user is told; this one goes to the log only.
            const int first = errno;
            if (const uint32_t rc = cld::finishCutMp3(m_lame, m_out.TempPath()))
                cld::logf(cld::LogLevel::Warning,
                          "The recording's header frame could not be filled in (code %u).",
                          static_cast<unsigned>(rc));
            errno = first;
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
