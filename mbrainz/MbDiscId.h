#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cld::mb {

// A disc's table of contents as the MusicBrainz disc id counts it: the first and last
// audio track numbers, each audio track's start and the lead-out, all as sector offsets
// that include the 150-sector pregap (LBA + 150).
struct MbToc {
    int firstTrack = 1;
    int lastTrack = 0;
    std::vector<std::int32_t> offsets; // one per track, first track first
    std::int32_t leadOut = 0;
    bool valid() const;
};

// The table of contents of the audio tracks the ripper lists: each track's first sector
// (LBA) and the last sector of the last track. For an enhanced CD the ripper already
// ends the last audio track where its session ends, which is the lead-out MusicBrainz
// counts.
MbToc tocFromSectors(const std::vector<std::int32_t>& firstSectors, std::int32_t lastSector);

// The 28-character MusicBrainz disc id, computed by libdiscid; empty when the table of
// contents is not a valid one (no tracks, more than 99, offsets out of order).
std::string musicBrainzDiscId(const MbToc& toc);
// The "toc" parameter of a disc id look-up: "first last leadout offset1 offset2 ...".
std::string tocParameter(const MbToc& toc);

} // namespace cld::mb
