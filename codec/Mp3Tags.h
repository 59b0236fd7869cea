#pragma once

#include "AudioTags.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cld {

// The description of the user text frame (TXXX) that carries the disc's CDDB id.
inline constexpr const char* kDiscIdFrameDescription = "CDDB DiscID";

// Tags a finished MP3 file: with `id3v2`, a UTF-8 ID3 version 2.4 tag at the front
// (title, artist, album, year, genre, track "n/N", the disc id, the cover and the
// REPLAYGAIN_* values), then, when there are names, the ID3 version 1 tag at the end
// (Latin-1, the genre by number, no track number). An ID3 version 2 tag already in the
// file is replaced. Returns 0, or the failure code when the
// file could not be read or written; the file may then be damaged and must not be kept.
uint32_t writeMp3Tags(const std::string& path, const AudioTags& tags, bool id3v2);

// Adds the album's ReplayGain values to the ID3 version 2 tag of a finished file (a file
// without one is left as it is). The file is changed through a copy that replaces it
// when complete. Returns 0 or the failure code.
uint32_t addMp3AlbumGain(const std::string& path, double gainDb, double peak);

// "image/jpeg" or "image/png" from a picture's first bytes; empty for anything else.
std::string pictureMimeType(const std::vector<uint8_t>& picture);

// The text as well-formed UTF-8: every well-formed UTF-8 sequence stays, and each other
// byte is taken as a Latin-1 character (names typed on old systems arrive that way).
std::string wellFormedUtf8(std::string_view text);

} // namespace cld
