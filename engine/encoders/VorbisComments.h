#pragma once

#include "AudioTags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cld::engine {

// How a format carries the loudness values of its tags.
enum class LoudnessTags {
    ReplayGain, // REPLAYGAIN_TRACK_GAIN/PEAK and REPLAYGAIN_ALBUM_GAIN/PEAK (FLAC, Vorbis)
    R128,       // R128_TRACK_GAIN and R128_ALBUM_GAIN, Q7.8 dB against -23 LUFS (Opus)
};

// The names as Vorbis comments "NAME=value": TITLE, ARTIST, ALBUM, ALBUMARTIST, DATE,
// GENRE, TRACKNUMBER, TRACKTOTAL and DISCID; empty texts (and zero numbers) left out,
// every text made well-formed UTF-8 on one line.
std::vector<std::string> vorbisComments(const AudioTags& tags);
// The measured loudness values the tags carry, as comments in the format's own way.
std::vector<std::string> loudnessComments(const AudioTags& tags, LoudnessTags kind);

// "-6.48 dB" and "0.988553", as players read them (a point whatever the locale).
std::string replayGainText(double db);
std::string replayPeakText(double peak);
// A ReplayGain 2.0 gain (dB against -18 LUFS) as an R128 gain: dB against -23 LUFS in
// steps of 1/256 dB, within what 16 bits hold.
int r128Gain(double replayGainDb);

// The cover's MIME type: the one the tags give, else one read from its first bytes.
std::string coverMime(const AudioTags& tags);

// A FLAC picture block's body for the front cover (type 3): what FLAC files carry as a
// PICTURE block and Ogg files, base64-encoded, as METADATA_BLOCK_PICTURE. Empty when the
// tags have no cover of a known kind. Width and height are read from the picture.
std::vector<std::uint8_t> flacPictureBlock(const AudioTags& tags);
// The comment "METADATA_BLOCK_PICTURE=..." for the cover; empty when there is none.
std::string pictureComment(const AudioTags& tags);

std::string base64(const std::vector<std::uint8_t>& bytes);

// The picture's width and height in pixels and bits per pixel, from a PNG's header or a
// JPEG's frame header; zeros when the bytes say nothing of them.
struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;
};
PictureSize pictureSize(const std::vector<std::uint8_t>& picture);

} // namespace cld::engine
