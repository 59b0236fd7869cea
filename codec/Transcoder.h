#pragma once

#include "AudioTags.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace cld {

// Texts stored in the written file's content description.
struct ContentDescription {
    std::string author;
    std::string title;
    std::string copyright;
    std::string description;
    std::string rating;
    // The music's names, stored as the standard attributes of an audio file (album,
    // album artist, year, genre, track number); its title and artist fill the two texts
    // above when those are empty.
    AudioTags music;
};

// A conversion into an ASF file with the streams of a profile. Each kind opens its inputs
// in its own Open; Run then encodes on the calling thread, while the figures below may be
// read from any other.
class Transcoder {
public:
    Transcoder() = default;
    virtual ~Transcoder() = default;
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    // Returns 0, or the failure code that ended the run early.
    virtual uint32_t Run(const std::atomic<bool>& stop) = 0;

    virtual int64_t GetEncodedMilliseconds() const = 0;
    int64_t GetFileSize() const { return m_fileSize.load(); }
    int64_t GetBitrate() const { return m_bitrate; }

protected:
    std::atomic<int64_t> m_fileSize{0};
    int64_t m_bitrate = 0;
};

} // namespace cld
