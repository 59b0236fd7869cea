#pragma once

#include "AudioTags.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVFrame;
struct AVStream;

namespace cld {

// The extensions of the audio files the folder and file conversions take, in the order a
// folder is worked through: WAVE files first, then the compressed formats.
const std::vector<std::string>& audioInputExtensions();
// The extension of `path` with its dot, in lower case ("" when it has none).
std::string lowerExtension(const std::string& path);
// Whether `path` names a compressed audio file that is read through FFmpeg's decoders
// (any accepted extension except ".wav").
bool isDecodedAudioPath(const std::string& path);

// Checks an opened input against what its name promises: a file whose content is of
// another kind than its extension says, or an Ogg stream that was cut short. Returns 0
// or the failure code. Files with an extension not in audioInputExtensions pass.
uint32_t checkAudioInput(const std::string& path, const AVFormatContext* in);
// The failure to report for an input FFmpeg could not open with `code`: an Ogg file cut
// short (often inside its headers) is named as such.
uint32_t explainOpenFailure(const std::string& path, uint32_t code);
// Whether an Ogg file ends with a complete page that closes its stream (cut-off
// downloads and copies end in the middle of a page or before the last one). Returns 0 or
// the failure code.
uint32_t checkOggEnd(const std::string& path);

// Title, artist, album, year, genre and track of the input, from the container's tags and
// then the audio stream's (Ogg keeps them on the stream).
AudioTags readAudioTags(const AVFormatContext* in, int audioStream);
// Stores the known names of `tags` in an ASF output's metadata where it holds none yet,
// under the attribute names Windows Media players read: "Title" and "Author" (the content
// description), "WM/AlbumTitle", "WM/AlbumArtist", "WM/Year", "WM/Genre" and
// "WM/TrackNumber".
void addAsfTags(AVFormatContext* out, const AudioTags& tags);

// Verifies decoded FLAC audio against the MD5 its stream header carries. Frames are fed
// as the decoder gives them; the sum can be checked only once the stream has ended.
class FlacMd5Check {
public:
    // A check for `st`, or nullptr when the stream is no FLAC or carries no MD5.
    static std::unique_ptr<FlacMd5Check> create(const AVStream* st);
    ~FlacMd5Check();
    FlacMd5Check(const FlacMd5Check&) = delete;
    FlacMd5Check& operator=(const FlacMd5Check&) = delete;

    void add(const AVFrame* frame);
    bool matches();

private:
    FlacMd5Check();
    struct State;
    std::unique_ptr<State> m;
};

} // namespace cld
