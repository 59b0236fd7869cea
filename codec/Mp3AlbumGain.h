#pragma once

#include "LoudnessMeter.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Collects the loudness of an album's MP3 files as they are made, and once all are done
// adds the album's ReplayGain values to the UTF-8 tag of each. Each file is updated
// through a copy that replaces it only when complete.
class Mp3AlbumGain {
public:
    void add(const std::string& path, std::unique_ptr<LoudnessMeter> meter);
    bool empty() const { return m_files.empty(); }
    // Writes the values; returns the files that could not be updated (they keep their
    // track values).
    std::vector<std::string> write();

private:
    std::vector<std::pair<std::string, std::unique_ptr<LoudnessMeter>>> m_files;
};
