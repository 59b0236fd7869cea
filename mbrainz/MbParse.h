#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cld::mb {

// One release a disc id belongs to, with the tracks of the medium that holds the disc.
// Every text is UTF-8 as the service sent it.
struct MbRelease {
    std::string id; // the release's MBID, which also names its cover
    std::string artist;
    std::string album;
    int year = 0;      // from the release date, else the release group's first date
    std::string genre; // the most-voted tag (genre), empty when there is none
    std::string country;
    std::string date;
    int mediumPosition = 0; // which medium of the release holds the disc (1 = first)
    int mediumCount = 0;
    std::vector<std::string> trackTitles;
};

// Reads the answer to a disc id look-up (ws/2/discid/ID?fmt=json) or to a table of
// contents look-up (the same with its "releases" list). The medium chosen per release is
// the one whose discs list `discId`, else the first with `trackCount` tracks, else the
// first. Releases without an id are skipped. False (with `error`) when the text is not
// JSON or not such an answer; true with an empty list when it names no release.
bool parseDiscAnswer(std::string_view json, const std::string& discId, int trackCount,
                     std::vector<MbRelease>& releases, std::string& error);

// Whether the bytes are a JPEG or PNG picture (what a cover must be).
bool isCoverImage(std::string_view bytes);

} // namespace cld::mb
