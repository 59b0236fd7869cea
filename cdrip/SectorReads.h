#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Executes one command block on the active drive. direction: 0x08 data in, 0x10 data
// out, 0 none. Returns the status byte (1 completed, 2 aborted, 4 error). Must be
// safe to call from two threads at once.
using RipExecute = std::function<int(std::uint8_t direction, const std::uint8_t* cdb, int cdbLength,
                                     std::uint8_t* buffer, long bufferLength)>;

// The parts of a drive's table that decide how audio is read.
struct SectorReadTable {
    int readMethod = 0;   // 0..9, selects the READ command
    int endian = 1;       // 0 = the drive delivers big-endian samples
    int swapChannels = 0; // 1 = exchange left and right
    int lun = 0;
};

// Raw audio sector reads on a drive: the READ command of each read method, the byte
// order and channel fixes, the two-thread read for long requests and the C2 error
// scan.
class SectorReads {
public:
    static constexpr long kSectorBytes = 2352;
    static constexpr long kTwoThreadMinimum = 1000;
    static constexpr long kThreadChunk = 27;
    static constexpr long kC2SectorBytes = 2352 + 294;
    static constexpr long kC2Sectors = 10;

    SectorReads(RipExecute execute, const SectorReadTable& table);

    // Reads count sectors at lba into buffer (count * 2352 bytes, zeroed first).
    // True when the drive completed every command.
    bool ReadSectors(std::uint8_t* buffer, long lba, long count);
    // The same, always as one command (at most 65535 sectors).
    bool ReadInOneCommand(std::uint8_t* buffer, long lba, long count) {
        return buffer && count > 0 && ReadOnce(buffer, lba, count);
    }

    // Scans [first, end) in steps of 10 sectors for sectors whose C2 error bits are
    // not all zero and appends their LBAs to list while found < capacity. Stops early
    // when stopFlag becomes non-zero. Returns false when a read failed (the scan goes
    // on over the remaining sectors).
    bool ScanForC2Errors(long first, long end, int& found, std::int32_t* list, int capacity,
                         const std::atomic<std::int32_t>* stopFlag);

    // The command block of a read method for count sectors at lba; returns its
    // length (10 or 12). c2 asks for audio plus C2 error bits.
    static int BuildReadCdb(int readMethod, int lun, long lba, long count, bool c2,
                            std::uint8_t* cdb);
    // Byte-order and channel fixes for bytes of interleaved 16-bit stereo samples.
    static void FixSamples(std::uint8_t* data, std::size_t bytes, bool swapBytes,
                           bool swapChannels);

private:
    bool ReadOnce(std::uint8_t* buffer, long lba, long count);
    bool ReadTwoThreads(std::uint8_t* buffer, long lba, long count);

    RipExecute m_execute;
    SectorReadTable m_table;
};
