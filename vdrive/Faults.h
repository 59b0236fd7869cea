#pragma once

#include <cstdint>
#include <vector>

namespace vdrive {

// Faults switched on for one image.
struct Faults {
    struct Range {
        int64_t first = 0;
        int64_t last = 0; // inclusive
        bool contains(int64_t lba) const { return lba >= first && lba <= last; }
    };
    // An audio read that follows another read lands up to this many stereo frames
    // early or late; the first read after any other command lands exactly.
    int jitterFrames = 0;
    // Reads touching these sectors fail with a medium error.
    std::vector<Range> failing;
    // These sectors return different data on every read.
    std::vector<Range> scratched;
    // These sectors come back with damaged samples and their C2 error bits set.
    std::vector<Range> c2;
    // The next this many commands after loading report that the medium changed.
    int mediaChanged = 0;
    // Microseconds each sector read takes (the command then completes asynchronously).
    int64_t slowMicrosPerSector = 0;
    // Microseconds every command takes at least (0 = none).
    int64_t slowMicrosPerCommand = 0;
    // Read offset of the drive in stereo samples: a read of audio sector L delivers the
    // disc's samples from L * 588 - readOffset on, as a drive whose read offset
    // correction is readOffset does (a ripper configured with that correction rips
    // exactly). Samples outside the disc come back as silence.
    int64_t readOffset = 0;

    static bool hit(const std::vector<Range>& ranges, int64_t lba) {
        for (const Range& r : ranges)
            if (r.contains(lba))
                return true;
        return false;
    }
};

} // namespace vdrive
