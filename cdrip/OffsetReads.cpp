#include "OffsetReads.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace cld {

bool readWithOffset(const SectorReadFn& read, std::uint8_t* buffer, long lba, long count,
                    int32_t offsetSamples, long readableEnd) {
    if (!buffer || count <= 0)
        return false;
    if (offsetSamples == 0 && lba >= 0 && (readableEnd <= 0 || lba + count <= readableEnd))
        return read(buffer, lba, count);
    constexpr long kBytes = 2352;
    const long long firstSample = static_cast<long long>(lba) * kSamplesPerSector + offsetSamples;
    // Floor division: a negative first sample starts in the sector before zero.
    long long firstSector = firstSample / kSamplesPerSector;
    if (firstSample % kSamplesPerSector < 0)
        --firstSector;
    const long skip = static_cast<long>(firstSample - firstSector * kSamplesPerSector);
    const long sectors = count + (skip ? 1 : 0);
    std::vector<std::uint8_t> staging(static_cast<size_t>(sectors) * kBytes, 0);
    long long from = std::max<long long>(firstSector, 0);
    long long to = firstSector + sectors;
    if (readableEnd > 0)
        to = std::min<long long>(to, readableEnd);
    bool ok = true;
    if (to > from)
        ok = read(staging.data() + (from - firstSector) * kBytes, static_cast<long>(from),
                  static_cast<long>(to - from));
    std::memcpy(buffer, staging.data() + skip * 4, static_cast<size_t>(count) * kBytes);
    return ok;
}

} // namespace cld
