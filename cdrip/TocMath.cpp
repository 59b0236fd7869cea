#include "TocMath.h"

#include <cstddef>

namespace cld::toc {
namespace {

uint32_t digitSum(uint32_t n) {
    uint32_t sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

uint32_t seconds(int32_t lba) {
    return static_cast<uint32_t>(lba + kPregap) / 75u;
}

} // namespace

bool isDataTrack(uint8_t controlAdr) {
    return (controlAdr & 0x04) != 0;
}

bool isValid(const std::vector<TocEntry>& entries) {
    if (entries.size() < 2 || entries.size() > 100)
        return false;
    if (entries.front().lba < 0)
        return false;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].lba <= entries[i - 1].lba)
            return false;
    }
    return true;
}

uint32_t tocSum(const std::vector<TocEntry>& entries) {
    if (entries.size() < 2)
        return 0;
    const std::size_t n = entries.size() - 1;
    uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= 2 && entries[i].controlAdr != entries[i - 1].controlAdr)
            break;
        const auto a = static_cast<uint32_t>(entries[i].lba + kPregap);
        sum += (a / 4500u) * 65536u + ((a / 75u) % 60u) * 256u + a % 75u;
    }
    if (n == 1)
        sum += static_cast<uint32_t>(entries[1].lba);
    return sum;
}

uint32_t discId(const std::vector<TocEntry>& entries) {
    if (entries.size() < 2)
        return 0;
    const std::size_t n = entries.size() - 1;
    uint32_t digits = 0;
    for (std::size_t i = 0; i < n; ++i)
        digits += digitSum(seconds(entries[i].lba));
    const uint32_t total = seconds(entries[n].lba) - seconds(entries[0].lba);
    return ((digits % 255u) << 24) | (total << 8) | static_cast<uint32_t>(n);
}

std::vector<TrackRange> audioTracks(const std::vector<TocEntry>& entries) {
    std::vector<TrackRange> tracks;
    if (!isValid(entries))
        return tracks;
    const std::size_t n = entries.size() - 1;
    for (std::size_t i = 0; i < n; ++i) {
        if (isDataTrack(entries[i].controlAdr))
            continue;
        TrackRange range;
        range.first = entries[i].lba;
        range.last = entries[i + 1].lba - 1;
        range.tocIndex = static_cast<int32_t>(i);
        // An audio track followed by a data track ends its session: the session's
        // lead-out, the next lead-in and the data track's pregap lie in between.
        const bool nextIsLeadOut = i + 1 == n;
        if (!nextIsLeadOut && isDataTrack(entries[i + 1].controlAdr)) {
            const int32_t sessionEnd = entries[i + 1].lba - kSessionGap - 1;
            if (sessionEnd >= range.first)
                range.last = sessionEnd;
        }
        tracks.push_back(range);
    }
    return tracks;
}

} // namespace cld::toc
