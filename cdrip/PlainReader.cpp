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

bool PlainReader::ReadExactly(long count, std::size_t& offset) {
    // The compare block sat in audio that also matches elsewhere in the window, so it
    // could not place the read. Read the same sectors again after a speed command,
    // which stops the drive's stream so that the read lands exactly. The previous
    // chunk ended where its read ended, off by that read's landing, which the unique
    // matches before kept track of.
    if (!m_driftKnown || m_settings.speed <= 0 || m_compareUsed == 0)
        return false;
    const auto bytes = static_cast<long>(count) * static_cast<long>(cld::kSectorBytes);
    const long join =
        static_cast<long>(EffectiveOverlap()) * static_cast<long>(cld::kSectorBytes) + m_driftBytes;
    if (join < static_cast<long>(m_compareUsed) || join >= bytes)
        return false;
    m_confirm.resize(static_cast<std::size_t>(bytes));
    m_drive.SetSpeed(m_settings.speed);
    if (!m_drive.ReadSectors(m_confirm.data(), m_current, count))
        return false;
    offset = static_cast<std::size_t>(join);
    return std::memcmp(m_confirm.data() + offset - m_compareUsed, m_compare.data(),
                       m_compareUsed) == 0;
}

long PlainReader::ReadSectorBySector(long count, long freshFrom) {
    long unread = 0;
    const long owed = std::max(m_sectorsRemaining, 1L);
    for (long i = 0; i < count; ++i) {
        std::uint8_t* at = m_readBuffer.data() + static_cast<std::size_t>(i) * cld::kSectorBytes;
        m_drive.SetSpeed(m_settings.speed);
        if (m_drive.ReadSectors(at, m_current + i, 1))
            continue;
        std::memset(at, 0, cld::kSectorBytes);
        if (i >= freshFrom && i - freshFrom < owed)
            ++unread;
    }
    return unread;
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
    // A read the drive failed is read again sector by sector, each after a speed
    // command so that it lands exactly: only the sectors the drive cannot deliver are
    // lost, and zeros stand in their place. The chunk still goes on, so the track keeps
    // its length, but those sectors are reported as unread.
    const bool salvagedExactly = !readOk && m_settings.speed > 0;
    if (!readOk)
        m_unread += ReadSectorBySector(count, m_firstChunk ? 0 : overlap);

    std::size_t offset = 0;
    bool jitterFailed = false;
    const auto seamless = static_cast<long>(overlap) * static_cast<long>(cld::kSectorBytes);
    if (m_firstChunk || !compare) {
        m_firstChunk = false;
        m_driftBytes = 0;
        m_driftKnown = true;
    } else if (salvagedExactly && m_driftKnown) {
        // Every sector of the read landed exactly: the chunk joins where the previous
        // read ended, which is off by that read's own landing.
        offset = static_cast<std::size_t>(
            std::clamp(seamless + m_driftBytes, 0L, static_cast<long>(bytes)));
        m_driftBytes = 0;
    } else {
        const auto found = cld::findJitterOffset(m_compareUsed ? m_compare.data() : nullptr,
                                                 m_compareUsed, data, bytes, overlap);
        offset = found.offset;
        if (found.searched) {
            m_jitterPosition = found.position;
            const long fresh = count - overlap;
            std::size_t exactOffset = 0;
            if (found.failed) {
                jitterFailed = true;
                ++m_jitterCount;
                m_unverified += fresh;
                m_driftKnown = false;
            } else if (found.ambiguous) {
                // Only a read that lands exactly can place this chunk; without one the
                // chunk's audio may sit a few frames off, and it is said so.
                if (readOk && ReadExactly(count, exactOffset)) {
                    std::memcpy(m_readBuffer.data(), m_confirm.data(), bytes);
                    offset = exactOffset;
                    m_driftBytes = 0;
                } else {
                    m_unverified += fresh;
                    m_driftKnown = false;
                }
            } else {
                // A unique match tells where this read landed, relative to the last one.
                m_driftBytes -= static_cast<long>(offset) - seamless;
                if (offset != static_cast<std::size_t>(seamless)) {
                    // The drive landed off and the search joined the read where it belongs.
                    m_corrected += fresh;
                }
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
