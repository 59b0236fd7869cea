#pragma once

#include <cstdint>
#include <functional>

// Audio reads corrected for a drive's read offset. A drive with read offset correction
// N delivers, for sector L, the disc's samples from L * 588 - N on; reading N samples
// later than asked gives the disc's true audio. Samples that lie before the disc or at
// or past readableEnd are never asked of the drive and come back as silence.
namespace cld {

constexpr int32_t kMaxReadOffset = 5000; // samples; larger settings are refused
constexpr long kSamplesPerSector = 588;

// Reads count sectors at lba through read (which reads whole sectors in one command)
// shifted by offsetSamples; readableEnd is one past the last readable sector (0 =
// unknown: no limit). Returns what read returned (true when nothing had to be read).
using SectorReadFn = std::function<bool(std::uint8_t* buffer, long lba, long count)>;
bool readWithOffset(const SectorReadFn& read, std::uint8_t* buffer, long lba, long count,
                    int32_t offsetSamples, long readableEnd);

} // namespace cld
