#pragma once

#include <cstdint>

// What the two readers need of a drive: audio sector reads and a speed command. The
// ripper engine implements it on the active drive; tests implement it on memory.
class RipDrive {
public:
    virtual ~RipDrive() = default;

    // Reads count sectors of audio starting at lba into buffer (count * 2352 bytes),
    // with the drive table's byte-order and channel fixes applied. Returns false when
    // the drive did not complete the command; the buffer then holds zeros wherever
    // the drive delivered nothing.
    virtual bool ReadSectors(std::uint8_t* buffer, long lba, long count) = 0;

    // Sets the reading speed as a multiple of 176 kB/s; a speed <= 0 sends nothing.
    virtual void SetSpeed(int speed) = 0;
};
