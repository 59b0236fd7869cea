#pragma once

#include "RipperLibrary.h"

#include <cstdint>
#include <string>
#include <vector>

class SettingsRecord;

// A disc's names, from wherever they were found.
namespace cld::cli {

struct DiscNames {
    std::string source; // "cache", "musicbrainz", "cd-text"; empty when none were found
    std::string artist;
    std::string album;
    std::string genre;
    int year = 0;
    std::vector<std::string> titles; // per track, empty where unknown
    std::string coverImage;          // JPEG or PNG bytes, when a service had one
};

// The names the cache holds for a disc; false when it holds none or there is no cache
// (looking creates no cache).
bool cachedNames(SettingsRecord& settings, uint32_t discId, DiscNames& names, std::string& why);

// The names the MusicBrainz service gives for the disc (its first release) with its
// cover when the service has one; false and why when it gives none.
bool musicBrainzNames(SettingsRecord& settings, const DiscContents& disc, DiscNames& names,
                      std::string& why);

} // namespace cld::cli
