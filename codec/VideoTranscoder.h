#pragma once

#include "Transcoder.h"
#include "WmProfile.h"
#include "WmViewCollection.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace cld {

// Writes an ASF file with the audio and video streams of a video profile (Windows Media
// Audio and Windows Media Video 8) from a video input and an audio input. Each input is
// "FILE://" + path, "DEVICE://" + an ALSA or Video4Linux2 resource, or "ScreenCap://" +
// a plug-in name; the same file may feed both streams. An empty video input with an
// audio-only profile records sound alone (the WMA recorder). While it encodes, the input
// pictures go to the running preview views and the pictures decoded back from the
// encoded stream to the running postview views.
//
// Open does all the checking and throws WMException; Run then encodes until the inputs
// end (files) or `stop` is set (devices). The file is written as "NAME.part" and takes
// its name when Run ends: complete after success or a stop; after a failure a
// conversion's partial file is removed, while a recording keeps what it captured as a
// valid file whose header matches its content. Live inputs are read on a thread each;
// every sound buffer and picture is placed on one time line, the capture start, by the
// moment the device captured it.
class VideoTranscoder : public Transcoder {
public:
    VideoTranscoder();
    ~VideoTranscoder() override;

    void Open(const std::string& audioInput, const std::string& videoInput,
              const WmProfile& profile, const std::string& outputPath,
              const ContentDescription& info, std::shared_ptr<WmViewCollection> preview,
              std::shared_ptr<WmViewCollection> postview);
    uint32_t Run(const std::atomic<bool>& stop) override;

    // How the last Run ended, beyond its code.
    struct RunReport {
        std::string outputPath;       // the final name of the output
        bool partialKept = false;     // a recording that failed was kept up to the failure
        bool inputEndedEarly = false; // a file input ended before its declared length
        double readSeconds = 0;       // how much of it was read then
        double declaredSeconds = 0;   // the length its header declared (0 when unknown)
    };
    const RunReport& GetReport() const { return m_report; }

    int64_t GetEncodedMilliseconds() const override;

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::atomic<int64_t> m_audioMs{0};
    std::atomic<int64_t> m_videoMs{0};
    RunReport m_report;
};

} // namespace cld
