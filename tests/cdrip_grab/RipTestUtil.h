#pragma once

#include "MemoryDrive.h"
#include "RipReader.h"

#include <vector>

namespace cldtest {

struct TestTrack {
    long first;
    long last;
    Content content;
};

// Three tracks: music, digital silence, a repeating pattern.
inline std::vector<TestTrack> threeTracks(long musicLen = 400, long silenceLen = 300,
                                          long patternLen = 300) {
    return {{0, musicLen - 1, Content::Music},
            {musicLen, musicLen + silenceLen - 1, Content::Silence},
            {musicLen + silenceLen, musicLen + silenceLen + patternLen - 1, Content::Pattern}};
}

inline std::vector<std::uint8_t> makeImage(const std::vector<TestTrack>& tracks) {
    const long sectors = tracks.back().last + 1;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors * kSector));
    std::uint32_t seed = 1;
    for (const auto& t : tracks)
        fillAudio(image.data() + t.first * kSector, t.last - t.first + 1, t.content, seed++);
    return image;
}

inline std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& image, long first,
                                       long last) {
    return {image.begin() + first * kSector, image.begin() + (last + 1) * kSector};
}

struct RipResult {
    std::vector<std::uint8_t> data;
    int code = 0; // the last code returned
    int chunks = 0;
    int jitterChunks = 0;
};

// Rips first..last with an opened reader until it reports done or failure; a
// generous chunk limit turns a reader that never finishes into a test failure.
inline RipResult ripAll(RipReader& reader, const RipSettings& settings, long first, long last,
                        const std::atomic<std::int32_t>* abort = nullptr) {
    RipResult r;
    long size = 0;
    if (reader.Open(settings, first, last, size) != 0) {
        r.code = -1;
        return r;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
    for (int guard = 0; guard < 100000; ++guard) {
        long bytes = 0;
        r.code = reader.RipChunk(buffer.data(), &bytes, abort);
        if (r.code == RipChunkDone)
            break;
        ++r.chunks;
        r.data.insert(r.data.end(), buffer.begin(), buffer.begin() + bytes);
        if (r.code == RipChunkJitter)
            ++r.jitterChunks;
        if (r.code == RipChunkFailed)
            break;
    }
    reader.Close();
    return r;
}

} // namespace cldtest
