#include "PlainReader.h"

#include "JitterSearch.h"
#include "RipDrive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

void sleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

int PlainReader::Open(const RipSettings& settings, long first, long last, long& bufferSize) {
    RipReader::Open(settings, first, last, bufferSize);
    if (m_settings.jitterCorrection && m_settings.overlapSectors > 0 &&
        m_settings.sectorsPerRead > kMaxJoinedRead) {
        m_settings.sectorsPerRead = kMaxJoinedRead;
        m_settings.compareSectors = std::min(m_settings.compareSectors, kMaxJoinedRead);
        bufferSize = static_cast<long>(m_settings.sectorsPerRead * cld::kSectorBytes);
    }
    // Each chunk advances by sectors per read minus the overlap, so the overlap must
    // stay below sectors per read or the reader would never move on.
    m_settings.overlapSectors =
        std::clamp(m_settings.overlapSectors, 0, m_settings.sectorsPerRead - 1);
    m_readBuffer.assign(static_cast<std::size_t>(m_settings.sectorsPerRead) * cld::kSectorBytes, 0);
    m_compare.assign(static_cast<std::size_t>(m_settings.compareSectors) * cld::kSectorBytes, 0);
    m_compareUsed = 0;
    m_sectorsRemaining = m_end - m_start;
    return 0;
}

void PlainReader::Close() {
    RipReader::Close();
    m_readBuffer.clear();
    m_readBuffer.shrink_to_fit();
    m_compare.clear();
    m_compare.shrink_to_fit();
    m_confirm.clear();
    m_confirm.shrink_to_fit();
}

int PlainReader::EffectiveOverlap() const {
    return m_settings.jitterCorrection && m_settings.overlapSectors > 0 ? m_settings.overlapSectors
                                                                        : 0;
}

bool PlainReader::ChecksAudio() const {
    return EffectiveOverlap() > 0 && m_settings.compareSectors > 0 &&
           m_settings.compareSectors * 2 < EffectiveOverlap() * 4;
}

bool PlainReader::ReadExactly(long count) {
    // The compare block sat in audio that also matches elsewhere in the window, so it
    // could not place the read. Read the same sectors again after a speed command,
    // which stops the drive's stream so that the read lands exactly, and check that it
    // joins the previous chunk where a seamless read must.
    const std::size_t bytes = static_cast<std::size_t>(count) * cld::kSectorBytes;
    const std::size_t seamless = static_cast<std::size_t>(EffectiveOverlap()) * cld::kSectorBytes;
    if (m_compareUsed == 0 || seamless < m_compareUsed || seamless >= bytes)
        return false;
    m_confirm.resize(bytes);
    m_drive.SetSpeed(m_settings.speed);
    if (!m_drive.ReadSectors(m_confirm.data(), m_current, count))
        return false;
    return std::memcmp(m_confirm.data() + seamless - m_compareUsed, m_compare.data(),
                       m_compareUsed) == 0;
}

bool PlainReader::ReadWithRecovery(long count) {
    std::uint8_t* buf = m_readBuffer.data();
    if (m_drive.ReadSectors(buf, m_current, count))
        return true;
    if (m_settings.recoveryPasses <= 0)
        return false;
    // Recovery: slow the drive down and make it seek away and back before the
    // failed read is tried once more.
    sleepMs(std::min(1000, std::max(m_settings.recoveryPauseMs, 1)));
    m_drive.SetSpeed(1);
    std::vector<std::uint8_t> scratch(10 * cld::kSectorBytes);
    for (int i = 0; i < m_settings.recoveryPasses; ++i) {
        m_drive.SetSpeed(1);
        if (!m_drive.ReadSectors(scratch.data(), 150 + 10L * i, 10))
            sleepMs(m_settings.recoveryPauseMs);
    }
    return m_drive.ReadSectors(buf, m_current, count);
}

int PlainReader::RipChunk(std::uint8_t* buffer, long* byteCount,
                          const std::atomic<std::int32_t>* abortFlag) {
    const int overlap = EffectiveOverlap();
    const bool compare = overlap > 0;
    if (!byteCount || !buffer || !m_open)
        return RipChunkFailed;
    *byteCount = 0;

    if (m_firstChunk) {
        m_current = m_start;
        m_sectorsRemaining = m_end - m_start;
        m_drive.SetSpeed(m_settings.speed);
        SpinUp(abortFlag);
    }
    if (m_remainingBytes <= 0) {
        m_percent = 100;
        return RipChunkDone;
    }
    const long total = m_end - m_start;
    m_percent = total > 0 ? static_cast<int>(100.0 - m_sectorsRemaining * 100.0 / total) : 0;

    // A drive that delivered a little early can leave bytes owed after the range's
    // sectors were all asked for; keep reading forward until they are delivered.
    const long remaining = std::max(m_sectorsRemaining, 1L);
    long count = std::min<long>(remaining, m_settings.sectorsPerRead);
    if (overlap >= count)
        count = std::min<long>(remaining + overlap, m_settings.sectorsPerRead);
    // Nothing past the audio session can be read.
    const bool atDiscEnd = m_discEnd > 0 && m_current + count >= m_discEnd;
    if (m_discEnd > 0)
        count = std::max(1L, std::min(count, m_discEnd - m_current));
    const std::size_t bytes = static_cast<std::size_t>(count) * cld::kSectorBytes;

    const bool readOk = ReadWithRecovery(count);
    const std::uint8_t* data = m_readBuffer.data();
    if (!readOk) {
        // Zeros stand where the drive delivered nothing; the chunk still goes on, so
        // the track keeps its length, but the sectors are reported as unread.
        m_unread +=
            std::min<long>(count - (m_firstChunk ? 0 : overlap), std::max(m_sectorsRemaining, 1L));
    }

    std::size_t offset = 0;
    bool jitterFailed = false;
    if (m_firstChunk || !compare) {
        m_firstChunk = false;
    } else {
        const auto found = cld::FindJitterOffset(m_compareUsed ? m_compare.data() : nullptr,
                                                 m_compareUsed, data, bytes, overlap);
        offset = found.offset;
        if (found.searched) {
            m_jitterPosition = found.position;
            const long fresh = count - overlap;
            if (found.failed) {
                jitterFailed = true;
                ++m_jitterCount;
                m_unverified += fresh;
            } else if (found.ambiguous) {
                // Only a read that lands exactly can place this chunk; without one the
                // chunk's audio may sit a few frames off, and it is said so.
                if (readOk && ReadExactly(count)) {
                    std::memcpy(m_readBuffer.data(), m_confirm.data(), bytes);
                    offset = static_cast<std::size_t>(overlap) * cld::kSectorBytes;
                } else {
                    m_unverified += fresh;
                }
            } else if (offset != static_cast<std::size_t>(overlap) * cld::kSectorBytes) {
                // The drive landed off and the search joined the read where it belongs.
                m_corrected += fresh;
            }
        }
    }

    NotePeak(data, bytes);

    if (!m_compare.empty()) {
        m_compareUsed = std::min(m_compare.size(), bytes);
        std::memcpy(m_compare.data(), data + bytes - m_compareUsed, m_compareUsed);
    }

    const std::size_t available = bytes > offset ? bytes - offset : 0;
    auto out = static_cast<std::size_t>(
        std::min<long long>(m_remainingBytes, static_cast<long long>(available)));
    std::memcpy(buffer, data + offset, out);

    const long advance = count - overlap;
    if (atDiscEnd && advance <= 0 && static_cast<long long>(out) < m_remainingBytes) {
        // At the end of the audio session a drive that landed early leaves bytes owed
        // that no read can bring: they are delivered as zeros and reported unread.
        const auto owed = static_cast<std::size_t>(std::min<long long>(
            m_remainingBytes - static_cast<long long>(out),
            static_cast<long long>(m_readBuffer.size()) - static_cast<long long>(out)));
        std::memset(buffer + out, 0, owed);
        out += owed;
        m_unread += static_cast<long>((owed + cld::kSectorBytes - 1) / cld::kSectorBytes);
        m_remainingBytes = static_cast<long long>(out);
    }
    *byteCount = static_cast<long>(out);

    m_current += std::max(advance, 0L);
    m_sectorsRemaining -= std::max(advance, 0L);
    m_remainingBytes -= static_cast<long long>(out);
    if (!readOk) {
        ++m_jitterCount;
        return RipChunkJitter;
    }
    return jitterFailed ? RipChunkJitter : RipChunkOk;
}
