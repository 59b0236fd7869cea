#pragma once

#include "Transcoder.h"
#include "WmProfile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace cld {

// Reads any file FFmpeg can demultiplex and writes an ASF file with the streams of a
// profile (Windows Media Audio, and Windows Media Video for video profiles). Open does
// all the checking and throws WMException; Run then converts until the input ends or
// `stop` is set and always leaves a complete file.
class MediaTranscoder : public Transcoder {
public:
    MediaTranscoder();
    ~MediaTranscoder() override;

    void Open(const std::string& inputPath, const WmProfile& profile, const std::string& outputPath,
              const ContentDescription& info);
    uint32_t Run(const std::atomic<bool>& stop) override;
    // Whether Open may replace a regular file at the output's name (true unless set).
    void setReplaceExisting(bool replace) { m_replaceExisting = replace; }

    int64_t GetEncodedMilliseconds() const override { return m_encodedMs.load(); }

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::atomic<int64_t> m_encodedMs{0};
    bool m_replaceExisting = true;
};

} // namespace cld
