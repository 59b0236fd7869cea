#pragma once

#include "RipSettings.h"

#include <atomic>
#include <cstdint>
#include <vector>

class RipDrive;

// Chunk result codes of RipChunk.
enum RipChunkCode : int {
    RipChunkOk = 0,
    RipChunkFailed = 1,
    RipChunkJitter = 3, // delivered, and a jitter error or skip happened in it
    RipChunkDone = 4,
};

// Common state of the two readers: the sector range, progress, peak and jitter
// counting. A reader reads the drive only through the RipDrive it was given, which
// must outlive it.
class RipReader {
public:
    static constexpr int kMaxRecoveryPasses = 1000;
    static constexpr int kMaxOffset = 4500; // sectors, one minute
    // Longest read a reader that joins reads will issue: from 1000 sectors on, a read
    // is split over two threads whose pieces the drive places independently, and the
    // seams between the pieces lie where no overlap check looks.
    static constexpr int kMaxJoinedRead = 999;
    explicit RipReader(RipDrive& drive);
    virtual ~RipReader();
    RipReader(const RipReader&) = delete;
    RipReader& operator=(const RipReader&) = delete;

    // Opens the range first..last (inclusive; at least 10 sectors are read) with the
    // given settings. bufferSize receives the smallest buffer RipChunk accepts.
    // Returns 0, or 1 when the reader cannot be set up.
    virtual int Open(const RipSettings& settings, long first, long last, long& bufferSize);
    // Fills buffer with the next part of the range. abortFlag may be null.
    virtual int RipChunk(std::uint8_t* buffer, long* byteCount,
                         const std::atomic<std::int32_t>* abortFlag) = 0;
    virtual void Close();

    bool IsOpen() const { return m_open; }
    // Percent completed, never more than 99 while a ripper is open.
    int PercentCompleted() const;
    int PeakValue() const { return m_peak; }
    int JitterErrorCount() const { return m_jitterCount; }
    int JitterPosition() const { return m_jitterPosition; }
    void JitterErrorPosition(long& sector, long& current) const;

    // What the reader found since the range was opened: sectors delivered only after a
    // correction, sectors whose audio could not be verified, sectors the drive never
    // delivered (zeros stand in their place).
    long CorrectedSectors() const { return m_corrected; }
    long UnverifiedSectors() const { return m_unverified; }
    long UnreadSectors() const { return m_unread; }
    // False when the reader, as set up, checks nothing (the plain reader without
    // jitter correction): its audio is what the drive delivered, unconfirmed.
    virtual bool ChecksAudio() const { return true; }

    // One past the last readable audio sector (the end of the audio session), when
    // known: the range is cut there, and readers may read a little past the range end
    // (never past this) to verify the range's last samples. 0 = unknown.
    void SetDiscEnd(long end) { m_discEnd = end; }

    long RangeStart() const { return m_start; }
    long RangeEnd() const { return m_end; }

protected:
    // Reads the range's first sector again and again for the spin-up time (or until
    // abortFlag is set), then sets the speed once more.
    void SpinUp(const std::atomic<std::int32_t>* abortFlag);
    void NotePeak(const std::uint8_t* data, std::size_t bytes);

    RipDrive& m_drive;
    RipSettings m_settings;
    bool m_open = false;
    bool m_firstChunk = true;
    long m_start = 0;
    long m_end = 0;
    long m_current = 0;
    long m_discEnd = 0;
    long long m_remainingBytes = 0;
    int m_peak = 0;
    int m_percent = 0;
    int m_jitterCount = 0;
    int m_jitterPosition = 50;
    long m_corrected = 0;
    long m_unverified = 0;
    long m_unread = 0;
};
