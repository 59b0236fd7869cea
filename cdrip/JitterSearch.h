#pragma once

#include <cstddef>
#include <cstdint>

namespace cld {

constexpr std::size_t kSectorBytes = 2352;

struct JitterSearchResult {
    // Byte offset in the new buffer at which the chunk's new data begins.
    std::size_t offset = 0;
    // Where the compare block was found in its window, 0..100; 50 when the search
    // did not run.
    int position = 50;
    // True when the compare block was not found anywhere in the window.
    bool failed = false;
    // False when the window is too small for any search (nothing is counted then).
    bool searched = false;
    // True when the compare block also matches somewhere else in the window (silence,
    // constant audio, audio that repeats within the window): the match does not tell
    // where the read landed.
    bool ambiguous = false;
};

// True when the compare block (compareLen bytes) matches the buffer at a frame position
// 0..span other than found.
bool hasOtherMatch(const std::uint8_t* compare, std::size_t compareLen, const std::uint8_t* buffer,
                   std::size_t span, std::size_t found);

// Finds where the previous read's compare block (compareLen bytes, the last bytes of
// the previous read) sits in a new read that overlaps the previous one by
// overlapSectors sectors. The search covers the first overlapSectors * 2 sectors of
// the new buffer in steps of one stereo frame, starting at the seamless position (the
// one a drive without jitter gives) and moving outward, earlier candidate first, so a
// drive without jitter always continues exactly where the previous read ended even in
// silence or repeating audio. Without a match the seamless position is used.
JitterSearchResult findJitterOffset(const std::uint8_t* compare, std::size_t compareLen,
                                    const std::uint8_t* buffer, std::size_t len,
                                    int overlapSectors);

// Largest absolute sample value of count little-endian 16-bit samples (0..32768).
int peakOf(const std::uint8_t* samples, std::size_t count);

} // namespace cld
