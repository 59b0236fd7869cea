#include "JitterSearch.h"

#include <algorithm>
#include <cstring>

namespace cld {

JitterSearchResult FindJitterOffset(const std::uint8_t* compare, std::size_t compareLen,
                                    const std::uint8_t* buffer, std::size_t len,
                                    int overlapSectors) {
    JitterSearchResult result;
    if (overlapSectors <= 0)
        return result;
    const std::size_t overlapBytes = static_cast<std::size_t>(overlapSectors) * kSectorBytes;
    // Without a usable compare block the new data still starts after the overlap:
    // delivering the overlap again would duplicate audio.
    result.offset = std::min(overlapBytes, len);
    if (!compare || !buffer || len == 0 || compareLen == 0)
        return result;
    const std::size_t window = std::min(overlapBytes * 2, len);
    if (window <= compareLen)
        return result;
    const std::size_t span = window - compareLen;
    result.searched = true;

    // Seamless position: the previous read's last bytes sit just before the overlap's
    // end when the drive delivers exactly what was asked for.
    std::size_t seamless = overlapBytes > compareLen ? overlapBytes - compareLen : 0;
    seamless = std::min(seamless, span) & ~std::size_t{3};

    auto matches = [&](std::size_t pos) {
        return std::memcmp(buffer + pos, compare, compareLen) == 0;
    };
    std::size_t found = 0;
    bool ok = false;
    for (std::size_t off = 0; off <= span; off += 4) {
        const bool back = off <= seamless;
        const bool fwd = seamless + off <= span;
        if (!back && !fwd)
            break;
        if (back && matches(seamless - off)) {
            found = seamless - off;
            ok = true;
            break;
        }
        if (off != 0 && fwd && matches(seamless + off)) {
            found = seamless + off;
            ok = true;
            break;
        }
    }
    if (!ok) {
        found = seamless;
        result.failed = true;
    } else {
        result.ambiguous =
            (found >= 4 && matches(found - 4)) || (found + 4 <= span && matches(found + 4));
    }
    result.position = static_cast<int>(found * 100 / span);
    result.offset = std::min(found + compareLen, len);
    return result;
}

int PeakOf(const std::uint8_t* samples, std::size_t count) {
    int peak = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::int16_t>(samples[2 * i] | (samples[2 * i + 1] << 8));
        const int a = v < 0 ? -static_cast<int>(v) : v;
        peak = std::max(peak, a);
    }
    return peak;
}

} // namespace cld
