#pragma once

#include "WmProfile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace cld {

// Texts stored in the written file's content description.
struct ContentDescription {
    std::string author;
    std::string title;
    std::string copyright;
    std::string description;
    std::string rating;
};

// Reads any file FFmpeg can demultiplex and writes an ASF file with the streams of a
// profile (Windows Media Audio, and Windows Media Video for video profiles). Open does
// all the checking and throws WMException; Run then converts until the input ends or
// `stop` is set and always leaves a complete file.
class MediaTranscoder {
public:
    MediaTranscoder();
    ~MediaTranscoder();
    MediaTranscoder(const MediaTranscoder&) = delete;
    MediaTranscoder& operator=(const MediaTranscoder&) = delete;

    void Open(const std::string& inputPath, const WmProfile& profile, const std::string& outputPath,
              const ContentDescription& info);
    // Returns 0, or the failure code that ended the conversion early.
    uint32_t Run(const std::atomic<bool>& stop);

    int64_t GetEncodedMilliseconds() const { return m_encodedMs.load(); }
    int64_t GetFileSize() const { return m_fileSize.load(); }
    int64_t GetBitrate() const { return m_bitrate; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::atomic<int64_t> m_encodedMs{0};
    std::atomic<int64_t> m_fileSize{0};
    int64_t m_bitrate = 0;
};

} // namespace cld
