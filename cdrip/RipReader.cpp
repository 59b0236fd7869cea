#include "RipReader.h"

#include "JitterSearch.h"
#include "RipDrive.h"

#include <algorithm>
#include <chrono>

RipReader::RipReader(RipDrive& drive) : m_drive(drive) {}

RipReader::~RipReader() = default;

int RipReader::Open(const RipSettings& settings, long first, long last, long& bufferSize) {
    m_settings = settings;
    m_settings.sectorsPerRead = std::max(1, m_settings.sectorsPerRead);
    // A single READ command carries at most 65535 sectors; far fewer make sense.
    m_settings.sectorsPerRead = std::min(m_settings.sectorsPerRead, 1000);
    // Absurd values from a settings record are held to what can be meant, so that a
    // bad record neither exhausts memory nor keeps a rip going for ever.
    m_settings.compareSectors = std::clamp(m_settings.compareSectors, 0, m_settings.sectorsPerRead);
    m_settings.overlapSectors = std::clamp(m_settings.overlapSectors, 0, m_settings.sectorsPerRead);
    m_settings.recoveryPasses = std::clamp(m_settings.recoveryPasses, 0, kMaxRecoveryPasses);
    m_settings.startOffset = std::clamp(m_settings.startOffset, -kMaxOffset, kMaxOffset);
    m_settings.endOffset = std::clamp(m_settings.endOffset, -kMaxOffset, kMaxOffset);
    m_settings.recoveryPauseMs = std::clamp(m_settings.recoveryPauseMs, 0, 60000);
    m_settings.spinUpSeconds = std::clamp(m_settings.spinUpSeconds, 0, 60);

    m_start = std::max(0L, first + m_settings.startOffset);
    m_end = std::max(last + 1, first + 10) + m_settings.endOffset;
    // The at-least-ten-sectors rule must not read a short last track into the lead-out
    // (or into the gap before a data session): nothing there can be read.
    if (m_discEnd > 0)
        m_end = std::min(m_end, m_discEnd);
    // Offsets that turn the range around leave nothing to read.
    m_end = std::max(m_end, m_start);
    m_current = m_start;
    m_remainingBytes =
        static_cast<long long>(m_end - m_start) * static_cast<long long>(cld::kSectorBytes);
    m_firstChunk = true;
    m_jitterCount = 0;
    m_corrected = 0;
    m_unverified = 0;
    m_unread = 0;
    m_peak = 0;
    m_percent = 0;
    m_open = true;
    bufferSize = static_cast<long>(m_settings.sectorsPerRead * cld::kSectorBytes);
    return 0;
}

void RipReader::Close() {
    m_open = false;
}

int RipReader::PercentCompleted() const {
    return std::clamp(m_percent, 0, 99);
}

void RipReader::JitterErrorPosition(long& sector, long& current) const {
    sector = m_settings.overlapSectors + m_current - m_settings.sectorsPerRead;
    current = m_current;
}

void RipReader::SpinUp(const std::atomic<std::int32_t>* abortFlag) {
    if (m_settings.spinUpSeconds <= 0)
        return;
    std::vector<std::uint8_t> sector(cld::kSectorBytes);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_settings.spinUpSeconds);
    while (std::chrono::steady_clock::now() < until && !(abortFlag && *abortFlag))
        m_drive.ReadSectors(sector.data(), m_current, 1);
    // The spin-up reads leave the drive streaming, and a drive that cannot stream
    // accurately would land the range's first read a few frames off; the range is
    // placed by that read. The speed setting stops the stream, so it lands exactly.
    m_drive.SetSpeed(m_settings.speed);
}

void RipReader::NotePeak(const std::uint8_t* data, std::size_t bytes) {
    m_peak = std::max(m_peak, cld::peakOf(data, bytes / 2));
}
