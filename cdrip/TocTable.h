#pragma once

#include <array>
#include <cstdint>

namespace cld {

// Raw table of contents of one drive as read from the disc: entries in disc order, the
// last one being the lead-out (track 0xAA).
struct TocTable {
    static constexpr int kCapacity = 100;
    int32_t count = 0;
    std::array<uint8_t, kCapacity> controlAdr{};
    std::array<uint8_t, kCapacity> trackNumber{};
    std::array<uint32_t, kCapacity> lba{};
};

} // namespace cld
