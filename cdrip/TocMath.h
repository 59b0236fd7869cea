#pragma once

#include "cldrip/DriveParams.h"

#include <cstdint>
#include <vector>

namespace cld {

// First and last (inclusive) sector of one audio track, and its index among the TOC
// entries.
struct TrackRange {
    int32_t first = 0;
    int32_t last = 0;
    int32_t tocIndex = 0;
};

// Disc arithmetic over the TOC entries of a disc: n tracks followed by the lead-out.
namespace toc {

inline constexpr int32_t kPregap = 150;
// Lead-out of the audio session (6750), lead-in of the next (4500) and the data
// track's pregap (150): the sectors between the sessions of an enhanced CD.
inline constexpr int32_t kSessionGap = 11400;

bool isDataTrack(uint8_t controlAdr);
// True when the entries form a usable table: 1..99 tracks plus the lead-out, with
// strictly increasing start sectors.
bool isValid(const std::vector<TocEntry>& entries);
uint32_t tocSum(const std::vector<TocEntry>& entries);
uint32_t discId(const std::vector<TocEntry>& entries);
std::vector<TrackRange> audioTracks(const std::vector<TocEntry>& entries);

} // namespace toc
} // namespace cld
