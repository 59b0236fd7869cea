#pragma once

#include "LoudnessMeter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Collects the loudness of an album's files as they are made, and once all are done adds
// the album's values to each through `addValues` (the file, the album's gain in dB and its
// peak; 0 or a failure code).
class AlbumLoudness {
public:
    using AddValues = uint32_t (*)(const std::string& path, double gainDb, double peak);
    explicit AlbumLoudness(AddValues addValues) : m_addValues(addValues) {}
    void add(const std::string& path, std::unique_ptr<LoudnessMeter> meter);
    bool empty() const { return m_files.empty(); }
    // Writes the values; returns the files that could not be updated (they keep their
    // track values).
    std::vector<std::string> write();

private:
    AddValues m_addValues;
    std::vector<std::pair<std::string, std::unique_ptr<LoudnessMeter>>> m_files;
};

// An album of MP3 files: the album's ReplayGain values go into the UTF-8 tag of each,
// through a copy that replaces it only when complete.
class Mp3AlbumGain : public AlbumLoudness {
public:
    Mp3AlbumGain();
};
