#pragma once

#include "Mp3AlbumGain.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cld::engine {

// Adds an album's loudness to one finished file of the program's own, in its format's
// way: ReplayGain album gain and peak for MP3 (ID3v2 TXXX), FLAC and Ogg Vorbis (Vorbis
// comments) and AAC (freeform atoms); R128_ALBUM_GAIN for Opus. The file is changed
// through a copy that takes its place only when complete. Returns 0 or the failure code;
// 0 also for a file whose format carries no loudness (WAV, WMA).
uint32_t addAlbumGain(const std::string& path, double gainDb, double peak);

// An album of the program's files in any formats: once all are done, the album's values
// go into each in its format's way.
class AlbumGain : public AlbumLoudness {
public:
    AlbumGain() : AlbumLoudness(&addAlbumGain) {}
};

} // namespace cld::engine
