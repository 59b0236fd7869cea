#include "JitterSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace cld {

bool hasOtherMatch(const std::uint8_t* compare, std::size_t compareLen, const std::uint8_t* buffer,
                   std::size_t span, std::size_t found) {
    if (compareLen < 4)
        return span >= 4;
    std::uint32_t head;
    std::memcpy(&head, compare, sizeof head);
    auto frameAt = [buffer](std::size_t pos) {
        std::uint32_t v;
        std::memcpy(&v, buffer + pos, sizeof v);
        return v;
    };
    auto fullMatch = [&](std::size_t pos) {
        return pos != found && std::memcmp(buffer + pos, compare, compareLen) == 0;
    };
    // Blocks of frames are tested for the compare block's first frame without a branch
    // per frame; only a block that holds it is looked at closely. In music that is a
    // block or two per window.
    constexpr std::size_t kBlock = 16;
    const std::size_t frames = span / 4 + 1;
    std::size_t f = 0;
    for (; f + kBlock <= frames; f += kBlock) {
        const std::uint8_t* p = buffer + f * 4;
        unsigned hit = 0;
        for (std::size_t j = 0; j < kBlock; ++j) {
            std::uint32_t v;
            std::memcpy(&v, p + j * 4, sizeof v);
            hit |= v == head ? 1u : 0u;
        }
        if (!hit)
            continue;
        for (std::size_t j = 0; j < kBlock; ++j)
            if (frameAt((f + j) * 4) == head && fullMatch((f + j) * 4))
                return true;
    }
    for (; f < frames; ++f)
        if (frameAt(f * 4) == head && fullMatch(f * 4))
            return true;
    return false;
}

JitterSearchResult findJitterOffset(const std::uint8_t* compare, std::size_t compareLen,
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
        result.ambiguous = hasOtherMatch(compare, compareLen, buffer, span, found);
    }
    result.position = static_cast<int>(found * 100 / span);
    result.offset = std::min(found + compareLen, len);
    return result;
}

int peakOf(const std::uint8_t* samples, std::size_t count) {
    // Lanes of running maxima and minima over fixed-size blocks, which the compiler turns
    // into vector instructions; the peak is the larger of the highest and the negated
    // lowest sample.
    if constexpr (std::endian::native != std::endian::little) {
        int peak = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const auto v = static_cast<std::int16_t>(samples[2 * i] | (samples[2 * i + 1] << 8));
            peak = std::max(peak, v < 0 ? -static_cast<int>(v) : static_cast<int>(v));
        }
        return peak;
    }
    constexpr std::size_t kLanes = 16;
    std::int16_t hi[kLanes] = {};
    std::int16_t lo[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            std::int16_t v;
            std::memcpy(&v, samples + 2 * (i + j), sizeof v);
            hi[j] = v > hi[j] ? v : hi[j];
            lo[j] = v < lo[j] ? v : lo[j];
        }
    }
    int top = 0;
    int bottom = 0;
    for (std::size_t j = 0; j < kLanes; ++j) {
        top = std::max(top, static_cast<int>(hi[j]));
        bottom = std::min(bottom, static_cast<int>(lo[j]));
    }
    for (; i < count; ++i) {
        std::int16_t v;
        std::memcpy(&v, samples + 2 * i, sizeof v);
        top = std::max(top, static_cast<int>(v));
        bottom = std::min(bottom, static_cast<int>(v));
    }
    return std::max(top, -bottom);
}

} // namespace cld
