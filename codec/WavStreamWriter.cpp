#include "WavStreamWriter.h"

#include "Exception.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstring>

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

WavStreamWriter::~WavStreamWriter() {
    Close();
}

void WavStreamWriter::Create(const std::string& path) {
    Close();
    if (const uint32_t rc = m_out.Open(path))
        throw Exception(rc);
    m_file = m_out.File();
    m_frames = 0;
    m_bytesPerFrame = 1;
    m_formatted = false;
    m_failed = false;
    m_writeError = 0;
    m_closeError = 0;
}

void WavStreamWriter::SetFormat(const WaveFormat& target, const WaveFormat& source) {
    if (!m_file)
        throw Exception(cld::wmerr::kPointer);
    m_converter.Open(target, source);
    m_target = target;
    m_target.formatTag = WaveFormat::kPcm;
    m_target.blockAlign = static_cast<uint16_t>(target.channels * target.bitsPerSample / 8);
    m_target.avgBytesPerSec = m_target.blockAlign * target.samplesPerSec;
    m_bytesPerFrame = static_cast<uint32_t>(source.channels) * source.bitsPerSample / 8;
    if (m_bytesPerFrame == 0)
        m_bytesPerFrame = 1;
    if (!WriteHeader(0xFFFFFFFFu - 36))
        throw Exception(cld::wmerr::kWriteFailed);
    m_formatted = true;
}

bool WavStreamWriter::WriteHeader(uint64_t dataBytes) {
    uint8_t h[44];
    const uint32_t data =
        dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, data + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, WaveFormat::kPcm);
    put16(h + 22, m_target.channels);
    put32(h + 24, m_target.samplesPerSec);
    put32(h + 28, m_target.avgBytesPerSec);
    put16(h + 32, m_target.blockAlign);
    put16(h + 34, m_target.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    if (fseeko(m_file, 0, SEEK_SET) != 0)
        return false;
    return std::fwrite(h, 1, sizeof h, m_file) == sizeof h && fseeko(m_file, 0, SEEK_END) == 0;
}

bool WavStreamWriter::Write(const void* data, size_t bytes) {
    if (!m_file || !m_formatted)
        return false;
    const uint8_t* out = static_cast<const uint8_t*>(data);
    size_t outBytes = bytes - bytes % m_bytesPerFrame;
    if (!m_converter.IsPassThrough()) {
        try {
            const std::vector<uint8_t>& converted = m_converter.Convert(data, bytes);
            out = converted.data();
            outBytes = converted.size();
        } catch (const Exception& e) {
            Fail(e.GetCode());
            return false;
        }
    }
    if (outBytes == 0)
        return true;
    errno = 0;
    if (std::fwrite(out, 1, outBytes, m_file) != outBytes) {
        Fail(cld::wmerr::fromErrno(errno ? errno : EIO));
        return false;
    }
    m_frames += static_cast<int64_t>(outBytes / m_target.blockAlign);
    return true;
}

int64_t WavStreamWriter::GetLengthMilliseconds() const {
    if (!m_formatted || m_target.samplesPerSec == 0)
        return 0;
    return m_frames * 1000 / m_target.samplesPerSec;
}

void WavStreamWriter::Fail(uint32_t code) {
    if (!m_failed)
        m_writeError = code ? code : cld::wmerr::kWriteFailed;
    m_failed = true;
}

bool WavStreamWriter::Close() {
    if (!m_file)
        return true;
    if (m_formatted && !m_failed) {
        const std::vector<uint8_t>& tail = m_converter.Flush();
        errno = 0;
        if (!tail.empty()) {
            if (std::fwrite(tail.data(), 1, tail.size(), m_file) == tail.size())
                m_frames += static_cast<int64_t>(tail.size() / m_target.blockAlign);
            else
                Fail(cld::wmerr::fromErrno(errno ? errno : EIO));
        }
        errno = 0;
        if (!m_failed && !WriteHeader(static_cast<uint64_t>(m_frames) * m_target.blockAlign))
            Fail(cld::wmerr::fromErrno(errno ? errno : EIO));
    }
    m_file = nullptr;
    if (m_failed) {
        // A file that lacks data it was given would pass for a whole one.
        m_closeError = m_writeError;
        m_out.Discard();
    } else {
        m_closeError = m_out.Commit();
    }
    m_converter.Close();
    m_formatted = false;
    return m_closeError == 0;
}

void WavStreamWriter::Discard() {
    m_file = nullptr;
    m_out.Discard();
    m_converter.Close();
    m_formatted = false;
}
