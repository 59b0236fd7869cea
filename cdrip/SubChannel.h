#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cld {

// One decoded frame of the formatted Q sub-channel (12 bytes: control/ADR, nine bytes of
// the mode's data, CRC).
struct QFrame {
    int mode = 0;        // 1 position, 2 catalogue number, 3 ISRC
    uint8_t control = 0; // pre-emphasis 0x01, copy permitted 0x02, data 0x04
    int track = 0;       // mode 1: 1..99, 0xAA for the lead-out
    int index = 0;       // mode 1
    int32_t lba = 0;     // mode 1: the absolute time as a sector address
    std::string mcn;     // mode 2: 13 digits
    std::string isrc;    // mode 3: 12 characters
};

namespace subq {

// CRC of the Q sub-channel's first ten bytes as stored in bytes 10..11 (inverted).
uint16_t crc(const uint8_t* q);
// Decodes a frame; false for a wrong CRC, digits that are not BCD, or an unknown mode.
bool decode(const uint8_t* q, QFrame& out);
// A media catalogue number (13 digits) / an ISRC (5 letters or digits, 7 digits).
bool isCatalog(const std::string& s);
bool isIsrc(const std::string& s);

// Reads the Q frame of one sector; false when the drive could not.
using ReadQ = std::function<bool(int32_t lba, QFrame& frame)>;

// Finds the first sector of track `trackNumber`'s pregap (its INDEX 00), which lies after
// `previousStart` (the track before, at its INDEX 01) and no later than `start` (the track's
// INDEX 01): an exponential step back from `start`, then a binary search, over the track
// numbers of the mode 1 frames. A frame of another mode, or one with a wrong CRC, stands
// for the sector before it (such frames never open an index). `reads` counts the Q reads.
// Returns -1 when the drive cannot tell (reads failing, frames that do not fit).
int32_t findIndexZero(const ReadQ& readQ, int32_t previousStart, int32_t start, int trackNumber,
                      int& reads);

} // namespace subq
} // namespace cld
