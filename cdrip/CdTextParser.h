#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cld {

// Names found in the CD-TEXT block of a disc (block 0 only).
struct CdText {
    std::string artist;
    std::string title;
    std::vector<std::string> trackTitles; // index k-1 holds the title of track number k
};

// Parses the answer of READ TOC format 5 (4-byte header, then 18-byte packs). Packs
// whose CRC does not match are dropped and the parser picks up again at the next good
// pack. Returns false when fewer than 4 bytes are given.
class CdTextParser {
public:
    static constexpr size_t kPackSize = 18;
    static constexpr size_t kMaxString = 1024;

    static bool parse(const uint8_t* data, size_t length, int32_t audioTracks, CdText& out);
    // CRC of a pack (bytes 0..15), as stored big-endian in bytes 16..17.
    static uint16_t packCrc(const uint8_t* pack);
};

} // namespace cld
