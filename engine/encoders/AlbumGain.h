#pragma once

#include "LoudnessMeter.h"

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

// Collects the loudness of an album's files as they are made, and once all are done
// adds the album's values to each, whatever their formats.
class AlbumGain {
public:
    void add(const std::string& path, std::unique_ptr<LoudnessMeter> meter);
    bool empty() const { return m_files.empty(); }
    // Writes the values; returns the files that could not be updated (they keep their
    // track values).
    std::vector<std::string> write();

private:
    std::vector<std::pair<std::string, std::unique_ptr<LoudnessMeter>>> m_files;
};

} // namespace cld::engine
