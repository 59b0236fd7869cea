#pragma once

#include "EncoderBase.h"
#include "FlacWriter.h"

#include <string>
#include <vector>

namespace cld::engine {

// FLAC files through the ripper's FLAC writer. Options: "level", the compression level,
// 0 (fastest) to 8, 5 when not given; "cover" (1, the default, embeds the tags' cover as
// a PICTURE block; 0 leaves it out). The tags become Vorbis comments: TITLE, ARTIST,
// ALBUM, ALBUMARTIST, DATE, GENRE, TRACKNUMBER, TRACKTOTAL and DISCID, and the measured
// loudness REPLAYGAIN_TRACK_GAIN/PEAK and REPLAYGAIN_ALBUM_GAIN/PEAK.
class FlacEncoder : public EncoderBase {
public:
    explicit FlacEncoder(EncoderOptions options = {});
    ~FlacEncoder() override;

    static EncoderInfo describe();

    bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override;
    bool write(const uint8_t* data, size_t bytes) override;
    bool finish() override;
    void abort() override;

    // The Vorbis comments "NAME=value" for `tags` with their loudness values, empty texts
    // (and zero numbers) left out, every text made well-formed UTF-8 on one line.
    static std::vector<std::string> comments(const AudioTags& tags);

private:
    FlacWriter m_writer;
};

} // namespace cld::engine
