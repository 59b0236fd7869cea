#pragma once

#include "RipReader.h"

#include <vector>

// Reads the range with large READ commands. With jitter correction on, each read
// overlaps the previous one and the previous read's last sectors are searched for in
// the new data, so the chunks join exactly even when the drive lands a few frames
// off. Failed reads go through the recovery passes and then deliver zeros.
class PlainReader : public RipReader {
public:
    using RipReader::RipReader;

    // Also corrects an overlap that would never advance: overlap sectors are held
    // below sectors per read. A compare block too large for the overlap window turns
    // the search off; the overlap is then skipped unchecked, never delivered twice.
    int Open(const RipSettings& settings, long first, long last, long& bufferSize) override;
    int RipChunk(std::uint8_t* buffer, long* byteCount,
                 const std::atomic<std::int32_t>* abortFlag) override;
    void Close() override;

    // The overlap in force for the open range (0 when jitter correction is off).
    int EffectiveOverlap() const;
    bool ChecksAudio() const override;

private:
    bool ReadWithRecovery(long count);
    // Reads the chunk's count sectors one at a time into the read buffer, zeros where
    // the drive fails; returns how many failed among the sectors from freshFrom on that
    // the range still owes.
    long ReadSectorBySector(long count, long freshFrom);
    // Reads the chunk again into m_confirm so that it lands exactly; true when that
    // read succeeded and holds the previous chunk's compare block just before offset,
    // where the previous chunk's audio ended.
    bool ReadExactly(long count, std::size_t& offset);
    std::vector<std::uint8_t> m_confirm;

    std::vector<std::uint8_t> m_readBuffer;
    std::vector<std::uint8_t> m_compare;
    std::size_t m_compareUsed = 0;
    // Where the last read landed, in bytes late (negative: early), as the unique
    // matches since the range's first read (which lands exactly) tell; unknown after a
    // chunk that could not be placed.
    long m_driftBytes = 0;
    bool m_driftKnown = true;
    long m_sectorsRemaining = 0;
};
